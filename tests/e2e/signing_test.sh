#!/usr/bin/env bash
# Signs a copy of the built Windows executable the way the build does, with a
# throwaway self-signed certificate and a timestamp server nobody answers at,
# then checks that the signature verifies, that the resources are intact,
# and that the signed program still starts under Wine.
set -u
exe=$1
wine_run=$2
shots=$3
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)

work=$(mktemp -d /tmp/tsr-sign-XXXXXX)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Test Maker" \
        -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null \
    || { echo "FAIL: cannot make a certificate"; exit 1; }
cp "$exe" "$work/tsr_installer.exe"

bash "$src/tools/sign_executable.sh" "$work/tsr_installer.exe" "$work/cert.pem" "$work/key.pem" \
     "Vantorix3 Plugin Manager" "http://127.0.0.1:9/" > "$work/sign.log" 2>&1 || { cat "$work/sign.log"; fail "signing failed"; }
grep -q "warning: no timestamp from http://127.0.0.1:9/" "$work/sign.log" || fail "an unreachable timestamp server did not fall back to no timestamp"

osslsigncode verify -CAfile "$work/cert.pem" -in "$work/tsr_installer.exe" > "$work/verify.log" 2>&1
grep -q "Signature verification: ok" "$work/verify.log" || { cat "$work/verify.log"; fail "the signature does not verify"; }
grep -q "Test Maker" "$work/verify.log" || fail "the signer is not named"

# The signature is appended: the image and its resources must be untouched.
/usr/bin/python3 "$here/../check_exe_resources.py" "$work/tsr_installer.exe" > "$work/resources.log" 2>&1 \
    || { cat "$work/resources.log"; fail "the signed executable's resources changed"; }

# A tampered copy must not verify.
cp "$work/tsr_installer.exe" "$work/tampered.exe"
printf 'x' | dd of="$work/tampered.exe" bs=1 seek=4096 conv=notrunc 2>/dev/null
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/tampered.exe" > /dev/null 2>&1 && fail "a tampered executable verifies"

if [ -n "${DISPLAY:-}" ]; then
    bash "$here/wine_window_test.sh" "$work/tsr_installer.exe" "$wine_run" "$shots" > "$work/wine.log" 2>&1 \
        || { cat "$work/wine.log"; fail "the signed executable does not start and quit under Wine"; }
fi

if [ $failed -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit $failed
