#!/usr/bin/env bash
# Configures and builds one build directory: build.sh DIR [cmake options...]
# With KVR_TARGET set, builds only that target.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1; shift
cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)" ${KVR_TARGET:+--target "$KVR_TARGET"}
