#!/usr/bin/env bash
# Whole-process timings of korvane-spi against the peer on the same machine, in one run:
#   korvane-spi --version                      (start-up)
#   korvane-spi -A sim read (16 MiB W25Q128)   against  flashrom -p dummy:emulate=W25Q128FV -r
# Needs hyperfine and flashrom (Debian packages of the same names).
# Usage: bench/bench_cli.sh [BUILD_DIR] [RUNS]   (default: build, 20 runs)
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${2:-20}
spi="$build/cli/korvane-spi"
for tool in hyperfine flashrom; do
    command -v "$tool" >/dev/null || { echo "needs $tool (apt-get install $tool)" >&2; exit 1; }
done
[ -x "$spi" ] || { echo "no $spi: build first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$build/ChipListData.dat" .
head -c 16777216 /dev/urandom > image.bin
export SPIFLASH_SIM_DIR="$work/sim" SPIFLASH_SIM_CHIPS=0:00=W25Q128
# The simulated chip holds the same random image as the peer's emulated one.
"$spi" -A sim -c W25Q128JV -q write image.bin >/dev/null

hyperfine --runs "$runs" --warmup 3 -N --export-markdown startup.md "$spi --version"
hyperfine --runs "$runs" --warmup 3 -N --export-markdown read.md \
    -n "korvane-spi read" "$spi -A sim -c W25Q128JV -q read out.bin" \
    -n "flashrom -r" "flashrom -p dummy:emulate=W25Q128FV,image=$work/image.bin -c W25Q128.V -r peer.bin"
cmp out.bin image.bin && cmp peer.bin image.bin && echo "both reads match the image"
cat startup.md read.md
