#include "classes/os_facts.h"

#include <ctime>

#include "linux/host_info.h"
#include "linux/time_zone_info.h"

namespace kvwmi {

std::string ComputerName() {
    return kvlinux::ReadHostInfo().host_name;
}

std::int32_t CurrentZoneOffsetMinutes() {
    return kvlinux::MachineZone()->At(std::time(nullptr)).offset / 60;
}

}  // namespace kvwmi
