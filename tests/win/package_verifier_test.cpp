#include "verify/package_verifier.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/package_corpus.h"
#include "support/test_files.h"
#include "verify/issuer_certificate.h"

namespace {

struct Verification {
  bool accepted;
  std::string content;
  DWORD error;
};

Verification Verify(PackageVerifier& verifier, const std::string& package) {
  std::unique_ptr<uint8_t[]> content;
  uint32_t length = 0;
  SetLastError(0);
  Verification result;
  result.accepted = verifier.VerifyAndExtract(reinterpret_cast<const uint8_t*>(package.data()),
                                              static_cast<uint32_t>(package.size()), content, length);
  result.error = GetLastError();
  if (result.accepted) result.content.assign(reinterpret_cast<const char*>(content.get()), length);
  return result;
}

Verification VerifyCase(const std::string& caseName) {
  PackageVerifier verifier(IssuerCertificate, IssuerCertificateLength);
  std::string package = ReadCorpusPackage(caseName);
  return Verify(verifier, package);
}

}  // namespace

class AcceptedPackage : public testing::TestWithParam<const char*> {};

TEST_P(AcceptedPackage, YieldsTheSignedContentByteForByte) {
  std::string expected = ReadCorpusContent(GetParam());
  ASSERT_FALSE(expected.empty());
  Verification result = VerifyCase(GetParam());
  EXPECT_TRUE(result.accepted) << "error " << result.error;
  EXPECT_TRUE(result.content == expected);
}

INSTANTIATE_TEST_SUITE_P(
    PackageVerifier, AcceptedPackage,
    testing::Values("valid-sha256-intermediate", "valid-sha1-intermediate",
                    "valid-sha512-intermediate", "valid-sha256-direct", "valid-sha1-direct",
                    "valid-root-copy", "valid-no-attributes", "valid-nul-content",
                    "valid-plugin-standin", "valid-chain-30", "clock-within-a-day"),
    CorpusParamName);

struct RefusedCase {
  const char* name;
  // The last-error value the refusal must leave: the message's own faults
  // are reported by the platform's decoder and signature check.
  HRESULT error;
};

void PrintTo(const RefusedCase& refused, std::ostream* out) { *out << refused.name; }

class RefusedPackage : public testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedPackage, IsRefusedWithItsCause) {
  Verification result = VerifyCase(GetParam().name);
  EXPECT_FALSE(result.accepted);
  EXPECT_EQ(static_cast<DWORD>(GetParam().error), result.error);
}

INSTANTIATE_TEST_SUITE_P(
    PackageVerifier, RefusedPackage,
    testing::Values(RefusedCase{"content-flipped", CRYPT_E_HASH_VALUE},
                    RefusedCase{"content-flipped-no-attributes", NTE_BAD_SIGNATURE},
                    RefusedCase{"signature-flipped", NTE_BAD_SIGNATURE},
                    RefusedCase{"truncated", CRYPT_E_ASN1_EOD},
                    RefusedCase{"empty", CRYPT_E_ASN1_EOD},
                    RefusedCase{"html-page", CRYPT_E_ASN1_BADTAG},
                    RefusedCase{"no-certificates", CRYPT_E_NOT_FOUND},
                    RefusedCase{"unrelated-ca", TRUST_E_CERT_SIGNATURE},
                    RefusedCase{"unrelated-ca-signer-only", TRUST_E_CERT_SIGNATURE},
                    RefusedCase{"expired-signer", CERT_E_EXPIRED},
                    RefusedCase{"expired-direct-signer", CERT_E_EXPIRED},
                    RefusedCase{"expired-intermediate", CERT_E_EXPIRED},
                    // The machine's clock outside the signer's validity: a
                    // day or a year behind its start, or ahead of its end.
                    RefusedCase{"clock-a-day-behind", CERT_E_EXPIRED},
                    RefusedCase{"clock-a-year-behind", CERT_E_EXPIRED},
                    RefusedCase{"clock-a-day-ahead", CERT_E_EXPIRED},
                    RefusedCase{"clock-a-year-ahead", CERT_E_EXPIRED},
                    RefusedCase{"leaf-as-issuer", TRUST_E_BASIC_CONSTRAINTS},
                    RefusedCase{"self-issued-top", TRUST_E_CERT_SIGNATURE},
                    RefusedCase{"chain-31", CERT_E_CHAINING},
                    RefusedCase{"chain-33", CERT_E_CHAINING}),
    [](const testing::TestParamInfo<RefusedCase>& info) {
      return CorpusTestName(info.param.name);
    });

TEST(PackageVerifier, EmptyPackageWithoutBufferIsRefused) {
  PackageVerifier verifier(IssuerCertificate, IssuerCertificateLength);
  std::unique_ptr<uint8_t[]> content;
  uint32_t length = 0;
  EXPECT_FALSE(verifier.VerifyAndExtract(nullptr, 0, content, length));
}

TEST(PackageVerifier, ChecksEachPackageOnItsOwnOnOneVerifier) {
  PackageVerifier verifier(IssuerCertificate, IssuerCertificateLength);
  std::string good = ReadCorpusPackage("valid-sha256-intermediate");
  EXPECT_TRUE(Verify(verifier, good).accepted);
  EXPECT_FALSE(Verify(verifier, ReadCorpusPackage("leaf-as-issuer")).accepted);
  EXPECT_FALSE(Verify(verifier, ReadCorpusPackage("content-flipped")).accepted);
  EXPECT_TRUE(Verify(verifier, good).accepted);
}

TEST(PackageVerifier, TheIssuerGivenDecides) {
  // A verifier over the unrelated authority (same name as the issuer, other
  // key) accepts that authority's package and refuses the issuer's.
  std::string unrelatedRoot = ReadFileBytes(CorpusFile("unrelated-root.der"));
  ASSERT_FALSE(unrelatedRoot.empty());
  PackageVerifier verifier(reinterpret_cast<const uint8_t*>(unrelatedRoot.data()),
                           static_cast<uint32_t>(unrelatedRoot.size()));
  EXPECT_TRUE(Verify(verifier, ReadCorpusPackage("unrelated-ca")).accepted);
  EXPECT_FALSE(Verify(verifier, ReadCorpusPackage("valid-sha256-direct")).accepted);
}
