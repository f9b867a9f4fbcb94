#!/usr/bin/env bash
# Builds nagare and its tests and runs every test: the test command of README.md and CI.
#   tools/test.sh             Release build in build/
#   tools/test.sh --sanitize  Debug build with the address and undefined-behaviour sanitizers in
#                             build-asan/: any unsafe access or undefined behaviour fails its test
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-dependencies.sh
if [ "${1:-}" = "--sanitize" ]; then
    cmake -S . -B build-asan -DNAGARE_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
    cmake --build build-asan -j2
    ctest --test-dir build-asan --output-on-failure -j2
else
    cmake -S . -B build
    cmake --build build -j2
    ctest --test-dir build --output-on-failure -j2
fi
