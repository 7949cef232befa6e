#!/usr/bin/env bash
# Every test, as CI runs them: installs the missing Debian packages
# (scripts/deps.sh), starts a throw-away PostgreSQL server, builds and runs
# the whole CTest suite (labels unit, gui, program, fault, package) twice, in
# a plain build (build/) and under AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan/), then builds the libFuzzer targets
# with clang and fuzzes each for 30 seconds (scripts/fuzz.sh).
# A contributor's fast loop: (cd build && ctest -L 'unit|gui').
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)

# The server-side store's tests run against a throw-away PostgreSQL cluster
# (scripts/pg-cluster.sh), stopped and removed however this script ends. A
# cluster that cannot start stops the script (an assignment keeps the
# failure, which eval "$(...)" alone would drop).
cluster=$(scripts/pg-cluster.sh start)
eval "$cluster"
trap 'scripts/pg-cluster.sh stop "$KVR_PG_CLUSTER"' EXIT

scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVR_BUILD_TESTS=ON
(cd build && ctest --output-on-failure -j"$jobs")

scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DKVR_SANITIZE=ON -DKVR_BUILD_TESTS=ON
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure -j"$jobs")
scripts/fuzz.sh 30
