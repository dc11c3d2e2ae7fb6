#pragma once

#include <cstdint>
#include <optional>

#include "settings/auto_update_policy.h"

// Install attempts after which the cycle stops installing and switches the
// administrator setting to notify mode.
constexpr uint32_t MaxUpdateAttempts = 7;

// One update cycle with the context's policy and platform: policy gate, due
// test, manifest, attempt limit, at most one install (ActiveX first), and the
// task refresh when nothing was launched.
void RunUpdateCycle(const ServiceContext& context);

// Re-registers the scheduled task with the check frequency (1 when the cycle
// fetched none) and the service's own program path; without a program path
// it registers nothing and logs 1302 with the context's modulePathError.
bool RefreshUpdateTask(std::optional<uint32_t> checkFrequency, const ServiceContext& context);
