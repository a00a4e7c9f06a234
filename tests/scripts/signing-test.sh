#!/bin/bash
# Signs a copy of the built installer as a release build would (cmake/sign.sh), with
# a CA and a code-signing certificate made here and thrown away afterwards; checks
# the signature, runs the signed copy through an install and an uninstall under Wine,
# and checks the signature of the copy the install left in the system directory.
# usage: signing-test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1
build=$2
work=$(mktemp -d "$build/signing.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

source "$source_dir/tests/scripts/throwaway-signer.sh"

cp "$build/QM-Install.exe" signed.exe
bash "$source_dir/cmake/sign.sh" osslsigncode signer.p12 signed.exe
osslsigncode verify -CAfile ca.pem -in signed.exe >verify.log 2>&1 ||
    { cat verify.log; echo "FAIL: the signed installer does not verify"; exit 1; }

QM_SHARE_DIR=$work QM_SIGNED_INSTALLER='S:\signed.exe' QM_SIGNED_SYSTEM_COPY='S:\system-copy.exe' \
    bash "$source_dir/tests/scripts/wine-run.sh" "$build" "$build/tests/qm_e2e_tests.exe" \
    --gtest_filter='SignedInstaller.*'
[ -f system-copy.exe ] || { echo "FAIL: no system copy handed back"; exit 1; }
osslsigncode verify -CAfile ca.pem -in system-copy.exe >verify.log 2>&1 ||
    { cat verify.log; echo "FAIL: the system copy does not verify"; exit 1; }
echo "signed installer and its system copy verify"
