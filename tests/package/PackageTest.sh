#!/usr/bin/env bash
# The Debian package: cpack builds it from the build folder; its file list,
# desktop entry, metainfo and man page are checked; then the program runs
# from the unpacked tree, made read-only, unattended on a small card database,
# and must keep its list and log in the XDG data folder.
# PackageTest.sh BUILD_FOLDER
set -euo pipefail
build=$(cd "$1" && pwd)
if ! command -v dpkg-deb >/dev/null; then
    echo "SKIPPED: dpkg-deb is not installed (scripts/deps.sh installs dpkg-dev)"
    exit 77
fi
fail() { echo "FAILED: $*" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'chmod -R u+w "$tmp"; rm -rf "$tmp"' EXIT

(cd "$tmp" && cpack --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log") || { cat "$tmp/cpack.log"; fail "cpack"; }
deb=$tmp/out/kvr-bulkrun_3.0.8_$(dpkg --print-architecture).deb
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6.*libsqlite3\|libsqlite3.*libqt6widgets6' || fail "Depends: $(dpkg-deb -f "$deb" Depends)"
dpkg-deb --contents "$deb" | awk '{print $6}' >"$tmp/files"
for f in bin/kvr_bulkrun share/applications/kvr-bulkrun.desktop share/icons/hicolor/scalable/apps/kvr-bulkrun.svg \
         share/metainfo/org.kvr.bulkrun.metainfo.xml share/man/man1/kvr_bulkrun.1.gz \
         share/kvr-bulkrun/manual/index.html share/kvr-bulkrun/manual/images/frmLog.png; do
    grep -qx "./usr/$f" "$tmp/files" || fail "the package holds no /usr/$f"
done

root=$tmp/root
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/kvr-bulkrun.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.kvr.bulkrun.metainfo.xml" || fail "appstreamcli validate"
warnings=$(MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/kvr_bulkrun.1.gz" 2>&1 >/dev/null) || fail "man -l"
[ -z "$warnings" ] || fail "man page: $warnings"

home=$tmp/home
mkdir -p "$home/tavrin/database" "$home/.config"
sqlite3 "$home/tavrin/database/card.db" \
    "CREATE TABLE CARD_DATA(REFERENCE TEXT(20), STATUS TEXT(12)); INSERT INTO CARD_DATA VALUES ('A1','IN'), ('A2','IN'), ('B1','IN');"
printf '[Bulkrun]\r\nSearch_Field=REFERENCE\r\nSearch_Criteria=A*\r\nReplace_Field=STATUS\r\nReplace_Value=OUT\r\nOption=Batch\r\nAuto_Run=1\r\n[KVRFennic]\r\nFile_register=1\r\n' \
    >"$home/.config/Tavrin.ini"
chmod -R a-w "$root"
as=()  # file permissions do not stop root: the program then runs as nobody
if [ "$(id -u)" -eq 0 ]; then chown -R 65534:65534 "$home"; chmod 755 "$tmp"; as=(setpriv --reuid=65534 --regid=65534 --clear-groups); fi
# A sanitizer build's program ends at its completion entry without tearing Qt down.
run() { env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 "$@" \
            "${as[@]}" "$root/usr/bin/kvr_bulkrun"; }

run || fail "the run from the read-only tree ended with status $?"
data=$home/.local/share/KVR_Bulkrun
[ -f "$data/list.lst" ] || fail "no list.lst in $data"
grep -q 'Card data batch load complete' "$data/log/Batch_Log.lst" || fail "no completion entry in $data/log/Batch_Log.lst"
[ "$(sqlite3 "$home/tavrin/database/card.db" 'SELECT group_concat(STATUS) FROM CARD_DATA')" = OUT,OUT,IN ] || fail "records"
[ -z "$(find "$root" -iname list.lst -o -iname log)" ] || fail "files written into the program's folder"
# A data folder that cannot be made either: reported, status 1, never an abort.
status=0; run XDG_DATA_HOME=/proc/kvr-bulkrun 2>"$tmp/err" || status=$?
[ "$status" -eq 1 ] && grep -q 'cannot be created' "$tmp/err" || fail "status $status: $(cat "$tmp/err")"
echo "PASSED: $(grep -c . "$tmp/files") entries in $(basename "$deb")"
