#pragma once

#include <windows.h>
#include <wincrypt.h>

#include "common/platform_access.h"
#include "common/unique_handle.h"

// Both encodings in every crypt32 call: certificates are X.509, messages
// PKCS #7.
constexpr DWORD kMessageEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// crypt32.dll loaded from the system folder and the functions the package
// verifier calls, looked up at run time: the program imports nothing from
// crypt32 and loads it only when a package is verified. The first seven
// fields are the signature check and the chain walk; the rest serve the
// certificate-authority check of issuers and the content-digest check.
struct CryptFunctionTable {
  UniqueModule module;
  decltype(&::CryptVerifyMessageSignature) verifyMessageSignature = nullptr;
  decltype(&::CryptGetMessageCertificates) getMessageCertificates = nullptr;
  decltype(&::CertCreateCertificateContext) createCertificateContext = nullptr;
  decltype(&::CertFindCertificateInStore) findCertificateInStore = nullptr;
  decltype(&::CertVerifySubjectCertificateContext) verifySubjectCertificateContext = nullptr;
  decltype(&::CertFreeCertificateContext) freeCertificateContext = nullptr;
  decltype(&::CertCloseStore) closeStore = nullptr;
  decltype(&::CertFindExtension) findExtension = nullptr;
  decltype(&::CryptDecodeObject) decodeObject = nullptr;
  decltype(&::CryptMsgOpenToDecode) openMessageToDecode = nullptr;
  decltype(&::CryptMsgUpdate) updateMessage = nullptr;
  decltype(&::CryptMsgGetParam) getMessageParameter = nullptr;
  decltype(&::CryptMsgClose) closeMessage = nullptr;
};

// Loads crypt32.dll into the table and looks up every function, the six of
// the signature check first in their fixed order. False at the first that
// is missing, or when the library cannot be loaded (nothing is looked up).
bool BindCryptFunctions(CryptFunctionTable& table,
                        const PlatformAccess& platform = kSystemPlatform);

// Frees the table's module, if any, then loads the library into it with the
// platform's loadLibrary. A name without a backslash is taken from the
// system folder by full path, never through the platform's search order; a
// name with one is loaded as given. False when the system folder is unknown
// (nothing is loaded) or the load fails.
bool LoadSystemLibrary(const wchar_t* name, CryptFunctionTable& table,
                       const PlatformAccess& platform = kSystemPlatform);
