# Sourced: makes, in the current directory, a CA (ca.pem) and a code-signing key and
# certificate with its chain (signer.p12, password exported as QM_SIGN_PASSWORD), good
# for two days; the private keys are deleted once the PKCS#12 file holds the signer's.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Throwaway Test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout ca.key -out ca.pem 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=Quellmark Test Signer" \
    -keyout signer.key -out signer.csr 2>/dev/null
printf '%s\n' "basicConstraints=CA:FALSE" "keyUsage=critical,digitalSignature" \
    "extendedKeyUsage=codeSigning" >signer.ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
    -extfile signer.ext -out signer.pem 2>/dev/null
export QM_SIGN_PASSWORD=throwaway-$RANDOM$RANDOM
openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem \
    -passout env:QM_SIGN_PASSWORD -out signer.p12
rm -f ca.key signer.key
