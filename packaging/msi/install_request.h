#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What an administrator asks of the deployment package through its public
// properties, and the checks it must pass before the package changes
// anything. Portable: the custom actions read the properties, this decides.

// One value of UPDATEMODE: the program's switch that writes it, and whether
// silent updating is on afterwards (what -isSAUEnabled then reports).
struct UpdateModeRule {
  const wchar_t* name;
  const wchar_t* switchText;
  bool silent;
};

// The rule for silent, notify or disable in any letter case; null for any
// other text, the empty one included.
const UpdateModeRule* FindUpdateMode(const std::wstring& mode);

// Whether text is a host name alone, as SilentAutoUpdateServerDomain must be:
// labels of ASCII letters, digits and hyphens, 1 to 63 long and neither
// beginning nor ending with a hyphen, joined by single dots, at most 253
// characters in all. An IPv4 address is such a name; a scheme, user, port,
// path, blank or trailing dot is not.
bool IsHostName(const std::wstring& text);

struct PackageProperties {
  std::wstring updateMode;        // UPDATEMODE
  std::wstring serverDomain;      // SERVERDOMAIN
  std::wstring verboseLogging;    // VERBOSELOGGING
  std::wstring removeData;        // REMOVEDATA
  bool newerVersionInstalled = false;  // WIX_DOWNGRADE_DETECTED is set
};

// One line for each reason to refuse the request, in the order above; empty
// when it may go on. An empty property asks for nothing and passes.
std::vector<std::wstring> RefusalsOf(const PackageProperties& properties);

// The service's update state as an upgrade or a repair found it: the older
// version's removal may delete it with the task, and registering the task
// again resets it. A value that was missing stays as registering the task leaves it.
struct KeptUpdateState {
  bool hasLastUpdateCheck = false;
  uint64_t lastUpdateCheck = 0;
  bool hasUpdateAttempts = false;
  uint32_t updateAttempts = 0;
};

// "LastUpdateCheck,UpdateAttempts" in decimal, a missing value as nothing:
// "130000000000000000,3", ",2", "," ...
std::wstring FormatKeptUpdateState(const KeptUpdateState& state);

// The reverse of FormatKeptUpdateState; the empty text is no state at all.
// False for anything else.
bool ParseKeptUpdateState(const std::wstring& text, KeptUpdateState& state);

// What the last step of an installation applies. Its CustomActionData holds
// "program|UPDATEMODE|SERVERDOMAIN|VERBOSELOGGING|createTask|keptState", the
// empty text standing for a property that was not given.
struct ServiceConfiguration {
  std::wstring program;
  std::wstring updateMode;
  std::wstring serverDomain;
  std::wstring verboseLogging;
  bool createTask = false;
  KeptUpdateState keptState;
};

// False when the data does not hold exactly those six fields, the program is
// missing, a property would be refused, createTask is other than "1" or
// empty, or the kept state is malformed.
bool ParseServiceConfiguration(const std::wstring& data, ServiceConfiguration& configuration);
