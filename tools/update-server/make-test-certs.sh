#!/bin/bash
# Makes a throwaway test CA and a TLS server certificate that it signs, for the
# local update server. Keys stay in OUTDIR (a build tree); nothing is committed.
#   make-test-certs.sh OUTDIR HOST [CA_NAME]
# The server certificate names HOST as a dNSName, also when HOST is an IP
# address text: Wine matches host names against dNSName entries only and
# ignores iPAddress ones, which Windows uses, so an IP gets both.
# Existing files are kept, so a CA trusted in a prefix stays the same one.
set -euo pipefail
if [ $# -lt 2 ]; then
  echo "usage: $0 OUTDIR HOST [CA_NAME]" >&2
  exit 2
fi
out=$1 host=$2 ca_name=${3:-Plumix Test CA}
mkdir -p "$out"
cd "$out"

if [ -f ca.der ] && [ -f server.pem ] && [ -f server.key ] && [ "$(cat host 2>/dev/null)" = "$host" ]; then
  exit 0
fi

san="DNS:$host"
if [[ $host =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
  san="$san,IP:$host"
fi

openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 \
  -keyout ca.key -out ca.pem -subj "/O=Plumix tests/CN=$ca_name" \
  -addext basicConstraints=critical,CA:TRUE \
  -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
openssl x509 -in ca.pem -outform DER -out ca.der

openssl req -newkey rsa:2048 -nodes -sha256 -keyout server.key -out server.csr \
  -subj "/O=Plumix tests/CN=$host" 2>/dev/null
cat > server.ext <<END
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=$san
END
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -sha256 -days 3650 \
  -extfile server.ext -out server.pem 2>/dev/null
rm -f server.csr server.ext ca.srl
echo "$host" > host
