// The Windows release the layer presents, as the kernel reports it on Windows.
//
// The level is compiled in: a current Windows 10 workstation (10.0.19045, no service pack).
// GetVersionExW, RtlGetVersion and the version values of a new machine hive all answer from
// here, so a version check costs no file or registry access. The layer's configuration may
// present another release, for a test or a compatibility run:
//
//   KAVREL_WINDOWS_VERSION       "major.minor" or "major.minor.build", e.g. "6.1.7601"
//   KAVREL_WINDOWS_PRODUCT_TYPE  "WinNT", "ServerNT" or "LanmanNT" (any case)
//   KAVREL_WINDOWS_SERVICE_PACK  the service pack text, e.g. "Service Pack 1"
//
// A variable that is unset, empty or does not read as described leaves its facts at the
// compiled-in level (a version without a build keeps the compiled-in build). The variables
// are read on every call, so a change shows at the next call. Safe from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "win/types.h"

namespace kvwin {

struct WindowsLevel {
    uint32_t major = 10;
    uint32_t minor = 0;
    uint32_t build = 19045;
    uint8_t product_type = 1;         // VER_NT_WORKSTATION; 2 domain controller, 3 server
    std::u16string service_pack;      // the CSD text, empty without one
    uint16_t service_pack_major = 0;  // N of "Service Pack N"
};

// The level as configured now.
KVWIN_API WindowsLevel CurrentWindowsLevel();

// The level the three configuration texts give (null or empty: not set).
KVWIN_API WindowsLevel ParseWindowsLevel(const char* version, const char* product_type,
                                         const char* service_pack);

// The ProductType registry text of a product type: "WinNT", "LanmanNT" or "ServerNT".
KVWIN_API const char16_t* ProductTypeText(uint8_t product_type);

}  // namespace kvwin
