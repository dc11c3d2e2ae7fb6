#include "verify/crypt_function_table.h"

#include <shlobj.h>

#include <cwchar>
#include <string>

#include "common/proc_address.h"

namespace {

template <typename Function>
bool LookUp(HMODULE module, const char* name, Function& field) {
  field = LookUpFunction<Function>(module, name);
  return field != nullptr;
}

}  // namespace

bool BindCryptFunctions(CryptFunctionTable& table, const PlatformAccess& platform) {
  if (!LoadSystemLibrary(L"crypt32.dll", table, platform)) return false;
  HMODULE module = table.module.get();
  return LookUp(module, "CryptVerifyMessageSignature", table.verifyMessageSignature) &&
         LookUp(module, "CryptGetMessageCertificates", table.getMessageCertificates) &&
         LookUp(module, "CertCreateCertificateContext", table.createCertificateContext) &&
         LookUp(module, "CertFindCertificateInStore", table.findCertificateInStore) &&
         LookUp(module, "CertVerifySubjectCertificateContext",
                table.verifySubjectCertificateContext) &&
         LookUp(module, "CertFreeCertificateContext", table.freeCertificateContext) &&
         LookUp(module, "CertCloseStore", table.closeStore) &&
         LookUp(module, "CertFindExtension", table.findExtension) &&
         LookUp(module, "CryptDecodeObject", table.decodeObject) &&
         LookUp(module, "CryptMsgOpenToDecode", table.openMessageToDecode) &&
         LookUp(module, "CryptMsgUpdate", table.updateMessage) &&
         LookUp(module, "CryptMsgGetParam", table.getMessageParameter) &&
         LookUp(module, "CryptMsgClose", table.closeMessage);
}

bool LoadSystemLibrary(const wchar_t* name, CryptFunctionTable& table,
                       const PlatformAccess& platform) {
  table.module.reset();
  std::wstring path = name;
  if (std::wcschr(name, L'\\') == nullptr) {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_SYSTEM, nullptr, SHGFP_TYPE_CURRENT, folder))) {
      return false;
    }
    path = folder;
    if (path.empty() || path.back() != L'\\') path += L'\\';
    path += name;
  }
  table.module.reset(platform.loadLibrary(path.c_str()));
  return table.module.valid();
}
