// Facts several classes share about the machine as a whole: its name and the local zone's
// present offset. Read fresh on every call (the zone is loaded again once its files have
// changed, looked at once a second); safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kvwmi {

// The computer's name as WMI shows it in CSName, SystemName and the like: the host name
// without its domain.
std::string ComputerName();

// The local zone's present offset from UTC in minutes (east positive), as CurrentTimeZone.
std::int32_t CurrentZoneOffsetMinutes();

}  // namespace kvwmi
