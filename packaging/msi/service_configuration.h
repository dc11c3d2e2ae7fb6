#pragma once

#include <windows.h>

#include "msi_session.h"

// The last step of an installation, an upgrade, a repair or a change of
// settings, from the CustomActionData of ConfigureService: SERVERDOMAIN and
// VERBOSELOGGING into ksm.cfg, UPDATEMODE through the program's switch, the
// task, and the update state an upgrade or repair kept. On failure it puts
// ksm.cfg back as it found it, so that the installation it belongs to is
// undone in whole. ERROR_SUCCESS or ERROR_INSTALL_FAILURE.
UINT ApplyServiceConfiguration(const MsiSession& session);
