#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "common/unique_handle.h"

// The stand-in installer (tools/standin-installer) as tests use it: where the
// build put it, the record it writes beside itself when it starts, and the
// event that holds it until the test lets it finish.

// The record of a stand-in started from path: "command-line", "process-id"
// and, when it registered a version, "registered". Waits a bounded time for
// the record to appear; empty when it never does.
std::map<std::string, std::string> WaitForStandinRecord(const std::wstring& path);
std::wstring StandinRecordPath(const std::wstring& path);

// Waits (bounded) for the process that wrote the record to end; true when
// it has ended.
bool WaitForStandinExit(const std::map<std::string, std::string>& record);

// While it exists, a started stand-in waits for it to be set before it ends.
class StandinHold {
 public:
  StandinHold();
  ~StandinHold();
  StandinHold(const StandinHold&) = delete;
  StandinHold& operator=(const StandinHold&) = delete;
  void Release();

 private:
  UniqueKernelHandle event_;
};

// Deletes the plug-in registrations a stand-in writes, now and when the test
// ends.
class ScopedPluginRegistrations {
 public:
  ScopedPluginRegistrations();
  ~ScopedPluginRegistrations();
  ScopedPluginRegistrations(const ScopedPluginRegistrations&) = delete;
  ScopedPluginRegistrations& operator=(const ScopedPluginRegistrations&) = delete;
};

// The registered Version of a variant key ("ActiveX", "Plugin"); empty when
// there is none.
std::wstring RegisteredPluginVersion(const std::wstring& variant);
