// The agent log's configuration in the registry, read with the acceptance rules every agent
// process applies: a value of the wrong type or size counts as absent.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "kvwin/registry_key.h"
#include "kvwin/wide_string.h"
#include "win/registry.h"

// Sub-keys of HKEY_LOCAL_MACHINE.
inline constexpr const WCHAR* kLogConfigurationKey =
    TEXT("Software\\Quillon\\Quillon Agent\\Event Logging\\logfile");
inline constexpr const WCHAR* kLogHeaderKey =
    TEXT("Software\\Quillon\\Quillon Agent\\Dynamic Data");

inline constexpr uint32_t kDefaultSeverityMask = 7;
inline constexpr uint32_t kDefaultMaxSizeKb = 100;
inline constexpr uint32_t kMinimumMaxSizeKb = 10;
inline constexpr uint32_t kDefaultMaxFiles = 20;
inline constexpr uint32_t kMinimumMaxFiles = 2;

// The three values that follow the registry while a process runs.
struct LogLimits {
    uint32_t severityMask = kDefaultSeverityMask;
    uint32_t maxSizeKb = kDefaultMaxSizeKb;
    uint32_t maxFiles = kDefaultMaxFiles;
};

// Reads "Severity" (low 8 bits), "MaxSize" (at least 10) and "MaxFiles" (at least 2); absent
// values give the defaults.
LogLimits ReadLogLimits(const kvwin::RegistryKey& key);

// The header text ("LogFileHeader"), empty when there is none.
WString ReadLogFileHeader();
