#!/usr/bin/env bash
# Builds the Debian package of Quillex: the two programs (a release build without tests),
# their manual pages, bash completion and README, installed under /usr.
#   scripts/package.sh      writes build/release/quillex_VERSION_ARCH.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLEX_TESTS=OFF
cmake --build build/release
cd build/release
cpack -G DEB
