#!/usr/bin/env bash
# Installs dependencies, builds the program (only the program: ./test.sh builds the tests in the
# same build folder) and starts it.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target gleanery
exec build/app/gleanery "$@"
