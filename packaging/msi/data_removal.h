#pragma once

#include "msi_session.h"

// REMOVEDATA=1 at removal: every file of the data folder (ksm.cfg, the
// install log and what the service left beside them), the folder and its
// parent when empty, and the update state's registry key. What cannot go is
// noted in the installation log; the removal goes on.
void RemoveServiceData(const MsiSession& session);
