#!/usr/bin/env bash
# The benchmark of the card database on a PostgreSQL server: builds the
# program and bench/RunBench (Release, build-rel), starts a throw-away
# cluster (scripts/pg-cluster.sh, stopped however the script ends), loads
# the card tables of RunBench's two shapes (1,000,000 records each; 100,000
# with "quick") and their import files, and times
#   W1  a batch run of the shape's search on REFERENCE ('C0*' plain, 'A00*'
#       wide: 3.2% of the records), STATUS := X
#   W3  an import run of the shape's 32,767 lines
# through the built program, unattended (--run batch|import), next to psql
# doing the same work: UPDATE ... WHERE ... ILIKE, and \copy into a
# temporary table + UPDATE ... FROM. The shapes are those of bench.sh:
# "plain", this project's own table (short values, references shuffled by a
# fixed permutation, every 20th import line naming no record), and "wide",
# data the program was not designed around (titles of 40 to 100 characters,
# records and import lines in random order, 5% of the lines naming no
# record). Every run gets a fresh copy of the table (primary key REFERENCE,
# vacuumed and analysed); program and psql runs alternate, so that a load
# falls on both. The table shows the median of 3, the program's processor
# time (user and system), the ratios, and the program's round trips per
# record written, as its libpq layer counts them (KVR_PG_ROUND_TRIPS=1:
# every wait for the server's answers is one, however many statements went
# out before it). Last, the records the program changed are compared with
# psql's. The program's runs keep their undo journal; BENCH_JOURNAL=0
# switches it off (Undo_Journal=0), to show what the journal costs.
# BENCH_BINARY names a built program to time instead (to set two builds
# side by side under the same load); BENCH_SHAPES=wide (or plain) runs one
# shape only.
#   bench-server.sh [quick]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
records=1000000
[ "${1:-}" = quick ] && records=100000
reps=${BENCH_REPS:-3}
read -r -a shapes <<<"${BENCH_SHAPES:-plain wide}"

cmake -S . -B build-rel -G Ninja -DCMAKE_BUILD_TYPE=Release -DKVR_BUILD_BENCH=ON -DKVR_BUILD_TESTS=OFF >/dev/null
if [ -n "${BENCH_BINARY:-}" ]; then
    cmake --build build-rel -j2 --target RunBench >/dev/null
else
    cmake --build build-rel -j2 --target RunBench kvr_bulkrun >/dev/null
fi
binary=${BENCH_BINARY:-build-rel/kvr_bulkrun}

tmp=$(mktemp -d)
cluster=$(scripts/pg-cluster.sh start)
eval "$cluster"
trap 'scripts/pg-cluster.sh stop "$KVR_PG_CLUSTER"; rm -rf "$tmp"' EXIT
# The program's folder is its data folder: the run log stays out of build-rel.
mkdir -p "$tmp/bin" "$tmp/home" "$tmp/config"
cp "$binary" "$tmp/bin/kvr_bulkrun"
sql() { PGOPTIONS='-c client_min_messages=warning' psql "$KVR_TEST_PG" -qAtX -v ON_ERROR_STOP=1 "$@"; }

# Each shape's records as RunBench writes them into an SQLite file, copied
# into card_<shape>.
for shape in "${shapes[@]}"; do
    wide=()
    [ "$shape" = wide ] && wide=(wide)
    build-rel/bench/RunBench generate "$tmp/$shape" "$records" "${wide[@]}" >/dev/null
    sql -c "CREATE TABLE card_$shape (REFERENCE varchar(20), TITLE varchar(100), AUTHOR varchar(40), STATUS varchar(12),
        LOCATION varchar(12), PRICE numeric(10, 2), QUANTITY integer, ACQUIRED date)"
    sqlite3 -csv "$tmp/$shape/card.db" 'SELECT * FROM CARD_DATA' | sql -c "\\copy card_$shape FROM STDIN CSV"
done

fresh() {
    sql <<SQL
DROP TABLE IF EXISTS card_data;
CREATE TABLE card_data AS SELECT * FROM card_$1;
ALTER TABLE card_data ADD PRIMARY KEY (reference);
VACUUM ANALYZE card_data;
CHECKPOINT;
SQL
}

# The settings of shape $1's runs, searching for $2 (empty for an import).
settings() {
    cat >"$tmp/config/Tavrin.ini" <<INI
[Bulkrun]
Card_Database=$KVR_TEST_PG
Undo_Journal=${BENCH_JOURNAL:-1}
Search_Field=REFERENCE
Search_Criteria=$2
Replace_Field=STATUS
Replace_Value=X
Import_File=$tmp/$1/import.csv
Search_Col=0
Replace_Col=1
Data_List=No
Delimiter=,
[KVRFennic]
File_register=1
INI
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
TIMEFORMAT='%R %U %S'

# One run of the program in mode $2 on a fresh copy of shape $1's table:
# "<seconds> <processor seconds>"; its round trips in $tmp/trips.
tool_once() {
    fresh "$1"
    local t status=0
    t=$({ time HOME=$tmp/home XDG_CONFIG_HOME=$tmp/config QT_QPA_PLATFORM=offscreen KVR_PG_ROUND_TRIPS=1 \
        "$tmp/bin/kvr_bulkrun" --run "$2" >/dev/null 2>"$tmp/stderr" || status=$?; } 2>&1)
    [ "$status" -eq 0 ] || { echo "kvr_bulkrun --run $2 ended with status $status:" >&2; cat "$tmp/stderr" >&2; exit 1; }
    sed -n 's/.* \([0-9]*\) round trips.*/\1/p' "$tmp/stderr" >"$tmp/trips"
    awk '{ printf "%s %.3f\n", $1, $2 + $3 }' <<<"$t"
}
# psql's statements $2 on a fresh copy of shape $1's table: seconds.
psql_once() {
    fresh "$1"
    local t
    t=$({ time sql <<<"$2"; } 2>&1)
    cut -d' ' -f1 <<<"$t"
}

# Results, by "<shape>:<workload>:<name>".
declare -A r

# Workload $2 of shape $1: the program in mode $3 against psql's $4, runs
# alternating; the program's last table is compared with psql's.
versus() {
    local k=$1:$2 tool=() cpu=() ref=() t c
    for _ in $(seq "$reps"); do
        read -r t c < <(tool_once "$1" "$3")
        tool+=("$t") cpu+=("$c")
        sql -c "DROP TABLE IF EXISTS tool_table; ALTER TABLE card_data RENAME TO tool_table"
        ref+=("$(psql_once "$1" "$4")")
    done
    r[$k]=$(printf '%s\n' "${tool[@]}" | median)
    r[$k:cpu]=$(printf '%s\n' "${cpu[@]}" | median)
    r[$k:ref]=$(printf '%s\n' "${ref[@]}" | median)
    r[$k:trips]=$(cat "$tmp/trips")
    r[$k:differ]=$(sql -c "SELECT count(*) FROM card_data c JOIN tool_table t USING (reference) WHERE c.status IS DISTINCT FROM t.status")
    r[$k:changed]=$(sql -c "SELECT count(*) FROM tool_table t JOIN card_$1 o USING (reference) WHERE t.status IS DISTINCT FROM o.status")
}

for shape in "${shapes[@]}"; do
    pattern=$(cat "$tmp/$shape/batch.txt")
    r[$shape:pattern]=$pattern
    settings "$shape" "$pattern"
    versus "$shape" W1 batch "UPDATE card_data SET status = 'X' WHERE reference ILIKE '${pattern//\*/%}';"
    settings "$shape" ""
    versus "$shape" W3 import "CREATE TEMP TABLE staging (ref text, newstatus text);
\\copy staging FROM '$tmp/$shape/import.csv' CSV
UPDATE card_data c SET status = s.newstatus FROM staging s WHERE c.reference = s.ref;"
done

echo
echo "KVR Bulkrun on a PostgreSQL server: $records records of each shape, $(nproc) cores, Release build, server on a Unix socket," \
    "median of $reps runs, program and psql alternating, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| Workload | Shape | Tool (processor) | psql | Ratio | Target | Round trips per record |"
echo "|---|---|---|---|---|---|---|"
for w in W1 W3; do
    for shape in "${shapes[@]}"; do
        k=$shape:$w
        if [ "$w" = W1 ]; then
            name="W1 batch '${r[$shape:pattern]}' (${r[$k:changed]} records)" ref="UPDATE ... ILIKE '${r[$shape:pattern]//\*/%}'"
        else
            name="W3 import 32,767 lines (${r[$k:changed]} records)" ref="\\copy + UPDATE ... FROM"
        fi
        echo "| $name | $shape | ${r[$k]} s (${r[$k:cpu]} s) | $ref: ${r[$k:ref]} s | $(ratio "${r[$k]}" "${r[$k:ref]}")x | <= 2x |" \
            "$(ratio "${r[$k:trips]}" "${r[$k:changed]}") (${r[$k:trips]}) |"
    done
done
echo
for shape in "${shapes[@]}"; do
    echo "$shape: records whose STATUS differs from psql's: W1 ${r[$shape:W1:differ]}, W3 ${r[$shape:W3:differ]}"
done
