#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for the given seconds
# (default 30). The corpora grow in build-fuzz/corpus/<target>, where a failing input is saved as
# crash-* (rerun it with build-fuzz/fuzz/<target> <file>). Longer runs by hand: scripts/fuzz.sh 3600
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
scripts/deps.sh
build=build-fuzz
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DSPIFLASH_FUZZ=ON
cmake --build "$build" -j"$(nproc)" --target fuzz_chiplist fuzz_hexmodel chiplistdata
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd "$build"
# The first records of the bundled chip database seed the chip list target.
mkdir -p seeds/fuzz_chiplist seeds/fuzz_hexmodel
head -c $((172 * 20)) ChipListData.dat > seeds/fuzz_chiplist/bundled
for target in fuzz_chiplist fuzz_hexmodel; do
    mkdir -p "corpus/$target"
    echo "== $target for $seconds s"
    "./fuzz/$target" -max_total_time="$seconds" -artifact_prefix="corpus/$target/" -print_final_stats=1 \
        "corpus/$target" "seeds/$target"
done
