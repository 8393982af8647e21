#!/usr/bin/env bash
# Installs dependencies, builds everything and runs all tests: once normally, and the
# platform and engine tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
jobs=$(nproc)

scripts/install-deps

export QT_QPA_PLATFORM=offscreen
export QTWEBENGINE_DISABLE_SANDBOX=1

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DGLEANERY_SANITIZE=ON -DGLEANERY_BUILD_UI=OFF
cmake --build build-asan -j "$jobs"
(cd build-asan && ctest --output-on-failure -j "$jobs" --timeout 300)

if [ -x scripts/run-fuzzers ]; then
  scripts/run-fuzzers
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs" --timeout 300)
