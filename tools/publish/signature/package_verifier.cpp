#include "signature/package_verifier.h"

#include <openssl/cms.h>
#include <openssl/objects.h>

#include <functional>
#include <utility>

#include "base/openssl_errors.h"
#include "signature/certificate_facts.h"
#include "signature/der_form.h"
#include "signature/issuer_rule.h"

namespace {

struct Candidate {
  X509* certificate;
  LookupMatch match;
};

// The distinct certificates (copies of one certificate count once) that a
// lookup could find under any reading.
std::vector<Candidate> FindCandidates(STACK_OF(X509) * certificates,
                                      const std::function<LookupMatch(X509*)>& match) {
  std::vector<Candidate> found;
  for (int i = 0; i < sk_X509_num(certificates); ++i) {
    X509* certificate = sk_X509_value(certificates, i);
    LookupMatch result = match(certificate);
    if (result == LookupMatch::None) continue;
    bool copy = false;
    for (Candidate& candidate : found) {
      if (X509_cmp(candidate.certificate, certificate) != 0) continue;
      copy = true;
      if (result == LookupMatch::Full) candidate.match = result;
    }
    if (!copy) found.push_back({certificate, result});
  }
  return found;
}

bool Refuse(PackageVerdict& verdict, std::string reason) {
  verdict.reason = std::move(reason);
  verdict.content.clear();
  return false;
}

std::string Quoted(X509* certificate) { return "\"" + SubjectText(certificate) + "\""; }

std::string ValidityProblem(X509* certificate, time_t now) {
  if (X509_cmp_time(X509_get0_notBefore(certificate), &now) != -1) {
    return Quoted(certificate) + " is not valid yet";
  }
  return Quoted(certificate) + " expired on " + ExpiryText(certificate);
}

bool KnownDigest(int nid) {
  return nid == NID_sha1 || nid == NID_sha256 || nid == NID_sha384 || nid == NID_sha512;
}

bool KnownSignature(int nid) {
  return nid == NID_rsaEncryption || nid == NID_sha1WithRSAEncryption ||
         nid == NID_sha256WithRSAEncryption || nid == NID_sha384WithRSAEncryption ||
         nid == NID_sha512WithRSAEncryption;
}

// Every certificate of the message is read by the clients' lookups, so each
// must read the same everywhere.
bool CertificatesReadAlike(STACK_OF(X509) * certificates, PackageVerdict& verdict) {
  ASN1_OBJECT* obsoleteKeyId = OBJ_txt2obj("2.5.29.1", 1);
  bool alike = true;
  for (int i = 0; alike && i < sk_X509_num(certificates); ++i) {
    X509* certificate = sk_X509_value(certificates, i);
    if (!HasWellFormedExtensions(certificate)) {
      alike = Refuse(verdict, Quoted(certificate) + " has a malformed or repeated extension");
    } else if (X509_get_ext_by_OBJ(certificate, obsoleteKeyId, -1) >= 0) {
      alike = Refuse(verdict, Quoted(certificate) +
                                  " carries the obsolete authority key identifier (2.5.29.1), "
                                  "which clients read instead of the current one");
    }
  }
  ASN1_OBJECT_free(obsoleteKeyId);
  return alike;
}

bool CheckAlgorithms(X509* certificate, PackageVerdict& verdict) {
  std::string keyProblem = ClientKeyProblem(certificate);
  if (!keyProblem.empty()) return Refuse(verdict, Quoted(certificate) + " " + keyProblem);
  if (SignedWithClientAlgorithm(certificate)) return true;
  return Refuse(verdict, Quoted(certificate) +
                             " is not signed with RSA over SHA-1 or SHA-2, which is what every "
                             "client verifies");
}

bool FindSigner(CMS_SignerInfo* signer, STACK_OF(X509) * certificates, X509*& found,
                PackageVerdict& verdict) {
  ASN1_OCTET_STRING* keyId = nullptr;
  X509_NAME* issuerName = nullptr;
  ASN1_INTEGER* serial = nullptr;
  if (CMS_SignerInfo_get0_signer_id(signer, &keyId, &issuerName, &serial) != 1) {
    return Refuse(verdict, "the signer's identifier does not read");
  }
  if (keyId != nullptr) {
    return Refuse(verdict,
                  "the signer is named by key identifier, which Wine's crypt32 cannot "
                  "match; it must be named by issuer and serial number");
  }
  std::vector<Candidate> candidates = FindCandidates(certificates, [&](X509* certificate) {
    return MatchSigner(certificate, issuerName, serial);
  });
  if (candidates.empty()) return Refuse(verdict, "the signer's certificate is not in the package");
  if (candidates.size() > 1) {
    return Refuse(verdict,
                  "more than one certificate in the package could be the signer's; "
                  "clients take whichever comes first");
  }
  if (candidates[0].match != LookupMatch::Full) {
    return Refuse(verdict, "the signer's certificate " + Quoted(candidates[0].certificate) +
                               " is found by its subject name, not its issuer name; clients "
                               "differ on that");
  }
  found = candidates[0].certificate;
  return CheckAlgorithms(found, verdict);
}

bool ReadAll(BIO* data) {
  char buffer[64 * 1024];
  int read = 0;
  while ((read = BIO_read(data, buffer, sizeof(buffer))) > 0) {
  }
  return read == 0 || BIO_eof(data);
}

bool CheckSignature(CMS_ContentInfo* message, CMS_SignerInfo* signer, X509* certificate,
                    PackageVerdict& verdict) {
  X509_ALGOR* digest = nullptr;
  X509_ALGOR* signature = nullptr;
  CMS_SignerInfo_get0_algs(signer, nullptr, nullptr, &digest, &signature);
  const ASN1_OBJECT* digestId = nullptr;
  const ASN1_OBJECT* signatureId = nullptr;
  X509_ALGOR_get0(&digestId, nullptr, nullptr, digest);
  X509_ALGOR_get0(&signatureId, nullptr, nullptr, signature);
  if (!KnownDigest(OBJ_obj2nid(digestId)) || !KnownSignature(OBJ_obj2nid(signatureId))) {
    return Refuse(verdict,
                  "the signer uses a digest or signature algorithm the clients do not "
                  "verify (RSA with SHA-1, SHA-256, SHA-384 or SHA-512 only)");
  }
  CMS_SignerInfo_set1_signer_cert(signer, certificate);
  int attributes = CMS_signed_get_attr_count(signer);
  if (attributes == 0) {
    return Refuse(verdict,
                  "the signed attributes are present but empty; crypt32 and OpenSSL "
                  "read that differently");
  }
  if (attributes > 0 && CMS_SignerInfo_verify(signer) != 1) {
    return Refuse(verdict, "the signature over the signed attributes does not verify with " +
                               Quoted(certificate) + "'s key (" + TakeOpenSslErrors() + ")");
  }
  BioOwner data(CMS_dataInit(message, nullptr));
  if (!data || !ReadAll(data.get()) || CMS_SignerInfo_verify_content(signer, data.get()) != 1) {
    return Refuse(verdict, attributes > 0
                               ? "the content does not match the signed messageDigest attribute"
                               : "the signature over the content does not verify with " +
                                     Quoted(certificate) + "'s key");
  }
  TakeOpenSslErrors();
  return true;
}

// A link of the walk: found issued current.
bool CheckLink(X509* current, X509* found, time_t now, PackageVerdict& verdict) {
  if (!CheckAlgorithms(found, verdict)) return false;
  if (!IsCertificationAuthority(found)) {
    return Refuse(verdict, Quoted(found) + " would issue " + Quoted(current) +
                               " but is not a certification authority (basic constraints)");
  }
  if (X509_verify(current, X509_get0_pubkey(found)) != 1) {
    TakeOpenSslErrors();
    return Refuse(verdict, "the signature of " + Quoted(current) + " was not made by " +
                               Quoted(found) + "'s key");
  }
  if (!ValidAt(current, now)) return Refuse(verdict, ValidityProblem(current, now));
  return true;
}

// Climbs from the signer's certificate as the service does and leaves the
// certificate reached last in verdict.chain.
bool WalkChain(STACK_OF(X509) * certificates, time_t now, PackageVerdict& verdict) {
  for (uint32_t lookup = 1; lookup < kMaxChainLookups; ++lookup) {
    X509* current = verdict.chain.back().get();
    std::vector<Candidate> candidates = FindCandidates(
        certificates, [&](X509* certificate) { return MatchIssuer(certificate, current); });
    if (candidates.empty()) return true;
    if (candidates.size() > 1) {
      return Refuse(verdict, "more than one certificate in the package could be the issuer of " +
                                 Quoted(current) + "; clients take whichever comes first");
    }
    X509* found = candidates[0].certificate;
    if (X509_cmp(found, current) == 0) return true;
    if (candidates[0].match != LookupMatch::Full) {
      return Refuse(verdict, "clients differ on whether " + Quoted(found) + " issued " +
                                 Quoted(current) + " (its names and key identifiers disagree)");
    }
    if (!CheckLink(current, found, now, verdict)) return false;
    X509_up_ref(found);
    verdict.chain.emplace_back(found);
  }
  return Refuse(verdict, "the chain does not end within " + std::to_string(kMaxChainLookups - 1) +
                             " issuer lookups, as the clients require");
}

bool CheckAgainstIssuer(X509* issuer, time_t now, PackageVerdict& verdict) {
  std::string keyProblem = ClientKeyProblem(issuer);
  if (!keyProblem.empty()) {
    return Refuse(verdict, "the issuer certificate " + Quoted(issuer) + " " + keyProblem);
  }
  X509* top = verdict.chain.back().get();
  if (X509_verify(top, X509_get0_pubkey(issuer)) != 1) {
    TakeOpenSslErrors();
    if (SubjectText(top) == SubjectText(issuer)) {
      return Refuse(verdict, "the chain ends at " + Quoted(top) +
                                 ", another authority with the issuer certificate's name: "
                                 "the issuer's key did not sign it");
    }
    return Refuse(verdict, "the chain ends at " + Quoted(top) + ", which the issuer certificate " +
                               Quoted(issuer) + " did not sign");
  }
  if (!ValidAt(top, now)) return Refuse(verdict, ValidityProblem(top, now));
  return true;
}

}  // namespace

bool VerifyPackage(const std::string& package, X509* issuer, time_t now, PackageVerdict& verdict) {
  verdict = PackageVerdict();
  const unsigned char* cursor = reinterpret_cast<const unsigned char*>(package.data());
  CmsOwner message(d2i_CMS_ContentInfo(nullptr, &cursor, static_cast<long>(package.size())));
  if (!message) {
    TakeOpenSslErrors();
    return Refuse(verdict, "not a signed message in DER");
  }
  if (OBJ_obj2nid(CMS_get0_type(message.get())) != NID_pkcs7_signed) {
    return Refuse(verdict, "not a SignedData message");
  }
  STACK_OF(CMS_SignerInfo)* signers = CMS_get0_SignerInfos(message.get());
  if (signers == nullptr || sk_CMS_SignerInfo_num(signers) != 1) {
    return Refuse(verdict, "the message must have exactly one signer");
  }
  CMS_SignerInfo* signer = sk_CMS_SignerInfo_value(signers, 0);
  std::string reason;
  if (!IsDistinguishedEncoding(package, message.get(), signer, reason)) {
    return Refuse(verdict, reason);
  }
  ASN1_OCTET_STRING** content = CMS_get0_content(message.get());
  if (OBJ_obj2nid(CMS_get0_eContentType(message.get())) != NID_pkcs7_data || content == nullptr ||
      *content == nullptr) {
    return Refuse(verdict, "the message does not carry its content as attached data");
  }
  X509StackOwner certificates(CMS_get1_certs(message.get()));
  if (!certificates || sk_X509_num(certificates.get()) == 0) {
    return Refuse(verdict, "the message carries no certificates");
  }
  if (!CertificatesReadAlike(certificates.get(), verdict)) return false;

  X509* signerCertificate = nullptr;
  if (!FindSigner(signer, certificates.get(), signerCertificate, verdict)) return false;
  if (!CheckSignature(message.get(), signer, signerCertificate, verdict)) return false;
  X509_up_ref(signerCertificate);
  verdict.chain.emplace_back(signerCertificate);
  if (!WalkChain(certificates.get(), now, verdict)) return false;
  if (!CheckAgainstIssuer(issuer, now, verdict)) return false;
  verdict.content.assign(reinterpret_cast<const char*>(ASN1_STRING_get0_data(*content)),
                         static_cast<size_t>(ASN1_STRING_length(*content)));
  return true;
}
