#pragma once

#include <string>

#include "net/version_record.h"
#include "settings/auto_update_policy.h"

// Downloads and verifies the variant's installer and starts it with
// "PlumixPlayerInstaller.exe -install -iv 9" without waiting. True when the
// installer process was created.
bool InstallUpdate(const VersionRecord& record, const ServiceContext& context);

// Starts the installer file just written with the given command line. The
// new process's handles are closed on every way out, running out of memory
// while logging included.
bool LaunchInstaller(std::wstring commandLine);
