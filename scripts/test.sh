#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test twice: a plain build
# and a build under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVR_BUILD_TESTS=ON
(cd build && ctest --output-on-failure -j2)

scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DKVR_SANITIZE=ON -DKVR_BUILD_TESTS=ON
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure -j2)
scripts/fuzz.sh 30
