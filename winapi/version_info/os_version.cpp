// GetVersionExW and RtlGetVersion from the registry's Windows identity.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "kvwin/ascii_case.h"
#include "kvwin/last_error.h"
#include "kvwin/utf.h"
#include "win/registry.h"
#include "win/version_info.h"

namespace {

const char16_t kCurrentVersion[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const char16_t kProductOptions[] = u"SYSTEM\\CurrentControlSet\\Control\\ProductOptions";

// What a registry that lost its values still reports: the seed's Windows 10 workstation.
constexpr DWORD kDefaultMajor = 10;
constexpr DWORD kDefaultMinor = 0;
constexpr DWORD kDefaultBuild = 19045;

// An open key for the reads below: one walk to the key, then one read per value.
class OpenKey {
  public:
    explicit OpenKey(const char16_t* path) {
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key_) != ERROR_SUCCESS)
            key_ = nullptr;
    }
    ~OpenKey() {
        if (key_)
            RegCloseKey(key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

std::optional<DWORD> ReadDword(const OpenKey& key, const char16_t* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (!key.get() || RegGetValueW(key.get(), nullptr, name, RRF_RT_REG_DWORD, nullptr, &value,
                                   &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::u16string> ReadText(const OpenKey& key, const char16_t* name) {
    DWORD size = 0;
    if (!key.get() ||
        RegGetValueW(key.get(), nullptr, name, RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
            ERROR_SUCCESS ||
        size < sizeof(WCHAR)) {
        return std::nullopt;
    }
    std::u16string text(size / sizeof(WCHAR), u'\0');
    if (RegGetValueW(key.get(), nullptr, name, RRF_RT_REG_SZ, nullptr, text.data(), &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    text.resize(size / sizeof(WCHAR));
    while (!text.empty() && text.back() == u'\0')
        text.pop_back();
    return text;
}

struct Identity {
    DWORD major = kDefaultMajor;
    DWORD minor = kDefaultMinor;
    DWORD build = kDefaultBuild;
    std::u16string csd;
    WORD service_pack = 0;
    BYTE product_type = VER_NT_WORKSTATION;
};

Identity ReadIdentity() {
    Identity identity;
    const OpenKey current(kCurrentVersion);
    if (auto major = ReadDword(current, u"CurrentMajorVersionNumber")) {
        identity.major = *major;
        identity.minor = ReadDword(current, u"CurrentMinorVersionNumber").value_or(0);
    } else if (auto version = ReadText(current, u"CurrentVersion")) {
        unsigned major = 0, minor = 0;
        if (std::sscanf(kvwin::ToUtf8(*version).c_str(), "%u.%u", &major, &minor) == 2) {
            identity.major = major;
            identity.minor = minor;
        }
    }
    std::optional<std::u16string> build = ReadText(current, u"CurrentBuildNumber");
    if (!build)
        build = ReadText(current, u"CurrentBuild");
    unsigned number = 0;
    if (build && std::sscanf(kvwin::ToUtf8(*build).c_str(), "%u", &number) == 1)
        identity.build = number;
    identity.csd = ReadText(current, u"CSDVersion").value_or(u"");
    unsigned pack = 0;
    if (std::sscanf(kvwin::ToUtf8(identity.csd).c_str(), "Service Pack %u", &pack) == 1)
        identity.service_pack = static_cast<WORD>(pack);
    if (auto product = ReadText(OpenKey(kProductOptions), u"ProductType")) {
        if (kvwin::EqualsAsciiNoCase(*product, u"ServerNT"))
            identity.product_type = VER_NT_SERVER;
        else if (kvwin::EqualsAsciiNoCase(*product, u"LanmanNT"))
            identity.product_type = VER_NT_DOMAIN_CONTROLLER;
    }
    return identity;
}

bool Fill(OSVERSIONINFOW* info) {
    const DWORD size = info->dwOSVersionInfoSize;
    if (size != sizeof(OSVERSIONINFOW) && size != sizeof(OSVERSIONINFOEXW))
        return false;
    const Identity identity = ReadIdentity();
    info->dwMajorVersion = identity.major;
    info->dwMinorVersion = identity.minor;
    info->dwBuildNumber = identity.build;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    const size_t length = std::min<size_t>(identity.csd.size(), 127);
    std::memcpy(info->szCSDVersion, identity.csd.data(), length * sizeof(WCHAR));
    if (size == sizeof(OSVERSIONINFOEXW)) {
        auto* extended = reinterpret_cast<OSVERSIONINFOEXW*>(info);
        extended->wServicePackMajor = identity.service_pack;
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
