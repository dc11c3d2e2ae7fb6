#pragma once

#include <cstddef>

// How many kernel handles the process has open: every handle value the
// handle table answers for, counted one by one, because Wine's
// GetProcessHandleCount always reports 0. For before-and-after comparisons.
size_t OpenHandleCount();
