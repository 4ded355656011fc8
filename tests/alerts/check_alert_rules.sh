#!/usr/bin/env bash
# The shipped alerting rules parse, and fire (or stay quiet) over the
# simulated series of the tests file beside them.
#   check_alert_rules.sh RULES_FOLDER
# Exits 77 (skipped) where promtool is not installed.
set -euo pipefail
folder=$1
command -v promtool >/dev/null || { echo "promtool is not installed"; exit 77; }
promtool check rules "$folder/bms-alerts.yml"
promtool test rules "$folder/bms-alerts.test.yml"
