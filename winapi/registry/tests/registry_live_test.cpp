// The package view under ...\CurrentVersion\Uninstall and the distribution's names under
// ...\Windows NT\CurrentVersion: what readers see, what writers may not do, and how the view
// follows the package database.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "kvtest/test_env.h"
#include "kvwin/environment_lock.h"
#include "kvwin/registry_handles.h"
#include "kvwin/registry_seed.h"
#include "kvwin/utf.h"
#include "win/registry.h"
#include "win/version_info.h"

namespace {

const char16_t kUninstall[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char16_t kCurrentVersionNt[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

const char kStatus[] =
    "Package: alpha\n"
    "Status: install ok installed\n"
    "Installed-Size: 1234\n"
    "Maintainer: Alpha Team <alpha@example.org>\n"
    "Architecture: amd64\n"
    "Version: 1.2-3\n"
    "Description: first letter\n"
    " Longer text.\n"
    "Homepage: https://alpha.example.org\n"
    "\n"
    "Package: beta\n"
    "Status: deinstall ok config-files\n"
    "Architecture: amd64\n"
    "Version: 2.0\n"
    "\n"
    "Package: gamma\n"
    "Status: install ok installed\n"
    "Architecture: amd64\n"
    "Version: 3\n"
    "Maintainer: G <g@example.org>\n"
    "\n"
    "Package: gamma\n"
    "Status: install ok installed\n"
    "Architecture: i386\n"
    "Version: 3\n"
    "Maintainer: G <g@example.org>\n";

void WriteFile(const std::string& path, const std::string& text) {
    // Written aside and renamed into place, as the package manager does.
    const std::string temp = path + ".new";
    std::ofstream(temp, std::ios::binary | std::ios::trunc) << text;
    ASSERT_EQ(std::rename(temp.c_str(), path.c_str()), 0);
}

// Local noon of 5 March 2024, as seconds since 1970.
time_t MarchFifth() {
    std::tm parts{};
    parts.tm_year = 124;
    parts.tm_mon = 2;
    parts.tm_mday = 5;
    parts.tm_hour = 12;
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}

std::u16string Text(HKEY key, const char16_t* name, DWORD* type = nullptr) {
    WCHAR buffer[512];
    DWORD size = sizeof buffer;
    DWORD kind = 0;
    if (RegQueryValueExW(key, name, nullptr, &kind, reinterpret_cast<BYTE*>(buffer), &size) !=
        ERROR_SUCCESS) {
        return u"<missing>";
    }
    if (type)
        *type = kind;
    return std::u16string(buffer, size / 2 ? size / 2 - 1 : 0);
}

std::vector<std::u16string> Subkeys(HKEY key) {
    std::vector<std::u16string> names;
    for (DWORD i = 0;; ++i) {
        WCHAR name[KVWIN_REG_MAX_KEY_NAME + 1];
        DWORD length = KVWIN_REG_MAX_KEY_NAME + 1;
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name, length);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class PackageView : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = kvtest::MakeTempFolder("dpkg");
        ASSERT_EQ(::mkdir((dir_ + "/info").c_str(), 0755), 0);
        WriteFile(dir_ + "/status", kStatus);
        WriteFile(dir_ + "/info/alpha.list", "/usr/bin/alpha\n");
        const struct timeval times[2] = {{MarchFifth(), 0}, {MarchFifth(), 0}};
        ASSERT_EQ(::utimes((dir_ + "/info/alpha.list").c_str(), times), 0);
        ASSERT_TRUE(kvwin::SetEnvUtf8("KAVREL_DPKG_ADMIN_DIR", dir_));
    }
    void TearDown() override { kvwin::SetEnvUtf8("KAVREL_DPKG_ADMIN_DIR", std::nullopt); }

    HKEY Open(const std::u16string& path, REGSAM access = KEY_READ) {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, access, &key), ERROR_SUCCESS)
            << kvwin::ToUtf8(path);
        return key;
    }

    std::string dir_;
};

TEST_F(PackageView, ListsInstalledPackagesWithTheirValues) {
    // A walker that enumerates from CurrentVersion finds the key before anything named it.
    HKEY current = Open(u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
    auto names = Subkeys(current);
    EXPECT_NE(std::find(names.begin(), names.end(), u"Uninstall"), names.end());
    RegCloseKey(current);

    HKEY uninstall = Open(kUninstall);
    ASSERT_NE(uninstall, nullptr);
    // Config-files-only packages are gone; a name installed for two architectures is
    // told apart by its architecture.
    EXPECT_EQ(Subkeys(uninstall),
              (std::vector<std::u16string>{u"alpha", u"gamma:amd64", u"gamma:i386"}));
    DWORD subkeys = 0;
    ASSERT_EQ(RegQueryInfoKeyW(uninstall, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 3u);

    HKEY alpha = nullptr;
    ASSERT_EQ(RegOpenKeyExW(uninstall, u"ALPHA", 0, KEY_READ, &alpha), ERROR_SUCCESS);
    DWORD type = 0;
    EXPECT_EQ(Text(alpha, u"DisplayName", &type), u"alpha");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(Text(alpha, u"DisplayVersion"), u"1.2-3");
    EXPECT_EQ(Text(alpha, u"Publisher"), u"Alpha Team <alpha@example.org>");
    EXPECT_EQ(Text(alpha, u"InstallDate"), u"20240305");
    EXPECT_EQ(Text(alpha, u"Comments"), u"first letter");
    EXPECT_EQ(Text(alpha, u"URLInfoAbout"), u"https://alpha.example.org");
    DWORD size_kib = 0, bytes = sizeof size_kib;
    ASSERT_EQ(
        RegGetValueW(alpha, nullptr, u"EstimatedSize", RRF_RT_REG_DWORD, &type, &size_kib, &bytes),
        ERROR_SUCCESS);
    EXPECT_EQ(size_kib, 1234u);

    std::set<std::u16string> values;
    for (DWORD i = 0;; ++i) {
        WCHAR name[64];
        DWORD length = 64;
        if (RegEnumValueW(alpha, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        values.emplace(name, length);
    }
    EXPECT_EQ(values, (std::set<std::u16string>{u"DisplayName", u"DisplayVersion", u"Publisher",
                                                u"InstallDate", u"EstimatedSize", u"Comments",
                                                u"URLInfoAbout"}));

    // Without a file list there is no date, and without Installed-Size no size.
    HKEY gamma = Open(std::u16string(kUninstall) + u"\\gamma:i386");
    EXPECT_EQ(Text(gamma, u"InstallDate"), u"<missing>");
    EXPECT_EQ(Text(gamma, u"EstimatedSize"), u"<missing>");
    EXPECT_EQ(Text(gamma, u"DisplayName"), u"gamma");
    RegCloseKey(gamma);
    RegCloseKey(alpha);
    RegCloseKey(uninstall);
}

// The other places scripts look for installed programs, the 32-bit view and the user's own
// list, are there and empty: a walker gets no subkeys, not a missing key. They are ordinary
// keys (an installer could write there), not part of the package view.
TEST_F(PackageView, ThirtyTwoBitAndPerUserListsAreThereAndEmpty) {
    HKEY wow = Open(u"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
    ASSERT_NE(wow, nullptr);
    EXPECT_TRUE(Subkeys(wow).empty());
    RegCloseKey(wow);

    HKEY user = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kUninstall, 0, KEY_READ, &user), ERROR_SUCCESS);
    EXPECT_TRUE(Subkeys(user).empty());
    DWORD subkeys = 99, values = 99;
    ASSERT_EQ(RegQueryInfoKeyW(user, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 0u);
    EXPECT_EQ(values, 0u);
    RegCloseKey(user);

    // Both still hold what someone writes there; the machine's package view is unchanged.
    HKEY written = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (std::u16string(kUninstall) + u"\\tool").c_str(),
                              0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &written, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(written);
    HKEY uninstall = Open(kUninstall);
    EXPECT_EQ(Subkeys(uninstall),
              (std::vector<std::u16string>{u"alpha", u"gamma:amd64", u"gamma:i386"}));
    RegCloseKey(uninstall);
}

TEST_F(PackageView, RefusesEveryWrite) {
    HKEY uninstall = Open(kUninstall, KEY_ALL_ACCESS);
    HKEY alpha = Open(std::u16string(kUninstall) + u"\\alpha", KEY_ALL_ACCESS);
    ASSERT_NE(alpha, nullptr);
    const DWORD one = 1;
    EXPECT_EQ(RegSetValueExW(alpha, u"DisplayName", 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&one), sizeof one),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegSetValueExW(uninstall, u"New", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one),
                             sizeof one),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueW(alpha, u"Publisher"), ERROR_ACCESS_DENIED);
    HKEY made = nullptr;
    EXPECT_EQ(RegCreateKeyExW(uninstall, u"mine\\deeper", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &made, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(made, nullptr);
    EXPECT_EQ(RegDeleteKeyW(uninstall, u"alpha"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteTreeW(uninstall, nullptr), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows"),
              ERROR_ACCESS_DENIED);
    // Opening an existing package key through create is a read and succeeds.
    EXPECT_EQ(
        RegCreateKeyExW(uninstall, u"alpha", 0, nullptr, 0, KEY_READ, nullptr, &made, nullptr),
        ERROR_SUCCESS);
    RegCloseKey(made);

    EXPECT_EQ(Text(alpha, u"DisplayName"), u"alpha");
    EXPECT_EQ(Text(alpha, u"Publisher"), u"Alpha Team <alpha@example.org>");
    EXPECT_EQ(Subkeys(uninstall).size(), 3u);

    // The keys around it stay writable.
    HKEY current = Open(u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", KEY_ALL_ACCESS);
    EXPECT_EQ(RegSetValueExW(current, u"Probe", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one),
                             sizeof one),
              ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(current, u"Probe"), ERROR_SUCCESS);
    RegCloseKey(current);
    RegCloseKey(alpha);
    RegCloseKey(uninstall);
}

TEST_F(PackageView, FollowsThePackageDatabaseAndBackAgain) {
    HKEY uninstall = Open(kUninstall);
    ASSERT_EQ(Subkeys(uninstall).size(), 3u);
    RegCloseKey(uninstall);

    WriteFile(dir_ + "/status",
              "Package: delta\nStatus: install ok installed\nVersion: 4\nArchitecture: all\n");
    uninstall = Open(kUninstall);
    EXPECT_EQ(Subkeys(uninstall), (std::vector<std::u16string>{u"delta"}));
    HKEY gone = nullptr;
    EXPECT_EQ(RegOpenKeyExW(uninstall, u"alpha", 0, KEY_READ, &gone), ERROR_FILE_NOT_FOUND);
    RegCloseKey(uninstall);

    // Another process sees the same view, and the original content comes back in full.
    WriteFile(dir_ + "/status", kStatus);
    kvtest::ChildResult child = kvtest::RunInChild([] {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                          u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\alpha", 0,
                          KEY_READ, &key) != ERROR_SUCCESS) {
            std::_Exit(3);
        }
        std::_Exit(Text(key, u"DisplayVersion") == u"1.2-3" ? 0 : 4);
    });
    EXPECT_TRUE(child.exited);
    EXPECT_EQ(child.exit_code, 0) << child.output;
    uninstall = Open(kUninstall);
    EXPECT_EQ(Subkeys(uninstall).size(), 3u);
    RegCloseKey(uninstall);

    // No database at all: the key is there and empty.
    ASSERT_EQ(std::remove((dir_ + "/status").c_str()), 0);
    uninstall = Open(kUninstall);
    EXPECT_TRUE(Subkeys(uninstall).empty());
    RegCloseKey(uninstall);
}

// The first fully installed package of the machine's own dpkg database, read here without
// the layer's parser.
std::string FirstInstalledPackage() {
    std::ifstream in("/var/lib/dpkg/status");
    std::string line, name;
    while (std::getline(in, line)) {
        if (line.rfind("Package: ", 0) == 0)
            name = line.substr(9);
        else if (line == "Status: install ok installed" && !name.empty())
            return name;
        else if (line.empty())
            name.clear();
    }
    return {};
}

TEST(PackageViewLive, ShowsAPackageDpkgLists) {
    const std::string name = FirstInstalledPackage();
    if (name.empty())
        GTEST_SKIP() << "no dpkg database with an installed package on this machine";
    const std::u16string path = std::u16string(kUninstall) + u"\\" + kvwin::FromUtf8(name);
    WCHAR display[256];
    DWORD size = sizeof display;
    LSTATUS rc = RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), u"DisplayName", RRF_RT_REG_SZ,
                              nullptr, display, &size);
    if (rc == ERROR_FILE_NOT_FOUND) {
        // Installed for several architectures: the key carries the architecture.
        HKEY uninstall = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstall, 0, KEY_READ, &uninstall),
                  ERROR_SUCCESS);
        bool found = false;
        for (const auto& key : Subkeys(uninstall))
            found = found || key.rfind(kvwin::FromUtf8(name + ":"), 0) == 0;
        RegCloseKey(uninstall);
        EXPECT_TRUE(found) << name;
        return;
    }
    ASSERT_EQ(rc, ERROR_SUCCESS) << name;
    EXPECT_EQ(kvwin::ToUtf8(display), name);
}

TEST(DistributionNames, ComeFromOsReleaseWithFallbacks) {
    auto value = [](const std::vector<kvwin::RegistrySeed>& seeds, const char16_t* name) {
        for (const auto& seed : seeds) {
            if (seed.name == name) {
                std::u16string text;
                for (size_t i = 0; i + 1 < seed.data.size(); i += 2)
                    text.push_back(static_cast<char16_t>(seed.data[i] | (seed.data[i + 1] << 8)));
                while (!text.empty() && text.back() == 0)
                    text.pop_back();
                return text;
            }
        }
        return std::u16string(u"<missing>");
    };
    auto full = kvwin::DistributionNames(kvwin::ParseOsRelease(
        "NAME=\"Fedora Linux\"\nVERSION=\"39 (Workstation Edition)\"\nID=fedora\n"
        "VERSION_ID=39\nPRETTY_NAME=\"Fedora Linux 39 (Workstation Edition)\"\n"
        "VARIANT_ID=workstation\n"));
    EXPECT_EQ(value(full, u"ProductName"), u"Fedora Linux 39 (Workstation Edition)");
    EXPECT_EQ(value(full, u"EditionID"), u"workstation");
    EXPECT_EQ(value(full, u"DisplayVersion"), u"39");
    for (const auto& seed : full)
        EXPECT_EQ(seed.key, kCurrentVersionNt);

    // A rolling release: no PRETTY_NAME, no VERSION_ID, no variant.
    auto sparse =
        kvwin::DistributionNames(kvwin::ParseOsRelease("NAME=Arch\nID=arch\nBUILD_ID=rolling\n"));
    EXPECT_EQ(value(sparse, u"ProductName"), u"Arch");
    EXPECT_EQ(value(sparse, u"EditionID"), u"arch");
    EXPECT_EQ(value(sparse, u"DisplayVersion"), u"rolling");

    auto none = kvwin::DistributionNames(kvwin::ParseOsRelease(""));
    EXPECT_EQ(value(none, u"ProductName"), u"Linux");
    EXPECT_EQ(value(none, u"EditionID"), u"linux");
}

TEST(DistributionNames, NameTheMachineWhileTheVersionStaysTen) {
    WCHAR product[512];
    DWORD size = sizeof product;
    ASSERT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, kCurrentVersionNt, u"ProductName", RRF_RT_REG_SZ,
                           nullptr, product, &size),
              ERROR_SUCCESS);
    DWORD major = 0;
    size = sizeof major;
    ASSERT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, kCurrentVersionNt, u"CurrentMajorVersionNumber",
                           RRF_RT_REG_DWORD, nullptr, &major, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(major, 10u);
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExW(&info));
    EXPECT_EQ(info.dwMajorVersion, 10u);

    // PRETTY_NAME read here by hand, without the layer's parser.
    std::ifstream in("/etc/os-release");
    std::string line, pretty;
    while (std::getline(in, line)) {
        if (line.rfind("PRETTY_NAME=", 0) == 0) {
            pretty = line.substr(12);
            if (pretty.size() >= 2 && (pretty.front() == '"' || pretty.front() == '\''))
                pretty = pretty.substr(1, pretty.size() - 2);
        }
    }
    if (pretty.empty())
        GTEST_SKIP() << "/etc/os-release has no PRETTY_NAME on this machine";
    EXPECT_EQ(kvwin::ToUtf8(product), pretty);
}

// A store made while the names were a Windows edition's: an entry that replaces a former
// default takes the place of that default, and of nothing else.
TEST(DistributionNames, ReplaceAFormerDefaultButNotAnotherValue) {
    const char16_t key[] = u"SOFTWARE\\Kavrel\\SeedTest";
    auto set = [&](const char16_t* name, const char16_t* text) {
        HKEY k = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &k, nullptr),
                  ERROR_SUCCESS);
        const DWORD bytes = DWORD((std::char_traits<char16_t>::length(text) + 1) * 2);
        ASSERT_EQ(RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes),
                  ERROR_SUCCESS);
        RegCloseKey(k);
    };
    auto get = [&](const char16_t* name) {
        WCHAR text[128];
        DWORD size = sizeof text;
        EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_SZ, nullptr, text, &size),
                  ERROR_SUCCESS);
        return std::u16string(text);
    };
    set(u"Former", u"Windows 10 Pro");
    set(u"Chosen", u"An administrator's own");
    auto entry = [&](const char16_t* name) {
        kvwin::RegistrySeed seed = kvwin::SeedString(key, name, u"Debian GNU/Linux 12");
        seed.replaces = kvwin::SeedString(key, name, u"Windows 10 Pro").data;
        return seed;
    };
    kvwin::AddRegistrySeed({entry(u"Former"), entry(u"Chosen")});
    EXPECT_EQ(get(u"Former"), u"Debian GNU/Linux 12");
    EXPECT_EQ(get(u"Chosen"), u"An administrator's own");
}

}  // namespace
