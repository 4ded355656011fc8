#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and runs every test.
# The packages only the tests need (the MQTT broker, pdftotext, the package
# tools) are installed here, not by a plain build. The tests start their own
# broker on a free port; the system service that Debian starts for an
# installed mosquitto is not used.
set -euo pipefail
"$(dirname "$0")/setup.sh" tests
build=$("$(dirname "$0")/build.sh")
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 600
