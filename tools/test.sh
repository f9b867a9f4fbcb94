#!/usr/bin/env bash
# Builds nagare and its tests (Release) and runs every test: the test command of README.md and CI.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-dependencies.sh
cmake -S . -B build
cmake --build build -j2
ctest --test-dir build --output-on-failure
