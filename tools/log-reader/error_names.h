#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The symbolic name of a Windows error number or HRESULT that the service can
// meet (file and registry errors, service-control errors, WinHTTP 12xxx,
// COM, task scheduler and CryptoAPI HRESULTs), or the empty string. An
// HRESULT made from a known Win32 error reads HRESULT_FROM_WIN32(name).
std::string ErrorNameOf(uint32_t value);

// The value as the log writes it, its hexadecimal form and, when known, its
// name: "12029 = 0x00002EFD ERROR_WINHTTP_CANNOT_CONNECT",
// "-2147024891 = 0x80070005 E_ACCESSDENIED".
std::string DescribeErrorNumber(int32_t value);

// SERVICE_CONTROL_STOP and its kin, or null.
const char* ServiceControlName(uint32_t control);

// The names the reader knows, for checking them against the platform's headers.
struct NamedValue {
  uint32_t value;
  const char* name;
};
struct NamedValueTable {
  const NamedValue* begin;
  std::size_t count;
};
NamedValueTable KnownErrorNames();
