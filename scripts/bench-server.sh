#!/usr/bin/env bash
# The benchmark of the card database on a PostgreSQL server: builds the
# program (Release, build-rel), starts a throw-away cluster
# (scripts/pg-cluster.sh, stopped however the script ends), generates a card
# table on it (1,000,000 records; 100,000 with "quick") and an import file,
# and times
#   W1  a batch run, search 'C*' on REFERENCE (3.2% of the records), STATUS := X
#   W3  an import run of 32,767 lines naming records in a shuffled order,
#       every 20th line naming none
# through the built program, unattended (--run batch|import), next to psql
# doing the same work: UPDATE ... WHERE ... ILIKE, and \copy into a
# temporary table + UPDATE ... FROM. Every run gets a fresh copy of the
# table (primary key REFERENCE, vacuumed and analysed); the table shows the
# median of 3, the ratios, and the program's round trips per record written,
# as its libpq layer counts them (KVR_PG_ROUND_TRIPS=1: every wait for the
# server's answers is one, however many statements went out before it).
# Last, the records the program changed are compared with psql's. The
# program's runs keep their undo journal; BENCH_JOURNAL=0 switches it off
# (Undo_Journal=0), to show what the journal costs. BENCH_BINARY names a
# built program to time instead (to set two builds side by side under the
# same load).
#   bench-server.sh [quick]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
records=1000000
[ "${1:-}" = quick ] && records=100000
lines=${BENCH_LINES:-32767} # fewer, to try a slow build out
reps=${BENCH_REPS:-3}

binary=${BENCH_BINARY:-build-rel/kvr_bulkrun}
if [ -z "${BENCH_BINARY:-}" ]; then
    cmake -S . -B build-rel -G Ninja -DCMAKE_BUILD_TYPE=Release -DKVR_BUILD_BENCH=ON -DKVR_BUILD_TESTS=OFF >/dev/null
    cmake --build build-rel -j2 --target kvr_bulkrun >/dev/null
fi

tmp=$(mktemp -d)
cluster=$(scripts/pg-cluster.sh start)
eval "$cluster"
trap 'scripts/pg-cluster.sh stop "$KVR_PG_CLUSTER"; rm -rf "$tmp"' EXIT
# The program's folder is its data folder: the run log stays out of build-rel.
mkdir -p "$tmp/bin" "$tmp/home" "$tmp/config"
cp "$binary" "$tmp/bin/kvr_bulkrun"
sql() { PGOPTIONS='-c client_min_messages=warning' psql "$KVR_TEST_PG" -qAtX -v ON_ERROR_STOP=1 "$@"; }

# The references as bench/RunBench.cpp makes them: 31 classes, numbers
# shuffled by i -> i * 1,000,003 mod n; the import file's line k names record
# (k * 7919 + 12345) mod n, or, every 20th line, a reference no record has.
sql -v n="$records" -v lines="$lines" <<'SQL'
CREATE TABLE card_template (REFERENCE varchar(20), TITLE varchar(60), AUTHOR varchar(40), STATUS varchar(12),
    LOCATION varchar(12), PRICE numeric(10, 2), QUANTITY integer, ACQUIRED date);
INSERT INTO card_template
SELECT substr('ABCDEFGHIJKLMNOPQRSTUVWXYZ12345', (j % 31)::int + 1, 1) || lpad(j::text, 7, '0'),
       'Card title ' || i, 'Author ' || (i % 997), 'IN STOCK', 'SHELF ' || (i % 200),
       round(4.5 + (i % 400) * 0.25, 2), i % 50, date '2000-01-01' + (i % 9000)::int
FROM (SELECT i, (i * 1000003) % :n AS j FROM generate_series(0::bigint, :n - 1) i) s;
CREATE TABLE import_lines AS
SELECT k, CASE WHEN k % 20 = 7 THEN '9' || lpad(k::text, 7, '0') || 'N'
               ELSE substr('ABCDEFGHIJKLMNOPQRSTUVWXYZ12345', (j % 31)::int + 1, 1) || lpad(j::text, 7, '0') END AS ref,
       'ST' || (k % 97) AS status
FROM (SELECT k, (k * 7919 + 12345) % :n AS j FROM generate_series(0::bigint, :lines - 1) k) s;
SQL
sql -c "\\copy (SELECT ref, status FROM import_lines ORDER BY k) TO '$tmp/import.txt' CSV"
sed 's/$/\r/' "$tmp/import.txt" >"$tmp/import.csv" # the tool's lines end at CR LF

fresh() {
    sql <<'SQL'
DROP TABLE IF EXISTS card_data;
CREATE TABLE card_data AS SELECT * FROM card_template;
ALTER TABLE card_data ADD PRIMARY KEY (reference);
VACUUM ANALYZE card_data;
CHECKPOINT;
SQL
}

cat >"$tmp/config/Tavrin.ini" <<INI
[Bulkrun]
Card_Database=$KVR_TEST_PG
Undo_Journal=${BENCH_JOURNAL:-1}
Search_Field=REFERENCE
Search_Criteria=C*
Replace_Field=STATUS
Replace_Value=X
Import_File=$tmp/import.csv
Search_Col=0
Replace_Col=1
Data_List=No
Delimiter=,
[KVRFennic]
File_register=1
INI

now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

# One run of the program: seconds on stdout; its round trips in $tmp/trips.
tool_once() {
    fresh
    local t status=0
    t=$(now)
    HOME=$tmp/home XDG_CONFIG_HOME=$tmp/config QT_QPA_PLATFORM=offscreen KVR_PG_ROUND_TRIPS=1 \
        "$tmp/bin/kvr_bulkrun" --run "$1" >/dev/null 2>"$tmp/stderr" || status=$?
    since "$t"
    echo
    [ "$status" -eq 0 ] || { echo "kvr_bulkrun --run $1 ended with status $status:" >&2; cat "$tmp/stderr" >&2; exit 1; }
    sed -n 's/.* \([0-9]*\) round trips.*/\1/p' "$tmp/stderr" >"$tmp/trips"
}
# Times the program's run of mode $1 $reps times; keeps the last run's table as $2.
tool() {
    local times=()
    for _ in $(seq "$reps"); do
        times+=("$(tool_once "$1")")
    done
    sql -c "DROP TABLE IF EXISTS $2; ALTER TABLE card_data RENAME TO $2"
    printf '%s\n' "${times[@]}" | median
}
psql_once() {
    fresh
    local t
    t=$(now)
    sql <<<"$1"
    since "$t"
    echo
}
reference() {
    for _ in $(seq "$reps"); do psql_once "$1"; done | median
}
# The records whose STATUS differs between the program's table $1 and psql's.
differing() {
    sql -c "SELECT count(*) FROM card_data c JOIN $1 t USING (reference) WHERE c.status IS DISTINCT FROM t.status"
}
changed() {
    sql -c "SELECT count(*) FROM $1 t JOIN card_template o USING (reference) WHERE t.status IS DISTINCT FROM o.status"
}

w1=$(tool batch tool_w1)
trips1=$(cat "$tmp/trips")
ref1=$(reference "UPDATE card_data SET status = 'X' WHERE reference ILIKE 'C%';")
diff1=$(differing tool_w1)
changed1=$(changed tool_w1)

sed -i 's/^Search_Criteria=.*/Search_Criteria=/' "$tmp/config/Tavrin.ini"
w3=$(tool import tool_w3)
trips3=$(cat "$tmp/trips")
ref3=$(reference "CREATE TEMP TABLE staging (ref text, newstatus text);
\\copy staging FROM '$tmp/import.csv' CSV
UPDATE card_data c SET status = s.newstatus FROM staging s WHERE c.reference = s.ref;")
diff3=$(differing tool_w3)
changed3=$(changed tool_w3)

per() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
echo
echo "KVR Bulkrun on a PostgreSQL server: $records records, $(nproc) cores, Release build, server on a Unix socket, median of $reps runs, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| Workload | Tool | psql | Ratio | Target | Round trips per record |"
echo "|---|---|---|---|---|---|"
echo "| W1 batch 'C*' ($changed1 records) | $w1 s | UPDATE ... ILIKE 'C%': $ref1 s | $(ratio "$w1" "$ref1")x | <= 2x | $(per "$trips1" "$changed1") ($trips1) |"
echo "| W3 import $lines lines ($changed3 records) | $w3 s | \\copy + UPDATE ... FROM: $ref3 s | $(ratio "$w3" "$ref3")x | <= 2x | $(per "$trips3" "$changed3") ($trips3) |"
echo
echo "Records whose STATUS differs from psql's: W1 $diff1, W3 $diff3"
