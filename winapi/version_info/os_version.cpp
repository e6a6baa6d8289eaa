// GetVersionExW and RtlGetVersion from the layer's Windows level, which needs no registry.
#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>

#include "kvwin/ascii_case.h"
#include "kvwin/environment_lock.h"
#include "kvwin/last_error.h"
#include "kvwin/utf.h"
#include "kvwin/windows_level.h"
#include "win/version_info.h"

namespace {

// "N" of a leading "Service Pack N", or 0.
uint16_t ServicePackNumber(std::string_view text) {
    constexpr std::string_view kPrefix = "Service Pack ";
    if (text.substr(0, kPrefix.size()) != kPrefix)
        return 0;
    text.remove_prefix(kPrefix.size());
    uint16_t number = 0;
    std::from_chars(text.data(), text.data() + text.size(), number);
    return number;
}

// "major.minor" or "major.minor.build", digits only.
bool ParseVersion(std::string_view text, kvwin::WindowsLevel& level) {
    uint32_t parts[3] = {0, 0, level.build};
    size_t count = 0;
    const char* at = text.data();
    const char* const end = text.data() + text.size();
    while (count < 3) {
        auto [next, error] = std::from_chars(at, end, parts[count]);
        if (error != std::errc() || next == at)
            return false;
        ++count;
        at = next;
        if (at == end)
            break;
        if (*at != '.')
            return false;
        ++at;
    }
    if (at != end || count < 2)
        return false;
    level.major = parts[0];
    level.minor = parts[1];
    level.build = parts[2];
    return true;
}

bool Fill(OSVERSIONINFOW* info) {
    const DWORD size = info->dwOSVersionInfoSize;
    if (size != sizeof(OSVERSIONINFOW) && size != sizeof(OSVERSIONINFOEXW))
        return false;
    const kvwin::WindowsLevel identity = kvwin::CurrentWindowsLevel();
    info->dwMajorVersion = identity.major;
    info->dwMinorVersion = identity.minor;
    info->dwBuildNumber = identity.build;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    const size_t length = std::min<size_t>(identity.service_pack.size(), 127);
    std::memcpy(info->szCSDVersion, identity.service_pack.data(), length * sizeof(WCHAR));
    if (size == sizeof(OSVERSIONINFOEXW)) {
        auto* extended = reinterpret_cast<OSVERSIONINFOEXW*>(info);
        extended->wServicePackMajor = identity.service_pack_major;
        extended->wServicePackMinor = 0;
        extended->wSuiteMask = VER_SUITE_SINGLEUSERTS;
        if (identity.product_type != VER_NT_WORKSTATION)
            extended->wSuiteMask |= VER_SUITE_TERMINAL;
        extended->wProductType = identity.product_type;
        extended->wReserved = 0;
    }
    return true;
}

}  // namespace

namespace kvwin {

WindowsLevel ParseWindowsLevel(const char* version, const char* product_type,
                               const char* service_pack) {
    WindowsLevel level;
    if (version && *version) {
        WindowsLevel parsed = level;
        if (ParseVersion(version, parsed))
            level = parsed;
    }
    if (product_type) {
        if (EqualsAsciiNoCase(std::string_view(product_type), "ServerNT"))
            level.product_type = VER_NT_SERVER;
        else if (EqualsAsciiNoCase(std::string_view(product_type), "LanmanNT"))
            level.product_type = VER_NT_DOMAIN_CONTROLLER;
    }
    if (service_pack && *service_pack) {
        level.service_pack = FromUtf8(service_pack);
        level.service_pack_major = ServicePackNumber(service_pack);
    }
    return level;
}

WindowsLevel CurrentWindowsLevel() {
    // One lock for the three reads, so that they see one environment.
    std::lock_guard guard(EnvironmentLock());
    return ParseWindowsLevel(::getenv("KAVREL_WINDOWS_VERSION"),
                             ::getenv("KAVREL_WINDOWS_PRODUCT_TYPE"),
                             ::getenv("KAVREL_WINDOWS_SERVICE_PACK"));
}

const char16_t* ProductTypeText(uint8_t product_type) {
    switch (product_type) {
        case VER_NT_SERVER:
            return u"ServerNT";
        case VER_NT_DOMAIN_CONTROLLER:
            return u"LanmanNT";
        default:
            return u"WinNT";
    }
}

}  // namespace kvwin

extern "C" {

BOOL GetVersionExW(LPOSVERSIONINFOW lpVersionInformation) {
    if (!lpVersionInformation)
        return kvwin::FailWith(ERROR_INVALID_PARAMETER);
    try {
        return Fill(lpVersionInformation) ? TRUE : kvwin::FailWith(ERROR_INVALID_PARAMETER);
    } catch (...) {
        return kvwin::FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

NTSTATUS RtlGetVersion(PRTL_OSVERSIONINFOW lpVersionInformation) {
    if (!lpVersionInformation)
        return STATUS_INVALID_PARAMETER;
    try {
        return Fill(lpVersionInformation) ? STATUS_SUCCESS : STATUS_INVALID_PARAMETER;
    } catch (...) {
        return STATUS_INVALID_PARAMETER;
    }
}

}  // extern "C"
