#!/usr/bin/env bash
# signing-test.sh SIGN MAKE_RELEASE_BINARY OBJCOPY BIN_DIR MSI DEFINES_FILE INSTALLER_NSI MAKENSIS
# Signing for real with a throwaway self-signed code-signing certificate: the release
# binaries through the build's own strip-and-sign step, the MSI as the build signs it, and
# the NSIS setup with its uninstaller through makensis; each verified against that
# certificate, and a changed byte must break the signature.
set -uo pipefail
sign=$1 make_release_binary=$2 objcopy=$3 bin=$4 msi=$5 defines_file=$6 nsi=$7 makensis=$8

. "$(dirname "$0")/checks.sh"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || { echo "FAILED: cannot enter $scratch" >&2; exit 1; }

openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
    -subj "/CN=Voltwren test signing" -addext "extendedKeyUsage=codeSigning" \
    -addext "keyUsage=digitalSignature" >/dev/null 2>&1 || fail "no test certificate"
head -c 18 /dev/urandom | base64 >password.txt
openssl pkcs12 -export -inkey key.pem -in cert.pem -out cert.p12 -passout file:password.txt ||
    fail "no PKCS#12 file"

verified() { osslsigncode verify -CAfile cert.pem -in "$1" >/dev/null 2>&1; }
expect_verified() {
    verified "$1" || fail "$1 is not signed by the test certificate"
}

# --- Unsigned stays the default; half a certificate is an error --------------------
cp "$msi" unsigned.msi
"$sign" unsigned.msi || fail "signing without a certificate failed"
cmp -s "$msi" unsigned.msi || fail "signing without a certificate changed the file"
VWN_SIGN_PKCS12=$scratch/cert.p12 "$sign" unsigned.msi 2>/dev/null && fail "a certificate without its password was accepted"

export VWN_SIGN_PKCS12=$scratch/cert.p12 VWN_SIGN_PASSWORD_FILE=$scratch/password.txt

# --- The release binaries: stripped, then signed ------------------------------------
for binary in Voltwren.exe Log4cxxWrapper.dll VoltwrenSetup.dll; do
    "$make_release_binary" "$objcopy" "$bin/$binary" "$scratch/release" || fail "$binary: no release copy"
    expect_verified "release/$binary"
done

# The message DLL, resources without code, is signed as built.
cp "$bin/VoltwrenEvents.dll" VoltwrenEvents.dll
"$sign" VoltwrenEvents.dll || fail "VoltwrenEvents.dll could not be signed"
expect_verified VoltwrenEvents.dll

# --- The MSI -------------------------------------------------------------------------
cp "$msi" Voltwren.msi
"$sign" Voltwren.msi || fail "the MSI could not be signed"
expect_verified Voltwren.msi

# --- The NSIS setup and the uninstaller inside it -----------------------------------
# A second finalizer, after the signing one, keeps a copy of the uninstaller.
mapfile -t defines <"$defines_file"
"$makensis" -V1 -NOCD "${defines[@]}" "-DOUT_FILE=$scratch/setup.exe" "$nsi" \
    "-X!uninstfinalize 'cp \"%1\" \"$scratch/Uninstall.exe\"'" || fail "the signed setup does not build"
expect_verified setup.exe
expect_verified Uninstall.exe

# --- A changed byte breaks the signature ----------------------------------------------
for file in release/Voltwren.exe Voltwren.msi; do
    size=$(stat -c %s "$file")
    offset=$((size / 2))
    byte=$(od -An -tu1 -j "$offset" -N1 "$file" | tr -d ' ')
    printf "$(printf '\\%03o' $(((byte + 1) % 256)))" | dd of="$file" bs=1 seek="$offset" conv=notrunc status=none
    verified "$file" && fail "$file still verifies after a changed byte"
done

[ $failures = 0 ] && echo "signing test passed"
exit $((failures > 0))
