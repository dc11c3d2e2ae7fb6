#pragma once

#include <windows.h>

// The test's own access to the real Task Scheduler 2.0 root folder, to look
// at and clean up after the code under test. Each call enters and leaves COM
// by itself, and none sets process security, so the code under test remains
// the first to do so.

// GetTask's answer for the name.
HRESULT FindTaskV2(const wchar_t* name);
// Registers a task of one daily trigger from its XML.
HRESULT RegisterDailyTaskV2(const wchar_t* name, const wchar_t* program);
HRESULT DeleteTaskV2(const wchar_t* name);
