#!/usr/bin/env bash
# Signs a PE file in place with one certificate of the test PKI (see make-test-pki.sh).
#   sign-file.sh PKI_DIR CERT_NAME FILE [ISSUER_NAME]
# The issuer's certificate travels in the signature so that the chain reaches its root.
set -euo pipefail
pki="$1"; cert="$2"; file="$3"; issuer="${4:-root}"
tmp="$file.signing"
cat "$pki/$cert.crt" "$pki/$issuer.crt" > "$tmp.chain"
rm -f "$tmp"
osslsigncode sign -certs "$tmp.chain" -key "$pki/$cert.key" -h sha256 -n "Lumetta" \
  -in "$file" -out "$tmp" >/dev/null
rm -f "$tmp.chain"
mv -f "$tmp" "$file"
