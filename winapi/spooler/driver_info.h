// Laying a driver's description out as DRIVER_INFO_1W, 2W, 3W, 4W or 6W: the structure at the
// start of the caller's buffer, its texts after it.
#pragma once

#include <optional>
#include <string>

#include "win/spooler.h"

namespace kvwin {

// What the spooler knows of one driver. An absent text is a null pointer in the layout.
struct DriverFacts {
    DWORD version = 3;  // user-mode printer drivers are version 3
    std::u16string name;
    std::u16string environment;
    std::u16string driverPath, dataFile, configFile;
    std::optional<std::u16string> helpFile, dependentFiles, monitorName;
    std::u16string defaultDataType;
    std::optional<std::u16string> previousNames;
    FILETIME date{};
    DWORDLONG driverVersion = 0;
    std::optional<std::u16string> manufacturer, oemUrl, hardwareId, provider;
};

bool IsDriverInfoLevel(DWORD level);

// The bytes the layout of `level` needs.
DWORD DriverInfoSize(const DriverFacts& facts, DWORD level);

// Writes the layout into buffer, which holds at least DriverInfoSize bytes.
void WriteDriverInfo(const DriverFacts& facts, DWORD level, BYTE* buffer);

}  // namespace kvwin
