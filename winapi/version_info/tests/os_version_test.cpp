// The Windows version the layer reports, and the release its configuration presents.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "kvtest/test_env.h"
#include "kvwin/state_root.h"
#include "win/registry.h"
#include "win/version_info.h"

namespace {

const char16_t kCurrentVersion[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const char16_t kProductOptions[] = u"SYSTEM\\CurrentControlSet\\Control\\ProductOptions";

// Presents a release through the layer's configuration for the test's lifetime.
struct PresentedRelease {
    PresentedRelease(const char* version, const char* product_type, const char* service_pack)
        : version("KAVREL_WINDOWS_VERSION", version),
          product_type("KAVREL_WINDOWS_PRODUCT_TYPE", product_type),
          service_pack("KAVREL_WINDOWS_SERVICE_PACK", service_pack) {}
    kvtest::ScopedEnvironmentVariable version, product_type, service_pack;
};

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
    std::u16string Text(const char16_t* key, const char16_t* name) {
        char16_t text[64] = {};
        DWORD size = sizeof text;
        if (RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_SZ, nullptr, text, &size) !=
            ERROR_SUCCESS)
            return u"<missing>";
        return text;
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

// Answered as the kernel answers: the registry is neither made nor opened, and SQLite, which
// the registry loads on its first use, is not even mapped.
TEST_F(OsVersion, TheAnswerNeedsNeitherTheRegistryNorItsDatabaseLibrary) {
    kvtest::ChildResult child = kvtest::RunInChild([] {
        auto sqlite_mapped = [] {
            std::ifstream maps("/proc/self/maps");
            std::string line;
            while (std::getline(maps, line)) {
                if (line.find("libsqlite3") != std::string::npos)
                    return true;
            }
            return false;
        };
        OSVERSIONINFOW info{};
        info.dwOSVersionInfoSize = sizeof info;
        if (!GetVersionExW(&info) || info.dwMajorVersion != 10)
            std::_Exit(2);
        struct stat st;
        if (::stat(kvwin::RegistryDirectory().c_str(), &st) == 0)
            std::_Exit(3);
        if (sqlite_mapped())
            std::_Exit(4);
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, &key) != ERROR_SUCCESS)
            std::_Exit(5);
        RegCloseKey(key);
        std::_Exit(sqlite_mapped() ? 0 : 6);
    });
    EXPECT_TRUE(child.exited) << child.output;
    EXPECT_EQ(child.exit_code, 0) << child.output;
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

TEST_F(OsVersion, AWindows7ServerWithAServicePackAndTheHiveMadeUnderIt) {
    PresentedRelease release("6.1.7601", "ServerNT", "Service Pack 1");

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

    // The hive made now holds the same release, in Windows 7's form: no
    // Current*VersionNumber values, the version as text.
    EXPECT_EQ(Text(kCurrentVersion, u"CurrentVersion"), u"6.1");
    EXPECT_EQ(Text(kCurrentVersion, u"CurrentBuildNumber"), u"7601");
    EXPECT_EQ(Text(kCurrentVersion, u"CSDVersion"), u"Service Pack 1");
    EXPECT_EQ(Text(kProductOptions, u"ProductType"), u"ServerNT");
    DWORD major = 0;
    DWORD size = sizeof major;
    EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, kCurrentVersion, u"CurrentMajorVersionNumber",
                           RRF_RT_REG_DWORD, nullptr, &major, &size),
              ERROR_FILE_NOT_FOUND);

    // A domain controller, the type compared without regard to case.
    PresentedRelease controller("6.1.7601", "lanmannt", nullptr);
    EXPECT_EQ(Extended().wProductType, VER_NT_DOMAIN_CONTROLLER);
    EXPECT_EQ(Extended().szCSDVersion[0], u'\0');
}

TEST_F(OsVersion, TheRegistryDoesNotChangeWhatTheKernelReports) {
    SetDword(kCurrentVersion, u"CurrentMajorVersionNumber", 4);
    SetText(kCurrentVersion, u"CurrentBuildNumber", u"1381");
    SetText(kProductOptions, u"ProductType", u"ServerNT");
    const OSVERSIONINFOEXW info = Extended();
    EXPECT_EQ(info.dwMajorVersion, 10u);
    EXPECT_EQ(info.dwBuildNumber, 19045u);
    EXPECT_EQ(info.wProductType, VER_NT_WORKSTATION);
}

TEST_F(OsVersion, ConfigurationThatDoesNotReadKeepsTheBuiltInLevel) {
    // A version without its build keeps the built-in build.
    {
        PresentedRelease release("5.2", nullptr, nullptr);
        const OSVERSIONINFOEXW info = Extended();
        EXPECT_EQ(info.dwMajorVersion, 5u);
        EXPECT_EQ(info.dwMinorVersion, 2u);
        EXPECT_EQ(info.dwBuildNumber, 19045u);
    }
    for (const char* version :
         {"", "6", "6.", "6.1.", "6.1.7601.5", "6,1", " 6.1", "6.1x", "-6.1", "99999999999.1"}) {
        SCOPED_TRACE(version);
        PresentedRelease release(version, "Workstation", "");
        const OSVERSIONINFOEXW info = Extended();
        EXPECT_EQ(info.dwMajorVersion, 10u);
        EXPECT_EQ(info.dwMinorVersion, 0u);
        EXPECT_EQ(info.dwBuildNumber, 19045u);
        EXPECT_EQ(info.wProductType, VER_NT_WORKSTATION);
        EXPECT_EQ(info.wServicePackMajor, 0);
    }
}

TEST_F(OsVersion, AWindows11ReleaseIsVersion10WithItsBuild) {
    PresentedRelease release("10.0.22631", nullptr, nullptr);

    const OSVERSIONINFOEXW info = Extended();
    EXPECT_EQ(info.dwMajorVersion, 10u);
    EXPECT_EQ(info.dwMinorVersion, 0u);
    EXPECT_EQ(info.dwBuildNumber, 22631u);
    EXPECT_EQ(info.wProductType, VER_NT_WORKSTATION);
    EXPECT_EQ(info.wSuiteMask & VER_SUITE_TERMINAL, 0);
    // Windows 10 and later keep the old version text for old readers.
    EXPECT_EQ(Text(kCurrentVersion, u"CurrentVersion"), u"6.3");
    EXPECT_EQ(Text(kCurrentVersion, u"CurrentBuild"), u"22631");
}

}  // namespace
