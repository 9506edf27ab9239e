#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program on the simulated adapter, in the build
# directory, which holds the bundled chip database ChipListData.dat.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
cd build
exec ./app/KorvaneSpiFlash "$@"
