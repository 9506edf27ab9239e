#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
# SPIFLASH_SANITIZE=1 builds with AddressSanitizer and UndefinedBehaviorSanitizer in build-sanitize/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
build=build
flags=()
if [ "${SPIFLASH_SANITIZE:-0}" = 1 ]; then
    build=build-sanitize
    flags+=(-DSPIFLASH_SANITIZE=ON)
    # Full stacks on allocation, so that the suppressions can match Qt's platform plugin.
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:fast_unwind_on_malloc=0"
    export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${flags[@]}"
cmake --build "$build" -j"$(nproc)"
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
