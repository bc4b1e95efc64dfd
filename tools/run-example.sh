#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds LedraCmd and catalogues the example tree. Only
# what building and running the programs needs is installed (tools/install-deps.sh build).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh build
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DLEDRA_TESTS=OFF
cmake --build build ${LEDRA_JOBS:+-j "$LEDRA_JOBS"}
# The example catalogues the sources of this repository into examples/.
echo "\$ build/LedraCmd -f examples/params.txt"
build/LedraCmd -f examples/params.txt
echo "exit status $?"
ls -la examples/
