#pragma once

// The process entry of both roles: no argument runs the service (or asks the
// Service Control Manager to start it); one switch as the first argument
// performs that switch. Returns the exit code: 0, or 1001 from
// "-isSAUEnabled" when silent updating is on.
int RunProcessEntry(int argumentCount, wchar_t** arguments);
