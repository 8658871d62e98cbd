#!/usr/bin/env bash
# The first command of a fresh checkout: installs what the programs need,
# builds them into build/ and runs tanner on the bundled Hamming code.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh >/dev/null
echo "built: build/tanner, build/alistconv, build/examples/simulate"
echo "\$ ./build/tanner stats examples/hamming7.alist"
./build/tanner stats examples/hamming7.alist
