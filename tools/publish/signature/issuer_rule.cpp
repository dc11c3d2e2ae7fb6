#include "signature/issuer_rule.h"

#include <openssl/evp.h>
#include <openssl/sha.h>
#include <openssl/x509v3.h>

#include <cstring>

#include "base/openssl_owners.h"

namespace {

// crypt32 compares names as encoded bytes.
bool SameNameBytes(const X509_NAME* a, const X509_NAME* b) {
  const unsigned char* aBytes = nullptr;
  const unsigned char* bBytes = nullptr;
  size_t aLength = 0;
  size_t bLength = 0;
  if (X509_NAME_get0_der(a, &aBytes, &aLength) != 1 ||
      X509_NAME_get0_der(b, &bBytes, &bLength) != 1) {
    return false;
  }
  return aLength == bLength && std::memcmp(aBytes, bBytes, aLength) == 0;
}

// Also equal after OpenSSL's canonical folding of case and white space, in
// case some crypt32 compares more loosely than by bytes.
bool SimilarNames(const X509_NAME* a, const X509_NAME* b) {
  return SameNameBytes(a, b) || X509_NAME_cmp(a, b) == 0;
}

bool SameSerial(X509* certificate, const ASN1_INTEGER* serial) {
  return ASN1_INTEGER_cmp(X509_get0_serialNumber(certificate), serial) == 0;
}

bool SameBytes(const ASN1_OCTET_STRING* a, const unsigned char* bytes, size_t length) {
  return static_cast<size_t>(ASN1_STRING_length(a)) == length &&
         std::memcmp(ASN1_STRING_get0_data(a), bytes, length) == 0;
}

// Key identifiers Windows may derive for a certificate without the extension:
// SHA-1 over the key's bit string, and over the whole SubjectPublicKeyInfo.
bool DerivedKeyIdMatches(X509* candidate, const ASN1_OCTET_STRING* keyId) {
  unsigned char digest[SHA_DIGEST_LENGTH];
  ASN1_BIT_STRING* bits = X509_get0_pubkey_bitstr(candidate);
  if (bits != nullptr &&
      SHA1(ASN1_STRING_get0_data(bits), static_cast<size_t>(ASN1_STRING_length(bits)), digest) &&
      SameBytes(keyId, digest, sizeof(digest))) {
    return true;
  }
  unsigned char* encoded = nullptr;
  int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(candidate), &encoded);
  OpenSslBytes owner(encoded);
  return length > 0 && SHA1(encoded, static_cast<size_t>(length), digest) &&
         SameBytes(keyId, digest, sizeof(digest));
}

// The first directory name of the identifier's issuer, which Wine uses, and
// whether any directory name matches loosely.
void MatchAuthorityIssuer(const GENERAL_NAMES* names, X509* candidate, bool& first, bool& any) {
  first = false;
  any = false;
  bool seenFirst = false;
  for (int i = 0; i < sk_GENERAL_NAME_num(names); ++i) {
    const GENERAL_NAME* name = sk_GENERAL_NAME_value(names, i);
    if (name->type != GEN_DIRNAME) continue;
    if (!seenFirst) first = SameNameBytes(name->d.directoryName, X509_get_issuer_name(candidate));
    seenFirst = true;
    any = any || SimilarNames(name->d.directoryName, X509_get_issuer_name(candidate));
  }
}

LookupMatch Combine(bool full, bool any) {
  if (full) return LookupMatch::Full;
  return any ? LookupMatch::Partial : LookupMatch::None;
}

}  // namespace

LookupMatch MatchIssuer(X509* candidate, X509* subject) {
  const X509_NAME* wanted = X509_get_issuer_name(subject);
  bool nameExact = SameNameBytes(X509_get_subject_name(candidate), wanted);
  bool nameSimilar = SimilarNames(X509_get_subject_name(candidate), wanted);
  if (X509_get_ext_by_NID(subject, NID_authority_key_identifier, -1) < 0) {
    return Combine(nameExact, nameSimilar);
  }

  const ASN1_OCTET_STRING* keyId = X509_get0_authority_key_id(subject);
  const GENERAL_NAMES* issuerNames = X509_get0_authority_issuer(subject);
  const ASN1_INTEGER* issuerSerial = X509_get0_authority_serial(subject);
  bool byIssuerSerial = issuerNames != nullptr && issuerSerial != nullptr;
  if (!byIssuerSerial && keyId == nullptr) {
    // Wine finds no issuer at all for an identifier that names nothing.
    return Combine(false, nameSimilar);
  }

  bool serialExact = false;
  bool serialSimilar = false;
  if (byIssuerSerial) {
    bool firstName = false;
    bool anyName = false;
    MatchAuthorityIssuer(issuerNames, candidate, firstName, anyName);
    bool serial = SameSerial(candidate, issuerSerial);
    serialExact = firstName && serial;
    serialSimilar = anyName && serial;
  }
  bool keyExact = false;
  bool keySimilar = false;
  if (keyId != nullptr) {
    const ASN1_OCTET_STRING* candidateKeyId = X509_get0_subject_key_id(candidate);
    keyExact = candidateKeyId != nullptr && ASN1_OCTET_STRING_cmp(candidateKeyId, keyId) == 0;
    keySimilar = keyExact || (candidateKeyId == nullptr && DerivedKeyIdMatches(candidate, keyId));
  }
  bool full = nameExact && (!byIssuerSerial || serialExact) && (keyId == nullptr || keyExact);
  return Combine(full, nameSimilar || serialSimilar || keySimilar);
}

LookupMatch MatchSigner(X509* candidate, const X509_NAME* issuer, const ASN1_INTEGER* serial) {
  if (!SameSerial(candidate, serial)) return LookupMatch::None;
  bool exact = SameNameBytes(X509_get_issuer_name(candidate), issuer);
  bool similar = SimilarNames(X509_get_issuer_name(candidate), issuer) ||
                 SimilarNames(X509_get_subject_name(candidate), issuer);
  return Combine(exact, similar);
}
