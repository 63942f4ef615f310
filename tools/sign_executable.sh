#!/usr/bin/env bash
# Signs a Windows executable in place with a code-signing certificate, then
# verifies the signature; a failure leaves the unsigned file and fails the build.
#
# Usage: sign_executable.sh EXE CERT.pem KEY.pem NAME [TIMESTAMP_URL [CA.pem]]
#
# With a timestamp server the signature stays valid after the certificate
# expires. When none is given, or it cannot be reached (a build machine
# without network), the signature is made without a timestamp.
#
# osslsigncode's own output is kept for when it explains a failure that stops
# the build: a timestamp server out of reach makes it print a dozen lines of
# OpenSSL errors, which say no more than the one warning line printed instead.
set -euo pipefail
exe=$1 cert=$2 key=$3 name=$4 timestamp=${5:-} ca=${6:-}
[ -n "$ca" ] || ca=$cert

signed="$exe.signed"
log="$exe.sign.log"
trap 'rm -f "$signed" "$log"' EXIT

sign() {
    rm -f "$signed"
    osslsigncode sign -certs "$cert" -key "$key" -n "$name" -h sha256 "$@" -in "$exe" -out "$signed" >"$log" 2>&1
}

if [ -n "$timestamp" ] && sign -ts "$timestamp"; then
    echo "signed $exe with a timestamp from $timestamp"
elif sign; then
    # Signing without the server worked, so the server was what failed.
    if [ -n "$timestamp" ]; then
        echo "warning: no timestamp from $timestamp (the server cannot be reached, or refused); signed $exe" \
             "without one, so the signature stops being valid when the certificate expires" >&2
    else
        echo "signed $exe without a timestamp"
    fi
else
    cat "$log" >&2
    echo "error: osslsigncode cannot sign $exe with $cert and $key" >&2
    exit 1
fi

if ! osslsigncode verify -CAfile "$ca" -in "$signed" >"$log" 2>&1; then
    cat "$log" >&2
    echo "error: the signature of $exe does not verify against $ca" >&2
    exit 1
fi
mv "$signed" "$exe"
