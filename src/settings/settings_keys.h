#pragma once

// The keys of ksm.cfg that govern the service (exact, case-sensitive). The
// service reads them and its switches write the first two; the deployment
// package writes the last two as the store does.
constexpr char kSilentAutoUpdateEnable[] = "SilentAutoUpdateEnable";
constexpr char kAutoUpdateDisable[] = "AutoUpdateDisable";
constexpr char kVerboseLogging[] = "SilentAutoUpdateVerboseLogging";
constexpr char kServerDomain[] = "SilentAutoUpdateServerDomain";
