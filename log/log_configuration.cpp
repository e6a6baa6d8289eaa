#include "log/log_configuration.h"

#include <algorithm>

#include "kvwin/wide_string.h"
#include "win/errors.h"

LogLimits ReadLogLimits(const kvwin::RegistryKey& key) {
    LogLimits limits;
    limits.severityMask = key.Dword(TEXT("Severity")).value_or(kDefaultSeverityMask) & 0xFF;
    limits.maxSizeKb =
        std::max(key.Dword(TEXT("MaxSize")).value_or(kDefaultMaxSizeKb), kMinimumMaxSizeKb);
    limits.maxFiles =
        std::max(key.Dword(TEXT("MaxFiles")).value_or(kDefaultMaxFiles), kMinimumMaxFiles);
    return limits;
}

WString ReadLogFileHeader() {
    const kvwin::RegistryKey key(HKEY_LOCAL_MACHINE, kLogHeaderKey);
    return key.Text(TEXT("LogFileHeader"), 4160).value_or(TEXT(""));
}
