#!/usr/bin/env bash
# Builds the test programs with ThreadSanitizer in a build folder of their own
# and runs them. Extra arguments go to ctest (for example: -R Store).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BMS_TSAN_BUILD_DIR:-$root/build-tsan}
jobs=${BMS_JOBS:-2}
# The tests start the broker and read PDFs; the reports are symbolised by
# the LLVM symbolizer that comes with clang.
"$root/scripts/setup.sh" build tests checks

# gcc (the system compiler): the sanitizer runtime of clang 14 aborts in
# every test that starts bms-sim (a failed check after QProcess forks).
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DBMS_SANITIZE_THREAD=ON -DBMS_BUILD_GUI=ON
# Only the test programs (and the simulator they start), not the benches.
targets=$(cmake --build "$build" --target help | sed -n 's/^\(test_[a-z_]*\):.*/\1/p' | sort -u)
cmake --build "$build" -j"$jobs" --target bms-sim $targets

# Qt itself is not instrumented: its own threads and the event dispatcher's
# glib calls are left out; the suppressions file names exactly those.
# die_after_fork=0: QProcess forks the multi-threaded test program to start
# bms-sim, and the child only runs exec.
# The suppressions name Qt's frames with their namespaces, which only the
# LLVM symbolizer prints.
symbolizer=$(command -v llvm-symbolizer-14 || command -v llvm-symbolizer || true)
export TSAN_OPTIONS="ignore_noninstrumented_modules=1 suppressions=$root/tests/tsan.supp halt_on_error=1 die_after_fork=0${symbolizer:+ external_symbolizer_path=$symbolizer}"
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure -j"$jobs" --timeout 600 "$@"
