#pragma once

#include <string>

extern const wchar_t kServiceName[];         // "QuorvelPlumixPlayerUpdateSvc"
extern const wchar_t kServiceDisplayName[];  // "Quorvel Plumix Player Update Service"

// Made by the process entry in both roles.
struct ServiceDescriptor {
  std::wstring modulePath;
  std::wstring serviceName;
  std::wstring displayName;
};
