#!/usr/bin/env bash
# Builds the library and the programs (release) into build/, with only the
# programs' dependencies. scripts/test.sh adds the test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh programs
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DLDPC_BUILD_TESTS=OFF \
  -DLDPC_BUILD_BENCH=OFF >/dev/null
cmake --build build -j "$(nproc)"
