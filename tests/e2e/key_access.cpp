// Sets who may write a registry key under HKEY_LOCAL_MACHINE, for the
// end-to-end tests of a service whose state cannot be written.
//   key-access.exe refuse-writes|allow-writes SUBKEY
// refuse-writes: nobody may set values or create subkeys (reading, deleting
// and changing the permissions stay allowed); allow-writes: everybody may do
// everything. The key is created when missing. Exit code 0 on success, 1 on
// failure (with the Windows error), 2 on usage.
#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <cwchar>
#include <memory>

#include "common/unique_handle.h"

namespace {

struct LocalFreeDeleter {
  void operator()(void* block) const { LocalFree(block); }
};

// Deny entries come first: Windows reads a DACL in order.
const wchar_t kRefuseWrites[] = L"D:(D;;0x6;;;WD)(A;;KA;;;WD)";  // 0x6: set value, create subkey
const wchar_t kAllowWrites[] = L"D:(A;;KA;;;WD)";

int Fail(const char* what, DWORD error) {
  std::fprintf(stderr, "key-access: %s failed with error %lu\n", what, error);
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3 || (std::wcscmp(argv[1], L"refuse-writes") != 0 &&
                    std::wcscmp(argv[1], L"allow-writes") != 0)) {
    std::fprintf(stderr, "usage: key-access.exe refuse-writes|allow-writes SUBKEY\n");
    return 2;
  }
  const wchar_t* sddl = std::wcscmp(argv[1], L"refuse-writes") == 0 ? kRefuseWrites : kAllowWrites;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    return Fail("ConvertStringSecurityDescriptorToSecurityDescriptorW", GetLastError());
  }
  std::unique_ptr<void, LocalFreeDeleter> owned(descriptor);
  UniqueRegKey key;
  LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, argv[2], 0, nullptr, 0, WRITE_DAC, nullptr,
                                   key.receive(), nullptr);
  if (status != ERROR_SUCCESS) return Fail("RegCreateKeyExW", static_cast<DWORD>(status));
  status = RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor);
  if (status != ERROR_SUCCESS) return Fail("RegSetKeySecurity", static_cast<DWORD>(status));
  return 0;
}
