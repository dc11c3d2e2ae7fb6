#pragma once

#include "service/service_descriptor.h"

// Asks the Service Control Manager to start the installed service and does
// not wait for it. True when the start was accepted (event 1604); each
// failure logs one event with the error number (1221, 1222, 1223).
bool RequestServiceStart(const ServiceDescriptor& descriptor);
