#!/usr/bin/env bash
# Makes the demo seal key in this folder: the seal pictures, the root certificate, the signer
# certificate and its PKCS#12 (password = the PIN), the revocation list, the PIN and unlock code
# verifiers and key.xml. The key's files are readable by their owner alone: a soft key is only as strong
# as its PIN and its file permissions.
#
#   data/demo-key/make-demo-key.sh [path of sealrun_draw_demo_seals]
#
# The drawing program is built with the rest of the repository (target sealrun_draw_demo_seals); without
# an argument the script looks for it in the build folders beside data/. Every run makes new keys, so
# commit the whole folder together.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
pin="123456"
unlock_code="12345678"
# PBKDF2-HMAC-SHA256 iterations for the verifiers and for the PKCS#12 (its MAC and its key bag).
iterations=600000

draw="${1:-}"
if [ -z "$draw" ]; then
  for candidate in "$repo"/build*/data/sealrun_draw_demo_seals; do
    if [ -x "$candidate" ]; then draw="$candidate"; break; fi
  done
fi
if [ -z "$draw" ] || [ ! -x "$draw" ]; then
  echo "make-demo-key: build the target sealrun_draw_demo_seals first, or pass its path" >&2
  exit 1
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export LC_ALL=C

# A minimal CA so both certificates get fixed validity dates (from 2026-01-01, for 20 years).
mkdir -p "$work/ca"
: > "$work/ca/index.txt"
echo 1000 > "$work/ca/serial"
echo 1000 > "$work/ca/crlnumber"
cat > "$work/ca.cnf" <<CNF
[ ca ]
default_ca = demo

[ demo ]
dir = $work/ca
database = \$dir/index.txt
serial = \$dir/serial
crlnumber = \$dir/crlnumber
new_certs_dir = \$dir
default_md = sha256
policy = anything
unique_subject = no
copy_extensions = none
email_in_dn = yes
utf8 = yes
string_mask = utf8only

[ anything ]
countryName = optional
stateOrProvinceName = optional
localityName = optional
organizationName = optional
organizationalUnitName = optional
commonName = supplied
emailAddress = optional

[ req ]
distinguished_name = req_dn
prompt = no
utf8 = yes
string_mask = utf8only
[ req_dn ]
CN = placeholder

[ root_ext ]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash

[ signer_ext ]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature, nonRepudiation
extendedKeyUsage = emailProtection
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
subjectAltName = email:demo.signer@sealrun.example

[ crl_ext ]
authorityKeyIdentifier = keyid
CNF

start=20260101000000Z
end=20460101000000Z

openssl genpkey -quiet -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$work/root.key"
openssl req -new -config "$work/ca.cnf" -key "$work/root.key" -utf8 \
  -subj "/C=CN/O=Sealrun Demo/CN=Sealrun Demo Root CA" -out "$work/root.csr"
openssl ca -batch -config "$work/ca.cnf" -selfsign -keyfile "$work/root.key" -in "$work/root.csr" \
  -startdate "$start" -enddate "$end" -extensions root_ext -notext -out "$work/root.pem" 2>/dev/null

openssl genpkey -quiet -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$work/signer.key"
openssl req -new -config "$work/ca.cnf" -key "$work/signer.key" -utf8 \
  -subj "/C=CN/O=Sealrun Demo/OU=演示单位/CN=演示签章人/emailAddress=demo.signer@sealrun.example" \
  -out "$work/signer.csr"
openssl ca -batch -config "$work/ca.cnf" -cert "$work/root.pem" -keyfile "$work/root.key" -in "$work/signer.csr" \
  -startdate "$start" -enddate "$end" -extensions signer_ext -notext -out "$work/signer.pem" 2>/dev/null

# The revocation list: nothing revoked, valid as long as the certificates.
openssl ca -batch -config "$work/ca.cnf" -cert "$work/root.pem" -keyfile "$work/root.key" -gencrl \
  -crl_lastupdate "$start" -crl_nextupdate "$end" -crlexts crl_ext -out "$work/crl.pem" 2>/dev/null

# The certificates are public (signer.pem lies beside it), so only the key bag is encrypted; the MAC and
# the key bag both take $iterations iterations, so neither is a cheap way to test PINs.
openssl pkcs12 -export -inkey "$work/signer.key" -in "$work/signer.pem" -certfile "$work/root.pem" \
  -name "演示签章人" -passout "pass:$pin" -iter "$iterations" -certpbe NONE -out "$work/signer.p12"

# The PIN and the unlock code are kept only as PBKDF2-HMAC-SHA256 verifiers.
verifier_of() {
  openssl kdf -keylen 32 -kdfopt digest:SHA256 -kdfopt "pass:$1" -kdfopt "hexsalt:$2" \
    -kdfopt "iter:$iterations" PBKDF2 | tr -d ':\n' | tr 'a-f' 'A-F'
}
salt="$(openssl rand -hex 16 | tr 'a-f' 'A-F')"
verifier="$(verifier_of "$pin" "$salt")"
unlock_salt="$(openssl rand -hex 16 | tr 'a-f' 'A-F')"
unlock_verifier="$(verifier_of "$unlock_code" "$unlock_salt")"

mkdir -p "$work/seals"
"$draw" "$work/seals"

# Write everything at once, so a failure above leaves the previous key intact.
rm -rf "$here/seals"
mkdir -p "$here/seals"
install -m 0644 "$work"/seals/* "$here/seals/"
install -m 0644 "$work/signer.pem" "$here/signer.pem"
install -m 0600 "$work/signer.p12" "$here/signer.p12"
install -m 0644 "$work/root.pem" "$here/root.pem"
openssl x509 -in "$work/root.pem" -outform DER -out "$here/ZQ_Root.cer"
openssl crl -in "$work/crl.pem" -outform DER -out "$here/ZQ_Crl.crl"

cat > "$here/key.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<SealKey version="1">
  <Serial>ZQ-DEMO-0001</Serial>
  <Pin kdf="PBKDF2-HMAC-SHA256" iterations="$iterations" salt="$salt">$verifier</Pin>
  <UnlockCode kdf="PBKDF2-HMAC-SHA256" iterations="$iterations" salt="$unlock_salt">$unlock_verifier</UnlockCode>
  <Provider>Sealrun Soft Key CSP</Provider>
  <Signer certificate="signer.pem" pkcs12="signer.p12"/>
  <Seal name="演示公章" unit="演示单位" user="演示签章人" serial="DEMO-SEAL-0001" ext=".png" file="seals/official.png"/>
  <Seal name="演示合同章" unit="演示单位" user="演示签章人" serial="DEMO-SEAL-0002" ext=".gif" file="seals/contract.gif"/>
  <Seal name="演示财务章" unit="演示单位财务部" user="演示会计" serial="DEMO-SEAL-0003" ext=".jpg" file="seals/finance.jpg"/>
  <Seal name="演示旧版章" unit="演示单位" user="演示签章人" serial="DEMO-SEAL-0004" ext=".bmp" file="seals/legacy.bmp"/>
</SealKey>
XML
chmod 0600 "$here/key.xml"
echo "make-demo-key: demo key written to $here (PIN $pin, unlock code $unlock_code)"
