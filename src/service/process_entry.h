#pragma once

#include "common/platform_access.h"

// The process entry of both roles: no argument runs the service over the
// platform (or asks the Service Control Manager to start it); one switch as
// the first argument performs that switch. Returns the exit code: 0, or 1001
// from "-isSAUEnabled" when silent updating is on. A program path that does
// not resolve within 260 units is left empty, and neither "-createDefaultTask"
// nor the cycle's task refresh then registers a task (event 1302 with the
// error number).
int RunProcessEntry(int argumentCount, wchar_t** arguments, const PlatformAccess& platform);
