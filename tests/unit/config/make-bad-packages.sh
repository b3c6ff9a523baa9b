#!/bin/bash
# make-bad-packages.sh 7ZZ GOOD_PACKAGE PACKAGE_SOURCES OUT_DIR
set -euo pipefail
sevenzip=$1 good=$2 sources=$3 out=$4
size=$(stat -c %s "$good")
head -c $((size / 2)) "$good" > "$out/short.7z"
# The end header (member names, sizes, CRCs) is at the end: damage it.
cp "$good" "$out/damaged.7z"
printf '\x55\x55\x55\x55\x55\x55\x55\x55' | dd of="$out/damaged.7z" bs=1 seek=$((size - 12)) conv=notrunc status=none
rm -f "$out/zip.7z" "$out/dotdot.7z" "$out/absolute.7z"
(cd "$sources" && "$sevenzip" a -tzip -bd -bso0 -bsp0 "$out/zip.7z" tarvo.mvkprj)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/inner"
echo "outside" > "$work/escaped.txt"
(cd "$work/inner" && "$sevenzip" a -t7z -spf -bd -bso0 -bsp0 "$out/dotdot.7z" ../escaped.txt)
"$sevenzip" a -t7z -spf -bd -bso0 -bsp0 "$out/absolute.7z" "$work/escaped.txt"
