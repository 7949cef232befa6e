#!/usr/bin/env bash
# Installs the Debian packages that building, testing and fuzzing need, only those missing.
set -euo pipefail

# clang's sanitizer and libFuzzer runtimes (libclang-rt-dev) are only a
# recommendation of clang, which --no-install-recommends leaves out.
# The package test needs dpkg-dev (dpkg-deb, dpkg-shlibdeps), desktop-file-utils,
# appstream and man-db; the server store's tests a PostgreSQL server.
packages=(cmake ninja-build g++ pkg-config qt6-base-dev libsqlite3-dev libgtest-dev sqlite3 clang libclang-rt-dev
          dpkg-dev desktop-file-utils appstream man-db postgresql libpq-dev)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
