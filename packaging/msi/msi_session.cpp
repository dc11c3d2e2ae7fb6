#include "msi_session.h"

#include <vector>

std::wstring MsiSession::Property(const wchar_t* name) const {
  DWORD length = 0;
  wchar_t none[1] = {};
  // The first call only measures (ERROR_MORE_DATA); the length excludes the
  // terminator.
  if (MsiGetPropertyW(install_, name, none, &length) != ERROR_MORE_DATA) return std::wstring();
  std::vector<wchar_t> value(length + 1);
  length = static_cast<DWORD>(value.size());
  if (MsiGetPropertyW(install_, name, value.data(), &length) != ERROR_SUCCESS) {
    return std::wstring();
  }
  return std::wstring(value.data(), length);
}

UINT MsiSession::SetProperty(const wchar_t* name, const std::wstring& value) const {
  return MsiSetPropertyW(install_, name, value.c_str());
}

void MsiSession::Note(const std::wstring& text) const { Message(INSTALLMESSAGE_INFO, text); }

void MsiSession::Error(const std::wstring& text) const { Message(INSTALLMESSAGE_ERROR, text); }

void MsiSession::Message(INSTALLMESSAGE kind, const std::wstring& text) const {
  UniqueMsiHandle record(MsiCreateRecord(1));
  if (!record.valid()) return;
  // The text goes in as field 1 of the template "[1]", so brackets in it (a
  // property value given on the command line) are not read as references.
  MsiRecordSetStringW(record.get(), 0, L"[1]");
  MsiRecordSetStringW(record.get(), 1, text.c_str());
  MsiProcessMessage(install_, kind, record.get());
}
