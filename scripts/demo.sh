#!/usr/bin/env bash
# Lays out a demo in build/demo that never touches the operator's own
# settings or card database: a copy of the tool (so its list and log live
# there), a sample card database, import file, replacement list and settings.
# demo.sh [auto]   -- "auto" switches the automatic run on.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
demo=$root/build/demo
auto=${1:-}

rm -rf "$demo"
mkdir -p "$demo/home/tavrin/database" "$demo/config"
cp "$root/build/kvr_bulkrun" "$demo/kvr_bulkrun"

sqlite3 "$demo/home/tavrin/database/card.db" <<'SQL'
CREATE TABLE CARD_DATA (
    REFERENCE TEXT(20), TITLE TEXT(60), AUTHOR TEXT(40), STATUS TEXT(12),
    LOCATION TEXT(10), PRICE CURRENCY, QUANTITY SHORT, ACQUIRED DATE);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300)
INSERT INTO CARD_DATA
SELECT printf('A%04d', i), 'Card title ' || i, 'Author ' || (i % 37), 'IN STOCK',
       'SHELF ' || (i % 12), round(4.5 + (i % 40) * 1.25, 2), i % 9,
       date('2020-01-01', '+' || i || ' days')
FROM n;
SQL

printf 'A0001,ON LOAN\r\nA0002,ON LOAN\r\nA001?,MISSING\r\nZ9999,NOWHERE\r\nA0300,REPAIR\r\n' >"$demo/import.csv"
printf 'Fixed Value_,LOCATION,DESK\r\nFile Value__,STATUS,1\r\n' >"$demo/list.lst"

cat >"$demo/config/Tavrin.ini" <<INI
[Bulkrun]
Search_Field=REFERENCE
Search_Criteria=A01*
Replace_Field=STATUS
Replace_Value=CHECKED
Search_Col=0
Replace_Col=1
Import_File=$demo/import.csv
Option=Import
Data_List=No
Delimiter=,
Auto_Run=$([ "$auto" = auto ] && echo 1)

[KVRFennic]
File_register=1
INI
echo "$demo"
