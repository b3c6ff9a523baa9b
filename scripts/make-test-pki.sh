#!/usr/bin/env bash
# Makes the test PKI in OUT_DIR (once): two roots and the code-signing certificates the
# signature tests need. Everything is generated here; no key leaves the build tree.
#   make-test-pki.sh OUT_DIR
# Certificates are signed with SHA-1: Wine only reports an untrusted root for SHA-1-signed
# chains, so the trust of the test root really matters to every test.
set -euo pipefail
OUT="$1"
mkdir -p "$OUT"
cd "$OUT"
[ -f .complete ] && exit 0
rm -rf db && mkdir db

cat > ca.cnf <<'CNF'
[ ca ]
default_ca = test_ca
[ test_ca ]
database = db/index.txt
new_certs_dir = db
serial = db/serial
policy = anything
unique_subject = no
copy_extensions = none
[ anything ]
commonName = supplied
organizationName = optional
[ req ]
distinguished_name = dn
prompt = no
[ dn ]
CN = placeholder
[ root_ext ]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[ leaf_ext ]
basicConstraints = CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF
: > db/index.txt
echo 1000 > db/serial

# issue NAME CN ISSUER(self|name) START END EXT
issue() {
  local name=$1 cn=$2 issuer=$3 start=$4 end=$5 ext=$6
  openssl genrsa -out "$name.key" 2048 2>/dev/null
  openssl req -new -key "$name.key" -subj "/CN=$cn/O=Uninstaller Test PKI" -out "$name.csr" -config ca.cnf
  if [ "$issuer" = self ]; then
    openssl ca -batch -config ca.cnf -selfsign -keyfile "$name.key" -in "$name.csr" \
      -out "$name.crt" -startdate "$start" -enddate "$end" -md sha1 -extensions "$ext" -notext
  else
    openssl ca -batch -config ca.cnf -keyfile "$issuer.key" -cert "$issuer.crt" -in "$name.csr" \
      -out "$name.crt" -startdate "$start" -enddate "$end" -md sha1 -extensions "$ext" -notext 2>/dev/null
  fi
  openssl x509 -in "$name.crt" -outform DER -out "$name.der"
}

issue root "Uninstaller Test Root" self 20190101000000Z 20481231000000Z root_ext
issue other_root "Uninstaller Untrusted Test Root" self 20190101000000Z 20481231000000Z root_ext
issue publisher "Lumetta Software Co., Ltd." root 20200101000000Z 20471231000000Z leaf_ext
issue unlisted "Unlisted Sample Publisher Ltd." root 20200101000000Z 20471231000000Z leaf_ext
issue expired "Lumetta Software Co., Ltd." root 20200101000000Z 20210101000000Z leaf_ext
issue untrusted "Lumetta Software Co., Ltd." other_root 20200101000000Z 20471231000000Z leaf_ext
issue casefold "LUMETTA SOFTWARE CO., LTD." root 20200101000000Z 20471231000000Z leaf_ext
touch .complete
