#!/usr/bin/env bash
# Signs a Windows executable in place with a code-signing certificate, then
# verifies the signature; a failure leaves the unsigned file and fails the build.
#
# Usage: sign_executable.sh EXE CERT.pem KEY.pem NAME [TIMESTAMP_URL [CA.pem]]
#
# With a timestamp server the signature stays valid after the certificate
# expires. When none is given, or it cannot be reached (a build machine
# without network), the signature is made without a timestamp.
set -euo pipefail
exe=$1 cert=$2 key=$3 name=$4 timestamp=${5:-} ca=${6:-}
[ -n "$ca" ] || ca=$cert

signed="$exe.signed"
trap 'rm -f "$signed"' EXIT

sign() { osslsigncode sign -certs "$cert" -key "$key" -n "$name" -h sha256 "$@" -in "$exe" -out "$signed" >/dev/null; }

rm -f "$signed"
if [ -n "$timestamp" ] && sign -ts "$timestamp"; then
    echo "signed $exe with a timestamp from $timestamp"
else
    [ -n "$timestamp" ] && echo "warning: the timestamp server $timestamp cannot be reached; signing without a timestamp" >&2
    rm -f "$signed"
    sign
    echo "signed $exe without a timestamp"
fi

if ! osslsigncode verify -CAfile "$ca" -in "$signed" >"$signed.log" 2>&1; then
    cat "$signed.log" >&2
    rm -f "$signed.log"
    echo "error: the signature of $exe does not verify against $ca" >&2
    exit 1
fi
rm -f "$signed.log"
mv "$signed" "$exe"
