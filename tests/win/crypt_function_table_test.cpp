#include "verify/crypt_function_table.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/package_corpus.h"
#include "support/platform_doubles.h"
#include "support/test_files.h"
#include "verify/issuer_certificate.h"
#include "verify/package_verifier.h"

namespace {

// Records every load the verifier asks for, and can refuse them.
std::vector<std::wstring> loads;
bool refuseLoads = false;

HMODULE WINAPI RecordingLoader(LPCWSTR path) {
  loads.push_back(path);
  if (refuseLoads) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return LoadLibraryW(path);
}

class LibraryLoads : public testing::Test {
 protected:
  void SetUp() override {
    loads.clear();
    refuseLoads = false;
  }
  PlatformAccess platform_ = PlatformWith(&PlatformAccess::loadLibrary, RecordingLoader);
};

bool VerifyPackage(PackageVerifier& verifier, const std::string& package) {
  std::unique_ptr<uint8_t[]> content;
  uint32_t length = 0;
  return verifier.VerifyAndExtract(reinterpret_cast<const uint8_t*>(package.data()),
                                   static_cast<uint32_t>(package.size()), content, length);
}

std::wstring SystemCrypt32() { return SystemFolder() + L"\\crypt32.dll"; }

}  // namespace

TEST_F(LibraryLoads, BareNameIsLoadedFromTheSystemFolder) {
  CryptFunctionTable table;
  EXPECT_TRUE(LoadSystemLibrary(L"crypt32.dll", table, platform_));
  EXPECT_TRUE(table.module.valid());
  EXPECT_EQ(std::vector<std::wstring>{SystemCrypt32()}, loads);
}

TEST_F(LibraryLoads, NameWithABackslashIsLoadedAsGiven) {
  CryptFunctionTable table;
  std::wstring path = SystemFolder() + L"\\..\\system32\\crypt32.dll";
  EXPECT_TRUE(LoadSystemLibrary(path.c_str(), table, platform_));
  EXPECT_EQ(std::vector<std::wstring>{path}, loads);
}

TEST_F(LibraryLoads, MissingLibraryLeavesTheTableWithoutModule) {
  CryptFunctionTable table;
  EXPECT_TRUE(LoadSystemLibrary(L"crypt32.dll", table, platform_));
  EXPECT_FALSE(LoadSystemLibrary(L"plumix-no-such-library.dll", table, platform_));
  EXPECT_FALSE(table.module.valid());
  EXPECT_EQ(SystemFolder() + L"\\plumix-no-such-library.dll", loads.back());
}

TEST_F(LibraryLoads, BindingLooksUpEveryFunctionInTheLoadedLibrary) {
  CryptFunctionTable table;
  ASSERT_TRUE(BindCryptFunctions(table, platform_));
  HMODULE module = table.module.get();
  auto address = [module](const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(module, name));
  };
  EXPECT_EQ(address("CryptVerifyMessageSignature"), reinterpret_cast<void*>(table.verifyMessageSignature));
  EXPECT_EQ(address("CryptGetMessageCertificates"), reinterpret_cast<void*>(table.getMessageCertificates));
  EXPECT_EQ(address("CertCreateCertificateContext"), reinterpret_cast<void*>(table.createCertificateContext));
  EXPECT_EQ(address("CertFindCertificateInStore"), reinterpret_cast<void*>(table.findCertificateInStore));
  EXPECT_EQ(address("CertVerifySubjectCertificateContext"),
            reinterpret_cast<void*>(table.verifySubjectCertificateContext));
  EXPECT_EQ(address("CertFreeCertificateContext"), reinterpret_cast<void*>(table.freeCertificateContext));
  EXPECT_EQ(address("CertCloseStore"), reinterpret_cast<void*>(table.closeStore));
  EXPECT_EQ(address("CertFindExtension"), reinterpret_cast<void*>(table.findExtension));
  EXPECT_EQ(address("CryptDecodeObject"), reinterpret_cast<void*>(table.decodeObject));
  EXPECT_EQ(address("CryptMsgOpenToDecode"), reinterpret_cast<void*>(table.openMessageToDecode));
  EXPECT_EQ(address("CryptMsgUpdate"), reinterpret_cast<void*>(table.updateMessage));
  EXPECT_EQ(address("CryptMsgGetParam"), reinterpret_cast<void*>(table.getMessageParameter));
  EXPECT_EQ(address("CryptMsgClose"), reinterpret_cast<void*>(table.closeMessage));
  EXPECT_EQ(std::vector<std::wstring>{SystemCrypt32()}, loads);
}

TEST_F(LibraryLoads, VerifierBindsOnlyOnItsFirstVerification) {
  PackageVerifier verifier(IssuerCertificate, IssuerCertificateLength, platform_);
  EXPECT_EQ(nullptr, verifier.functions());
  EXPECT_TRUE(loads.empty());
  std::string package = ReadCorpusPackage("valid-sha256-intermediate");

  EXPECT_TRUE(VerifyPackage(verifier, package));
  const CryptFunctionTable* table = verifier.functions();
  ASSERT_NE(nullptr, table);
  HMODULE module = table->module.get();
  EXPECT_EQ(std::vector<std::wstring>{SystemCrypt32()}, loads);

  EXPECT_TRUE(VerifyPackage(verifier, package));
  EXPECT_FALSE(VerifyPackage(verifier, ReadCorpusPackage("truncated")));
  EXPECT_EQ(1u, loads.size());
  EXPECT_EQ(table, verifier.functions());
  EXPECT_EQ(module, verifier.functions()->module.get());
}

TEST_F(LibraryLoads, FailedLoadIsTriedAgainOnTheNextVerification) {
  PackageVerifier verifier(IssuerCertificate, IssuerCertificateLength, platform_);
  std::string package = ReadCorpusPackage("valid-sha256-intermediate");
  refuseLoads = true;
  SetLastError(0);
  EXPECT_FALSE(VerifyPackage(verifier, package));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
  EXPECT_EQ(nullptr, verifier.functions());
  EXPECT_EQ(1u, loads.size());

  refuseLoads = false;
  EXPECT_TRUE(VerifyPackage(verifier, package));
  EXPECT_NE(nullptr, verifier.functions());
  EXPECT_EQ(2u, loads.size());
}
