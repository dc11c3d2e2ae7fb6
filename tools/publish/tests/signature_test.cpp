// The publisher's verifier and the certificate facts it rests on, over
// certificates made here with OpenSSL and packages signed by the release's
// own signer.
#include <gtest/gtest.h>
#include <openssl/rsa.h>

#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "base/openssl_owners.h"
#include "release/package_signer.h"
#include "signature/certificate_facts.h"
#include "signature/issuer_rule.h"
#include "signature/package_verifier.h"

namespace {

constexpr long kDay = 24 * 60 * 60;
const time_t kNow = std::time(nullptr);

void SetTime(ASN1_TIME* time, long fromNow) {
  time_t now = kNow;
  ASSERT_NE(X509_time_adj(time, fromNow, &now), nullptr);
}

PrivateKeyOwner RsaKey(unsigned bits, unsigned long exponent) {
  PrivateKeyContextOwner context(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
  BignumOwner publicExponent(BN_new());
  EVP_PKEY* key = nullptr;
  if (!context || !publicExponent || BN_set_word(publicExponent.get(), exponent) != 1 ||
      EVP_PKEY_keygen_init(context.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_keygen_bits(context.get(), static_cast<int>(bits)) != 1 ||
      EVP_PKEY_CTX_set1_rsa_keygen_pubexp(context.get(), publicExponent.get()) != 1 ||
      EVP_PKEY_generate(context.get(), &key) != 1) {
    ADD_FAILURE() << "no RSA key";
  }
  return PrivateKeyOwner(key);
}

PrivateKeyOwner EcKey() {
  return PrivateKeyOwner(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
}

struct Identity {
  X509Owner certificate;
  PrivateKeyOwner key;
};

// How Issue makes a certificate.
struct Profile {
  bool authority = false;
  bool basicConstraints = true;
  long notBefore = -kDay;  // seconds from kNow
  long notAfter = 365 * kDay;
  const EVP_MD* digest = EVP_sha256();
};

void AddExtension(X509* certificate, X509* issuer, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  ASSERT_NE(extension, nullptr) << value;
  X509_add_ext(certificate, extension, -1);
  X509_EXTENSION_free(extension);
}

// A certificate for key named common name, issued by issuer (itself when
// null, with key).
Identity Issue(const char* commonName, PrivateKeyOwner key, const Identity* issuer,
               const Profile& profile = Profile()) {
  static long serial = 1000;
  X509Owner certificate(X509_new());
  X509_set_version(certificate.get(), X509_VERSION_3);
  ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), ++serial);
  X509_NAME* name = X509_get_subject_name(certificate.get());
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("Wendral"), -1, -1, 0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
  X509* issuerCertificate = issuer ? issuer->certificate.get() : certificate.get();
  X509_set_issuer_name(certificate.get(), X509_get_subject_name(issuerCertificate));
  SetTime(X509_getm_notBefore(certificate.get()), profile.notBefore);
  SetTime(X509_getm_notAfter(certificate.get()), profile.notAfter);
  X509_set_pubkey(certificate.get(), key.get());
  if (profile.basicConstraints) {
    AddExtension(certificate.get(), issuerCertificate, NID_basic_constraints,
                 profile.authority ? "critical,CA:TRUE" : "critical,CA:FALSE");
  }
  AddExtension(certificate.get(), issuerCertificate, NID_subject_key_identifier, "hash");
  AddExtension(certificate.get(), issuerCertificate, NID_authority_key_identifier, "keyid");
  EVP_PKEY* signingKey = issuer ? issuer->key.get() : key.get();
  const EVP_MD* digest = EVP_PKEY_get_base_id(signingKey) == EVP_PKEY_RSA ? profile.digest
                                                                           : EVP_sha256();
  EXPECT_GT(X509_sign(certificate.get(), signingKey, digest), 0) << commonName;
  return Identity{std::move(certificate), std::move(key)};
}

X509Owner Copy(const X509Owner& certificate) {
  X509_up_ref(certificate.get());
  return X509Owner(certificate.get());
}

// The issuer, an intermediate and a signer under it, as a release has them.
class SignatureTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    issuer_ = new Identity(Issue("Test Issuer", RsaKey(1024, RSA_F4), nullptr, Authority()));
    intermediate_ = new Identity(
        Issue("Test Intermediate", RsaKey(1024, RSA_F4), issuer_, Authority()));
    signer_ = new Identity(Issue("Test Signer", RsaKey(1024, RSA_F4), intermediate_));
  }
  static void TearDownTestSuite() {
    delete signer_;
    delete intermediate_;
    delete issuer_;
  }

  static Profile Authority() {
    Profile profile;
    profile.authority = true;
    return profile;
  }

  // A package of content signed by signer, carrying chain.
  static std::string Sign(const Identity& signer, const std::vector<const Identity*>& chain,
                          const std::string& content = "MZ installer bytes") {
    SigningIdentity identity;
    identity.signer = Copy(signer.certificate);
    EVP_PKEY_up_ref(signer.key.get());
    identity.key.reset(signer.key.get());
    for (const Identity* certificate : chain) {
      identity.chain.push_back(Copy(certificate->certificate));
    }
    std::string package;
    std::string error;
    EXPECT_TRUE(SignPackage(content, identity, package, error)) << error;
    return package;
  }

  static Identity* issuer_;
  static Identity* intermediate_;
  static Identity* signer_;
};

Identity* SignatureTest::issuer_ = nullptr;
Identity* SignatureTest::intermediate_ = nullptr;
Identity* SignatureTest::signer_ = nullptr;

TEST_F(SignatureTest, AcceptsAPackageUnderAnIntermediateAndExtractsItsContent) {
  PackageVerdict verdict;
  ASSERT_TRUE(VerifyPackage(Sign(*signer_, {intermediate_}), issuer_->certificate.get(), kNow,
                            verdict))
      << verdict.reason;
  EXPECT_EQ(verdict.content, "MZ installer bytes");
  ASSERT_EQ(verdict.chain.size(), 2u);
  EXPECT_EQ(SubjectText(verdict.chain[0].get()), "CN=Test Signer,O=Wendral");
  EXPECT_EQ(SubjectText(verdict.chain[1].get()), "CN=Test Intermediate,O=Wendral");
}

// What every client refuses, each for its own reason.
TEST_F(SignatureTest, RefusesWhatClientsRefuseWithTheReason) {
  Profile expired;
  expired.notBefore = -400 * kDay;
  expired.notAfter = -30 * kDay;
  Profile endEntity;
  Identity longExponentSigner =
      Issue("Long Exponent Signer", RsaKey(1024, 0x10000000FUL), intermediate_);
  Identity longExponentAuthority =
      Issue("Long Exponent Intermediate", RsaKey(1024, 0x10000000FUL), issuer_, Authority());
  Identity underLongExponent =
      Issue("Signer Under Long Exponent", RsaKey(1024, RSA_F4), &longExponentAuthority);
  Identity ecSigner = Issue("Elliptic Signer", EcKey(), intermediate_);
  Identity ecAuthority = Issue("Elliptic Intermediate", EcKey(), issuer_, Authority());
  Identity underEcAuthority = Issue("Signer Under Elliptic", RsaKey(1024, RSA_F4), &ecAuthority);
  Identity expiredSigner = Issue("Expired Signer", RsaKey(1024, RSA_F4), intermediate_, expired);
  Identity notAuthority = Issue("Not An Authority", RsaKey(1024, RSA_F4), issuer_, endEntity);
  Identity underNotAuthority =
      Issue("Signer Under An End Entity", RsaKey(1024, RSA_F4), &notAuthority);
  Identity unrelated = Issue("Test Issuer", RsaKey(1024, RSA_F4), nullptr, Authority());
  Identity underUnrelated = Issue("Unrelated Signer", RsaKey(1024, RSA_F4), &unrelated);
  // The intermediate's name under another key: a name-matching crypt32 would take it.
  Identity twin = Issue("Test Intermediate", RsaKey(1024, RSA_F4), issuer_, Authority());
  Identity longExponentIssuer =
      Issue("Long Exponent Issuer", RsaKey(1024, 0x10000000FUL), nullptr, Authority());
  Identity underLongExponentIssuer = Issue("Signer", RsaKey(1024, RSA_F4), &longExponentIssuer);

  std::string good = Sign(*signer_, {intermediate_});
  std::string altered = good;
  size_t content = altered.find("installer");
  ASSERT_NE(content, std::string::npos);
  altered[content] = 'I';

  const struct {
    const char* label;
    std::string package;
    const char* reason;
    const Identity* issuer = issuer_;
  } cases[] = {
      {"signer key's exponent over 32 bits", Sign(longExponentSigner, {intermediate_}),
       "\"CN=Long Exponent Signer,O=Wendral\" carries an RSA key whose public exponent is "
       "longer than 32 bits"},
      {"intermediate key's exponent over 32 bits",
       Sign(underLongExponent, {&longExponentAuthority}),
       "\"CN=Long Exponent Intermediate,O=Wendral\" carries an RSA key whose public exponent is "
       "longer than 32 bits"},
      {"ECDSA signer", Sign(ecSigner, {intermediate_}),
       "\"CN=Elliptic Signer,O=Wendral\" does not carry an RSA key"},
      {"signer certified by ECDSA", Sign(underEcAuthority, {&ecAuthority}),
       "\"CN=Signer Under Elliptic,O=Wendral\" is not signed with RSA over SHA-1 or SHA-2"},
      {"expired signer", Sign(expiredSigner, {intermediate_}),
       "\"CN=Expired Signer,O=Wendral\" expired on "},
      {"end entity as issuer", Sign(underNotAuthority, {&notAuthority}),
       "\"CN=Not An Authority,O=Wendral\" would issue \"CN=Signer Under An End Entity,"
       "O=Wendral\" but is not a certification authority"},
      {"unrelated authority with the issuer's name", Sign(underUnrelated, {&unrelated}),
       "another authority with the issuer certificate's name"},
      {"content altered after signing", altered,
       "the content does not match the signed messageDigest attribute"},
      {"a byte after the message", good + '\0', "the package is not in DER form"},
      {"nothing", "", "not a signed message in DER"},
      {"the intermediate's twin beside it", Sign(*signer_, {intermediate_, &twin}),
       "more than one certificate in the package could be the issuer"},
      {"issuer key's exponent over 32 bits", Sign(underLongExponentIssuer, {}),
       "the issuer certificate \"CN=Long Exponent Issuer,O=Wendral\" carries an RSA key whose "
       "public exponent is longer",
       &longExponentIssuer},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.label);
    PackageVerdict verdict;
    EXPECT_FALSE(VerifyPackage(test.package, test.issuer->certificate.get(), kNow, verdict));
    EXPECT_NE(verdict.reason.find(test.reason), std::string::npos) << verdict.reason;
    EXPECT_TRUE(verdict.content.empty());
  }
}

TEST_F(SignatureTest, AcceptsKeysEveryClientVerifies) {
  const struct {
    const char* label;
    unsigned bits;
    unsigned long exponent;
    const EVP_MD* digest;
  } cases[] = {
      {"exponent 3, SHA-384", 1024, 3, EVP_sha384()},
      {"exponent 2^32 - 5 (32 bits), SHA-512", 1024, 0xFFFFFFFBUL, EVP_sha512()},
      {"odd modulus size, SHA-1", 1025, RSA_F4, EVP_sha1()},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.label);
    Profile profile;
    profile.digest = test.digest;
    Identity signer = Issue("Varied Signer", RsaKey(test.bits, test.exponent), issuer_, profile);
    EXPECT_EQ(ClientKeyProblem(signer.certificate.get()), "");
    PackageVerdict verdict;
    EXPECT_TRUE(VerifyPackage(Sign(signer, {}), issuer_->certificate.get(), kNow, verdict))
        << verdict.reason;
  }
}

TEST_F(SignatureTest, FindsTheIssuerByKeyIdentifierAndName) {
  Identity twin = Issue("Test Intermediate", RsaKey(1024, RSA_F4), issuer_, Authority());
  EXPECT_EQ(MatchIssuer(intermediate_->certificate.get(), signer_->certificate.get()),
            LookupMatch::Full);
  // The same name under another key: a name-matching crypt32 would take it.
  EXPECT_EQ(MatchIssuer(twin.certificate.get(), signer_->certificate.get()),
            LookupMatch::Partial);
  EXPECT_EQ(MatchIssuer(issuer_->certificate.get(), signer_->certificate.get()),
            LookupMatch::None);
}

TEST_F(SignatureTest, ReadsValidityAndBasicConstraintsAsClientsDo) {
  Profile period;
  period.notBefore = 0;
  period.notAfter = kDay;
  Profile noConstraints;
  noConstraints.basicConstraints = false;
  Identity dated = Issue("Dated", RsaKey(1024, RSA_F4), issuer_, period);
  Identity unconstrained = Issue("Unconstrained", RsaKey(1024, RSA_F4), issuer_, noConstraints);

  // Both ends of the period count, as crypt32's time check has them.
  EXPECT_FALSE(ValidAt(dated.certificate.get(), kNow - 1));
  EXPECT_TRUE(ValidAt(dated.certificate.get(), kNow));
  EXPECT_TRUE(ValidAt(dated.certificate.get(), kNow + kDay));
  EXPECT_FALSE(ValidAt(dated.certificate.get(), kNow + kDay + 1));
  EXPECT_TRUE(ExpiresWithin(dated.certificate.get(), kNow, kDay));
  EXPECT_FALSE(ExpiresWithin(dated.certificate.get(), kNow, kDay - 1));

  EXPECT_TRUE(IsCertificationAuthority(intermediate_->certificate.get()));
  EXPECT_FALSE(IsCertificationAuthority(signer_->certificate.get()));
  EXPECT_FALSE(IsCertificationAuthority(unconstrained.certificate.get()));
}

}  // namespace
