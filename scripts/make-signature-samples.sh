#!/usr/bin/env bash
# One copy of a small program per signature case, for the signature tests.
#   make-signature-samples.sh PKI_DIR SOURCE_EXE OUT_DIR
set -euo pipefail
pki="$1"; src="$2"; out="$3"
here="$(cd "$(dirname "$0")" && pwd)"
rm -rf "$out" && mkdir -p "$out"
cp "$src" "$out/unsigned.exe"
for c in publisher unlisted expired casefold; do
  cp "$src" "$out/$c.exe"; "$here/sign-file.sh" "$pki" "$c" "$out/$c.exe"
done
cp "$src" "$out/untrusted.exe"; "$here/sign-file.sh" "$pki" untrusted "$out/untrusted.exe" other_root
# Signed, then one byte of the code changed: the hash no longer matches.
cp "$out/publisher.exe" "$out/tampered.exe"
python3 - "$out/tampered.exe" <<'PY'
import sys
path = sys.argv[1]
data = bytearray(open(path, "rb").read())
at = len(data) // 3
data[at] ^= 0xFF
open(path, "wb").write(bytes(data))
PY
mkdir -p "$out/a directory.exe"
touch "$out/.complete"
