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
cmake --build "$build" -j"$(nproc)" --target fuzz_chiplist fuzz_hexmodel fuzz_imageformats chiplistdata
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd "$build"
# The first records of the bundled chip database seed the chip list target.
mkdir -p seeds/fuzz_chiplist seeds/fuzz_hexmodel seeds/fuzz_imageformats
head -c $((172 * 20)) ChipListData.dat > seeds/fuzz_chiplist/bundled
# Small record files of each kind seed the image formats target.
printf ':020000040001F9\n:1000000000112233445566778899AABBCCDDEEFFF8\n:0400200009090909B8\n:00000001FF\n' \
    > seeds/fuzz_imageformats/ihex
printf 'S0030000FC\nS1051234AABB4F\nS206010000DEAD6D\nS5030002FA\nS804010000FA\n' > seeds/fuzz_imageformats/srec
for target in fuzz_chiplist fuzz_hexmodel fuzz_imageformats; do
    mkdir -p "corpus/$target"
    echo "== $target for $seconds s"
    "./fuzz/$target" -max_total_time="$seconds" -artifact_prefix="corpus/$target/" -print_final_stats=1 \
        "corpus/$target" "seeds/$target"
done
