#!/bin/bash
# Signs the installer with Authenticode in place. The PKCS#12 password comes from the
# environment (QM_SIGN_PASSWORD) and reaches osslsigncode on its standard input, so
# that it shows in no command line. With a timestamp server the signature stays valid
# after the certificate expires.
# usage: sign.sh OSSLSIGNCODE PKCS12 EXE [TIMESTAMP_URL]
set -euo pipefail
tool=$1 pkcs12=$2 exe=$3 timestamp=${4:-}
args=(sign -pkcs12 "$pkcs12" -readpass - -h sha256 -n "Quellmark Installer")
[ -z "$timestamp" ] || args+=(-ts "$timestamp")
signed=$exe.signing
rm -f "$signed"
printf '%s' "${QM_SIGN_PASSWORD:-}" | "$tool" "${args[@]}" -in "$exe" -out "$signed" >/dev/null
chmod --reference="$exe" "$signed"
mv -f "$signed" "$exe"
