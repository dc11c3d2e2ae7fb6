#include "install_request.h"

#include <cstddef>
#include <limits>

namespace {

const UpdateModeRule kUpdateModes[] = {
    {L"silent", L"-setSilentAutoUpdate", true},
    {L"notify", L"-setNotifyAutoUpdate", false},
    {L"disable", L"-setDisableAutoUpdate", false},
};

const std::size_t kMaxHostNameLength = 253;
const std::size_t kMaxLabelLength = 63;

wchar_t LowerAscii(wchar_t c) {
  return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool EqualIgnoringAsciiCase(const std::wstring& text, const wchar_t* name) {
  std::size_t i = 0;
  for (; i < text.size() && name[i] != L'\0'; ++i) {
    if (LowerAscii(text[i]) != name[i]) return false;
  }
  return i == text.size() && name[i] == L'\0';
}

bool IsLetterOrDigit(wchar_t c) {
  return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9');
}

bool IsLabel(const std::wstring& text, std::size_t begin, std::size_t end) {
  if (end == begin || end - begin > kMaxLabelLength) return false;
  if (text[begin] == L'-' || text[end - 1] == L'-') return false;
  for (std::size_t i = begin; i < end; ++i) {
    if (!IsLetterOrDigit(text[i]) && text[i] != L'-') return false;
  }
  return true;
}

bool IsFlag(const std::wstring& text) { return text.empty() || text == L"0" || text == L"1"; }

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// Splits at every separator; the program path cannot hold a '|', and no
// accepted property value does.
std::vector<std::wstring> Fields(const std::wstring& data, wchar_t separator) {
  std::vector<std::wstring> fields(1);
  for (wchar_t c : data) {
    if (c == separator) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

// An optional decimal number up to limit: empty is missing, anything but
// digits is refused.
bool ParseOptionalNumber(const std::wstring& text, uint64_t limit, bool& present,
                         uint64_t& number) {
  present = !text.empty();
  number = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    uint64_t digit = static_cast<uint64_t>(c - L'0');
    if (number > (limit - digit) / 10) return false;
    number = number * 10 + digit;
  }
  return true;
}

}  // namespace

const UpdateModeRule* FindUpdateMode(const std::wstring& mode) {
  for (const UpdateModeRule& rule : kUpdateModes) {
    if (EqualIgnoringAsciiCase(mode, rule.name)) return &rule;
  }
  return nullptr;
}

bool IsHostName(const std::wstring& text) {
  if (text.empty() || text.size() > kMaxHostNameLength) return false;
  std::size_t begin = 0;
  while (true) {
    std::size_t dot = text.find(L'.', begin);
    std::size_t end = dot == std::wstring::npos ? text.size() : dot;
    if (!IsLabel(text, begin, end)) return false;
    if (dot == std::wstring::npos) return true;
    begin = dot + 1;
  }
}

std::vector<std::wstring> RefusalsOf(const PackageProperties& properties) {
  std::vector<std::wstring> refusals;
  if (properties.newerVersionInstalled) {
    refusals.push_back(
        L"A newer version of Quorvel Plumix Player Update Service is installed; this older "
        L"package does not replace it. Remove the newer version first to go back.");
  }
  if (!properties.updateMode.empty() && FindUpdateMode(properties.updateMode) == nullptr) {
    refusals.push_back(L"UPDATEMODE must be silent, notify or disable, not " +
                       Quoted(properties.updateMode) + L".");
  }
  if (!properties.serverDomain.empty() && !IsHostName(properties.serverDomain)) {
    refusals.push_back(
        L"SERVERDOMAIN must be a host name or IPv4 address alone, without a scheme, port or "
        L"path, not " + Quoted(properties.serverDomain) + L".");
  }
  if (!IsFlag(properties.verboseLogging)) {
    refusals.push_back(L"VERBOSELOGGING must be 1 or 0, not " +
                       Quoted(properties.verboseLogging) + L".");
  }
  if (!IsFlag(properties.removeData)) {
    refusals.push_back(L"REMOVEDATA must be 1 or 0, not " + Quoted(properties.removeData) +
                       L".");
  }
  return refusals;
}

std::wstring FormatKeptUpdateState(const KeptUpdateState& state) {
  return (state.hasLastUpdateCheck ? std::to_wstring(state.lastUpdateCheck) : std::wstring()) +
         L"," + (state.hasUpdateAttempts ? std::to_wstring(state.updateAttempts) : std::wstring());
}

bool ParseKeptUpdateState(const std::wstring& text, KeptUpdateState& state) {
  state = KeptUpdateState();
  if (text.empty()) return true;
  std::vector<std::wstring> fields = Fields(text, L',');
  uint64_t attempts = 0;
  if (fields.size() != 2 ||
      !ParseOptionalNumber(fields[0], std::numeric_limits<uint64_t>::max(),
                           state.hasLastUpdateCheck, state.lastUpdateCheck) ||
      !ParseOptionalNumber(fields[1], std::numeric_limits<uint32_t>::max(),
                           state.hasUpdateAttempts, attempts)) {
    state = KeptUpdateState();
    return false;
  }
  state.updateAttempts = static_cast<uint32_t>(attempts);
  return true;
}

bool ParseServiceConfiguration(const std::wstring& data, ServiceConfiguration& configuration) {
  std::vector<std::wstring> fields = Fields(data, L'|');
  if (fields.size() != 6 || fields[0].empty()) return false;
  if (fields[4] != L"" && fields[4] != L"1") return false;
  KeptUpdateState keptState;
  if (!ParseKeptUpdateState(fields[5], keptState)) return false;
  PackageProperties properties;
  properties.updateMode = fields[1];
  properties.serverDomain = fields[2];
  properties.verboseLogging = fields[3];
  if (!RefusalsOf(properties).empty()) return false;
  configuration.program = fields[0];
  configuration.updateMode = fields[1];
  configuration.serverDomain = fields[2];
  configuration.verboseLogging = fields[3];
  configuration.createTask = fields[4] == L"1";
  configuration.keptState = keptState;
  return true;
}
