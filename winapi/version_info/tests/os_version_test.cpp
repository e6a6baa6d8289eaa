// The Windows version as the registry presents it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "win/registry.h"
#include "win/version_info.h"

namespace {

const char16_t kCurrentVersion[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const char16_t kProductOptions[] = u"SYSTEM\\CurrentControlSet\\Control\\ProductOptions";

class OsVersion : public ::testing::Test {
  protected:
    void Set(const char16_t* key, const char16_t* name, DWORD type, const void* data, DWORD size) {
        HKEY handle = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                  &handle, nullptr),
                  ERROR_SUCCESS);
        const LSTATUS status =
            RegSetValueExW(handle, name, 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(handle);
        ASSERT_EQ(status, ERROR_SUCCESS);
    }
    void SetText(const char16_t* key, const char16_t* name, const std::u16string& text) {
        Set(key, name, REG_SZ, text.c_str(),
            static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
    }
    void SetDword(const char16_t* key, const char16_t* name, DWORD value) {
        Set(key, name, REG_DWORD, &value, sizeof value);
    }
    void Delete(const char16_t* key, const char16_t* name) {
        HKEY handle = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_SET_VALUE, &handle), ERROR_SUCCESS);
        const LSTATUS status = RegDeleteValueW(handle, name);
        RegCloseKey(handle);
        ASSERT_TRUE(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND);
    }
    OSVERSIONINFOEXW Extended() {
        OSVERSIONINFOEXW info;
        std::memset(&info, 0xcc, sizeof info);
        info.dwOSVersionInfoSize = sizeof info;
        EXPECT_TRUE(GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&info)));
        return info;
    }
};

TEST_F(OsVersion, AFreshRegistryIsACurrentWindows10Workstation) {
    const OSVERSIONINFOEXW info = Extended();
    EXPECT_EQ(info.dwMajorVersion, 10u);
    EXPECT_EQ(info.dwMinorVersion, 0u);
    EXPECT_EQ(info.dwBuildNumber, 19045u);
    EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    EXPECT_EQ(info.szCSDVersion[0], u'\0');
    EXPECT_EQ(info.wServicePackMajor, 0);
    EXPECT_EQ(info.wProductType, VER_NT_WORKSTATION);

    // The release id the version-dependent code reads next to it.
    char16_t release[16] = {};
    DWORD size = sizeof release;
    ASSERT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, kCurrentVersion, u"ReleaseId", RRF_RT_REG_SZ,
                           nullptr, release, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(release), u"2009");
}

TEST_F(OsVersion, TheSizeFieldChoosesTheFormAndAnyOtherSizeIsRefused) {
    ASSERT_EQ(sizeof(OSVERSIONINFOW), 276u);
    ASSERT_EQ(sizeof(OSVERSIONINFOEXW), 284u);

    // The plain form leaves the extended fields alone.
    OSVERSIONINFOEXW info;
    std::memset(&info, 0xcc, sizeof info);
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
    ASSERT_TRUE(GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&info)));
    EXPECT_EQ(info.dwMajorVersion, 10u);
    EXPECT_EQ(info.wProductType, 0xcc);
    EXPECT_EQ(info.wServicePackMajor, 0xcccc);

    for (DWORD size : {0u, 20u, 275u, 277u, 283u, 285u}) {
        SCOPED_TRACE(size);
        info.dwOSVersionInfoSize = size;
        SetLastError(0);
        EXPECT_FALSE(GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&info)));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(RtlGetVersion(reinterpret_cast<PRTL_OSVERSIONINFOW>(&info)),
                  STATUS_INVALID_PARAMETER);
    }
    EXPECT_FALSE(GetVersionExW(nullptr));
}

TEST_F(OsVersion, AWindows7ServerWithAServicePack) {
    // Windows 7 and Server 2008 R2 have no CurrentMajorVersionNumber: the version is the
    // CurrentVersion text.
    Delete(kCurrentVersion, u"CurrentMajorVersionNumber");
    Delete(kCurrentVersion, u"CurrentMinorVersionNumber");
    SetText(kCurrentVersion, u"CurrentVersion", u"6.1");
    SetText(kCurrentVersion, u"CurrentBuildNumber", u"7601");
    SetText(kCurrentVersion, u"CSDVersion", u"Service Pack 1");
    SetText(kProductOptions, u"ProductType", u"ServerNT");

    const OSVERSIONINFOEXW info = Extended();
    EXPECT_EQ(info.dwMajorVersion, 6u);
    EXPECT_EQ(info.dwMinorVersion, 1u);
    EXPECT_EQ(info.dwBuildNumber, 7601u);
    EXPECT_EQ(std::u16string(info.szCSDVersion), u"Service Pack 1");
    EXPECT_EQ(info.wServicePackMajor, 1);
    EXPECT_EQ(info.wProductType, VER_NT_SERVER);
    EXPECT_TRUE(info.wSuiteMask & VER_SUITE_TERMINAL);

    RTL_OSVERSIONINFOEXW rtl{};
    rtl.dwOSVersionInfoSize = sizeof rtl;
    ASSERT_EQ(RtlGetVersion(reinterpret_cast<PRTL_OSVERSIONINFOW>(&rtl)), STATUS_SUCCESS);
    EXPECT_EQ(rtl.dwBuildNumber, 7601u);
    EXPECT_EQ(rtl.wProductType, VER_NT_SERVER);

    // A domain controller, the type compared without regard to case.
    SetText(kProductOptions, u"ProductType", u"lanmannt");
    EXPECT_EQ(Extended().wProductType, VER_NT_DOMAIN_CONTROLLER);
}

TEST_F(OsVersion, AWindows11ReleaseIsVersion10WithItsBuild) {
    SetDword(kCurrentVersion, u"CurrentMajorVersionNumber", 10);
    SetDword(kCurrentVersion, u"CurrentMinorVersionNumber", 0);
    SetText(kCurrentVersion, u"CurrentVersion", u"6.3");  // kept for old readers, not used
    SetText(kCurrentVersion, u"CurrentBuildNumber", u"22631");
    SetText(kCurrentVersion, u"DisplayVersion", u"23H2");

    const OSVERSIONINFOEXW info = Extended();
    EXPECT_EQ(info.dwMajorVersion, 10u);
    EXPECT_EQ(info.dwMinorVersion, 0u);
    EXPECT_EQ(info.dwBuildNumber, 22631u);
    EXPECT_EQ(info.wProductType, VER_NT_WORKSTATION);
    EXPECT_EQ(info.wSuiteMask & VER_SUITE_TERMINAL, 0);
}

}  // namespace
