// The agent log's configuration in the registry, read with the acceptance rules every agent
// process applies: a value of the wrong type or size counts as absent.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

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

// An open registry key, closed by the destructor. Not shared between threads.
class RegistryKey {
  public:
    RegistryKey() = default;
    RegistryKey(HKEY root, const WCHAR* subKey);  // opened with KEY_READ
    ~RegistryKey();
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    bool IsOpen() const { return m_key != nullptr; }
    void Close();

    // A 4-byte REG_DWORD value.
    std::optional<uint32_t> Dword(const WCHAR* name) const;
    // A REG_SZ or REG_EXPAND_SZ value of at most maxBytes whose size is even, at least 2 and
    // whose last character is the terminator (the text may be empty). Not expanded.
    std::optional<WString> Text(const WCHAR* name, DWORD maxBytes) const;

  private:
    HKEY m_key = nullptr;
};

// The three values that follow the registry while a process runs.
struct LogLimits {
    uint32_t severityMask = kDefaultSeverityMask;
    uint32_t maxSizeKb = kDefaultMaxSizeKb;
    uint32_t maxFiles = kDefaultMaxFiles;
};

// Reads "Severity" (low 8 bits), "MaxSize" (at least 10) and "MaxFiles" (at least 2); absent
// values give the defaults.
LogLimits ReadLogLimits(const RegistryKey& key);

// The header text ("LogFileHeader"), empty when there is none.
WString ReadLogFileHeader();
