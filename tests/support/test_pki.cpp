#include "tests/support/test_pki.h"

#include "tests/support/files.h"

namespace qelvo::test {

TestPki::TestPki() {
  if (!HaveTool("openssl")) {
    error = "the openssl command is not installed (scripts/packages/tls.txt)";
    return;
  }
  // sign NAME CA SUBJECT-ALT-NAMES DAYS: a P-256 key and a certificate signed by CA. The
  // CAs and the client have RSA keys: Wine's chain check now and then refuses a valid
  // ECDSA signature ("signature not valid"), and its PFX import takes no EC keys.
  // Wine's PFX import also garbles a private part of the key that is a byte shorter than
  // its field (the exponent, or one of the CRT values: about one key in twenty), and every
  // handshake with that key then fails with "public key signature failed"; so every part
  // of the client's key has its full length.
  const std::string script = R"sh(set -e
rsa_key() { openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$1.key"; }
full_length() {
  openssl rsa -in "$1.key" -noout -text | awk '
    /^[a-zA-Z]/ { field = $1; next }
    { gsub(/[ :]/, ""); hex[field] = hex[field] $0 }
    END {
      for (f in hex) sub(/^(00)*/, "", hex[f])
      n = length(hex["modulus:"]); half = n / 2
      exit !(length(hex["privateExponent:"]) == n && length(hex["prime1:"]) == half &&
             length(hex["prime2:"]) == half && length(hex["exponent1:"]) == half &&
             length(hex["exponent2:"]) == half && length(hex["coefficient:"]) == half)
    }'
}
key() {
  case "$1" in
    ca|rogueca) rsa_key "$1" ;;
    client)
      tries=0
      until rsa_key client && full_length client; do
        tries=$((tries + 1)); [ "$tries" -lt 20 ] || exit 1
      done ;;
    *) openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1.key" ;;
  esac
}
ca() { key "$1"; openssl req -x509 -new -key "$1.key" -out "$1.pem" -subj "/CN=$2" -days 3 \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign; }
sign() {
  key "$1"
  openssl req -new -key "$1.key" -out "$1.csr" -subj "/CN=$3"
  printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=%s\n' "$4" "$6" > "$1.ext"
  openssl x509 -req -in "$1.csr" -CA "$2.pem" -CAkey "$2.key" -CAcreateserial -days "$5" \
    -extfile "$1.ext" -out "$1.pem"
}
ca ca "Qelvo Test CA"
ca rogueca "Qelvo Rogue CA"
sign localhost ca localhost DNS:localhost,IP:127.0.0.1,IP:::1 3 serverAuth
sign other ca other.test DNS:other.test 3 serverAuth
sign expired ca localhost DNS:localhost,IP:127.0.0.1 -1 serverAuth
sign rogue rogueca localhost DNS:localhost,IP:127.0.0.1 3 serverAuth
cat rogueca.pem >> rogue.pem
sign client ca "Qelvo Test Client" email:client@example.test 3 clientAuth
openssl pkcs12 -export -in client.pem -inkey client.key -certfile ca.pem -out client.p12 -passout pass:)sh" +
                             std::string(kPfxPassword) + "\n";
  dir.Write("make.sh", script);
  ok = ShellStatus("sh make.sh >make.log 2>&1", dir.Native()) == 0;
  if (!ok) error = "openssl could not make the test certificates: " + ReadFile(dir.File("make.log"));
}

}  // namespace qelvo::test
