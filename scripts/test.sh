#!/usr/bin/env bash
# Builds Quillex with warnings as errors and runs every test.
#   scripts/test.sh             g++ build in build/debug
#   scripts/test.sh --sanitize  clang build with AddressSanitizer and UBSan in build/asan
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh --test

if [ "${1:-}" = "--sanitize" ]; then
    dir=build/asan
    config=(-DCMAKE_CXX_COMPILER=clang++ -DQUILLEX_SANITIZE=ON)
    # Any report fails the run: halt on the first error, leaks included.
    export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=0
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
else
    dir=build/debug
    config=(-DCMAKE_CXX_COMPILER=g++)
fi

cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLEX_WERROR=ON "${config[@]}" >/dev/null
cmake --build "$dir"
ctest --test-dir "$dir" --output-on-failure --timeout 300 -j "$(nproc)"
