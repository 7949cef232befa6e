#!/usr/bin/env bash
# Installs what is missing, builds the libFuzzer targets of tests/fuzz with
# clang in build-fuzz, and runs each one: first once over every input in
# tests/fuzz/regressions/<Target>/, then for the given seconds over a scratch
# copy of tests/fuzz/corpus/<Target>/ (the repository's corpus is never
# written). Inputs that break a target are kept in build-fuzz/findings/.
# Exits non-zero, naming them, when any target fails.
#   fuzz.sh [seconds-per-target]   (default 30)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-30}
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
    echo "usage: $0 [seconds-per-target]" >&2
    exit 2
fi

scripts/deps.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKVR_BUILD_TESTS=OFF -DKVR_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target kvr_fuzz

# The settings target replaces its file on every input, which waits for the
# disk unless the scratch folder is in memory.
base=${TMPDIR:-/tmp}
[ -d /dev/shm ] && [ -w /dev/shm ] && base=/dev/shm
scratch=$(mktemp -d "$base/kvr-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export TMPDIR=$scratch
export ASAN_OPTIONS=allow_addr2line=1 UBSAN_OPTIONS=print_stacktrace=1

limits=(-timeout=10 -rss_limit_mb=2048)
failed=()

# Keeps the inputs that broke target (artifacts in $2) and shows the end of its log ($3).
report() {
    local target=$1 artifacts=$2 log=$3 keep=build-fuzz/findings/$1
    mkdir -p "$keep"
    find "$artifacts" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) \
        -exec cp {} "$keep/" \;
    tail -n 40 "$log"
    echo "$target: FAILED; inputs kept in $keep (replay: build-fuzz/fuzz/$target <input>)"
}

for source in tests/fuzz/*Fuzz.cpp; do
    target=$(basename "$source" .cpp)
    exe=build-fuzz/fuzz/$target
    work=$scratch/$target
    mkdir -p "$work/corpus" "$work/artifacts"
    cp -R "tests/fuzz/corpus/$target/." "$work/corpus/" 2>/dev/null || true

    regressions=()
    for input in "tests/fuzz/regressions/$target"/*; do
        [ -f "$input" ] && regressions+=("$input")
    done
    if [ ${#regressions[@]} -gt 0 ] &&
        ! "$exe" "${limits[@]}" -artifact_prefix="$work/artifacts/" "${regressions[@]}" >"$work/replay.log" 2>&1; then
        report "$target" "$work/artifacts" "$work/replay.log"
        failed+=("$target (regressions)")
        continue
    fi

    options=("${limits[@]}" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/artifacts/")
    [ -f "tests/fuzz/$target.dict" ] && options+=(-dict="tests/fuzz/$target.dict")
    if ! "$exe" "${options[@]}" "$work/corpus" >"$work/fuzz.log" 2>&1; then
        report "$target" "$work/artifacts" "$work/fuzz.log"
        failed+=("$target")
        continue
    fi
    awk -v target="$target" -v replayed="${#regressions[@]}" '
        / cov: / { for (i = 1; i < NF; i++) { if ($i == "cov:") cov = $(i + 1); if ($i == "ft:") ft = $(i + 1); if ($i == "corp:") corp = $(i + 1) } }
        /stat::number_of_executed_units:/ { runs = $2 }
        /stat::average_exec_per_sec:/ { rate = $2 }
        END { printf "%s: ok, %s runs, %s exec/s, cov %s, ft %s, corpus %s, %d regressions replayed\n", target, runs, rate, cov, ft, corp, replayed }
    ' "$work/fuzz.log"
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "Fuzzing FAILED: ${failed[*]}"
    exit 1
fi
echo "Fuzzing passed: every target ran ${seconds} s without a finding."
