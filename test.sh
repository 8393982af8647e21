#!/usr/bin/env bash
# Installs dependencies, builds everything with warnings as errors and runs all tests: once
# normally, the platform and engine tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the platform, engine and integration tests under
# ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
jobs=$(nproc)

scripts/install-deps

export QT_QPA_PLATFORM=offscreen
export QTWEBENGINE_DISABLE_SANDBOX=1

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DGLEANERY_WERROR=ON \
  -DGLEANERY_SANITIZE=ON -DGLEANERY_BUILD_UI=OFF
cmake --build build-asan -j "$jobs"
(cd build-asan && ctest --output-on-failure -j "$jobs" --timeout 300)

cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DGLEANERY_WERROR=ON \
  -DGLEANERY_TSAN=ON -DGLEANERY_BUILD_UI=OFF
cmake --build build-tsan -j "$jobs"
(cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/../tests/tsan.supp" \
  ctest --output-on-failure -j "$jobs" --timeout 600)

if [ -x scripts/run-fuzzers ]; then
  scripts/run-fuzzers
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLEANERY_WERROR=ON
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs" --timeout 300)
