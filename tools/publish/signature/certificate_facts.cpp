#include "signature/certificate_facts.h"

#include <openssl/asn1.h>
#include <openssl/evp.h>
#include <openssl/core_names.h>
#include <openssl/objects.h>
#include <openssl/x509v3.h>

#include "base/openssl_owners.h"

std::string SubjectText(X509* certificate) {
  BioOwner out(BIO_new(BIO_s_mem()));
  if (!out) return std::string();
  // RFC 2253 order, UTF-8 kept as it is (not escaped) for readable names.
  X509_NAME_print_ex(out.get(), X509_get_subject_name(certificate), 0,
                     XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
  char* text = nullptr;
  long length = BIO_get_mem_data(out.get(), &text);
  return std::string(text, static_cast<size_t>(length));
}

std::string ExpiryText(X509* certificate) {
  struct tm expiry = {};
  if (ASN1_TIME_to_tm(X509_get0_notAfter(certificate), &expiry) != 1) return std::string();
  char text[32];
  std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S UTC", &expiry);
  return text;
}

bool ValidAt(X509* certificate, time_t now) {
  // ASN1_TIME_cmp_time_t: -1 before now, 0 at now, 1 after, -2 unreadable.
  int start = ASN1_TIME_cmp_time_t(X509_get0_notBefore(certificate), now);
  int end = ASN1_TIME_cmp_time_t(X509_get0_notAfter(certificate), now);
  return start != -2 && start <= 0 && end >= 0;
}

bool ExpiresWithin(X509* certificate, time_t now, long seconds) {
  time_t limit = now + seconds;
  return X509_cmp_time(X509_get0_notAfter(certificate), &limit) != 1;
}

bool IsCertificationAuthority(X509* certificate) {
  int critical = 0;
  BasicConstraintsOwner constraints(static_cast<BASIC_CONSTRAINTS*>(
      X509_get_ext_d2i(certificate, NID_basic_constraints, &critical, nullptr)));
  return constraints && constraints->ca != 0;
}

std::string ClientKeyProblem(X509* certificate) {
  EVP_PKEY* key = X509_get0_pubkey(certificate);
  if (key == nullptr || EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA) {
    return "does not carry an RSA key: clients verify RSA only (Wine's crypt32 refuses ECDSA)";
  }
  BIGNUM* exponent = nullptr;
  if (EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_E, &exponent) != 1) {
    return "carries an RSA key whose public exponent does not read";
  }
  BignumOwner owner(exponent);
  if (BN_num_bits(exponent) > 32) {
    return "carries an RSA key whose public exponent is longer than 32 bits: crypt32 holds the "
           "exponent in 32 bits and clients refuse the key";
  }
  return std::string();
}

bool SignedWithClientAlgorithm(X509* certificate) {
  switch (X509_get_signature_nid(certificate)) {
    case NID_sha1WithRSAEncryption:
    case NID_sha256WithRSAEncryption:
    case NID_sha384WithRSAEncryption:
    case NID_sha512WithRSAEncryption:
      return true;
    default:
      return false;
  }
}

bool HasWellFormedExtensions(X509* certificate) {
  return (X509_get_extension_flags(certificate) & EXFLAG_INVALID) == 0;
}
