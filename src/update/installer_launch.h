#pragma once

#include <string>

#include "net/version_record.h"

// Downloads and verifies the variant's installer and starts it with
// "PlumixPlayerInstaller.exe -install -iv 9" without waiting. True when the
// installer process was created.
bool InstallUpdate(const VersionRecord& record);

// Starts the installer file just written with the given command line.
bool LaunchInstaller(std::wstring commandLine);
