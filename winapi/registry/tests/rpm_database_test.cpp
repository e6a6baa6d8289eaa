// The rpm database reader: header blobs as rpm writes them, hostile ones (truncated, lying
// counts and offsets, unterminated strings, random damage), and a database file made here
// with the table rpm uses.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/time.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "kvtest/test_env.h"
#include "kvwin/environment_lock.h"
#include "kvwin/rpm_database.h"
#include "kvwin/utf.h"
#include "win/registry.h"

namespace {

std::string BigEndian(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
            static_cast<char>(value >> 8), static_cast<char>(value)};
}

struct Tag {
    std::int32_t tag;
    std::uint32_t type;
    std::string data;
    std::uint32_t count = 1;
};

// A header blob: counts, the index, then the data with numbers aligned as rpm aligns them.
std::string Header(const std::vector<Tag>& tags) {
    std::string index, data;
    for (const Tag& t : tags) {
        const size_t align = t.type == 4 ? 4 : t.type == 5 ? 8 : 1;
        while (data.size() % align)
            data.push_back('\0');
        index += BigEndian(static_cast<std::uint32_t>(t.tag)) + BigEndian(t.type) +
                 BigEndian(static_cast<std::uint32_t>(data.size())) + BigEndian(t.count);
        data += t.data;
    }
    return BigEndian(static_cast<std::uint32_t>(tags.size())) +
           BigEndian(static_cast<std::uint32_t>(data.size())) + index + data;
}

std::string Text(const char* text) {
    return std::string(text) + '\0';
}

std::string Package(const char* name, const char* arch, std::uint32_t install_time) {
    return Header({
        {63, 7, std::string(16, '\x01')},  // the immutable region marker, ignored
        {1000, 6, Text(name)},
        {1001, 6, Text("2.4.6")},
        {1002, 6, Text("3.el9")},
        {1003, 4, BigEndian(1)},
        {1004, 9, Text("A small tool") + Text("Ein kleines Werkzeug"), 2},
        {1008, 4, BigEndian(install_time)},
        {1009, 4, BigEndian(4096)},
        {1011, 6, Text("Example Vendor")},
        {1020, 6, Text("https://tool.example.org")},
        {1022, 6, Text(arch)},
        {5009, 5, BigEndian(1) + BigEndian(0)},  // 4 GiB: the 64-bit size wins
    });
}

TEST(RpmHeaders, FieldsOfAPackage) {
    const auto package = kvwin::ParseRpmHeader(Package("tool", "x86_64", 1700000000));
    ASSERT_TRUE(package);
    EXPECT_EQ(package->name, "tool");
    EXPECT_EQ(package->FullVersion(), "1:2.4.6-3.el9");
    EXPECT_EQ(package->arch, "x86_64");
    EXPECT_EQ(package->vendor, "Example Vendor");
    EXPECT_EQ(package->summary, "A small tool");  // the untranslated entry
    EXPECT_EQ(package->url, "https://tool.example.org");
    EXPECT_EQ(package->install_time, 1700000000);
    EXPECT_EQ(package->size, std::uint64_t{1} << 32);

    // Without epoch, release and 64-bit size.
    const auto plain = kvwin::ParseRpmHeader(
        Header({{1000, 6, Text("bare")}, {1001, 6, Text("1.0")}, {1009, 4, BigEndian(10)}}));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->FullVersion(), "1.0");
    EXPECT_EQ(plain->size, 10u);
    EXPECT_FALSE(plain->install_time);
}

TEST(RpmHeaders, HostileBlobsYieldNothingOrOnlyWhatIsInside) {
    const std::string good = Package("tool", "noarch", 1);
    // Every truncation of a good blob is refused, never read past.
    for (size_t size = 0; size < good.size(); ++size)
        EXPECT_FALSE(kvwin::ParseRpmHeader(good.substr(0, size))) << size;
    // Counts that promise more than there is.
    EXPECT_FALSE(kvwin::ParseRpmHeader(BigEndian(0xffffffffu) + BigEndian(0) + good));
    EXPECT_FALSE(kvwin::ParseRpmHeader(BigEndian(1) + BigEndian(0x7fffffffu) + good));
    EXPECT_FALSE(kvwin::ParseRpmHeader(BigEndian(0) + BigEndian(0)));
    // A name that runs off the end of the data, an offset past it: no name, no package.
    std::string unterminated = Header({{1000, 6, "tool"}});
    EXPECT_FALSE(kvwin::ParseRpmHeader(unterminated));
    std::string far = Header({{1000, 6, Text("tool")}});
    far.replace(8 + 8, 4, BigEndian(1000));
    EXPECT_FALSE(kvwin::ParseRpmHeader(far));
    // A number whose offset leaves too few bytes, a string where a number belongs.
    std::string short_number = Header({{1000, 6, Text("tool")}, {1008, 4, "\x01\x02"}});
    const auto partial = kvwin::ParseRpmHeader(short_number);
    ASSERT_TRUE(partial);
    EXPECT_FALSE(partial->install_time);
    const auto typed = kvwin::ParseRpmHeader(Header({{1000, 6, Text("t")}, {1009, 6, Text("9")}}));
    ASSERT_TRUE(typed);
    EXPECT_FALSE(typed->size);

    // Random damage to a good blob: whatever comes out, the parser stays inside it.
    std::mt19937 random(12345);
    for (int round = 0; round < 5000; ++round) {
        std::string damaged = good;
        const int hits = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < hits; ++i)
            damaged[random() % damaged.size()] = static_cast<char>(random());
        if (random() % 4 == 0)
            damaged.resize(random() % damaged.size());
        const auto package = kvwin::ParseRpmHeader(damaged);
        if (package) {
            EXPECT_FALSE(package->name.empty());
            EXPECT_LE(package->name.size(), damaged.size());
        }
    }
}

// A database file with rpm's table: two packages, a damaged row and an empty one.
std::string MakeDatabase(const std::string& path, const std::vector<std::string>& blobs) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db,
                           "CREATE TABLE Packages (hnum INTEGER PRIMARY KEY AUTOINCREMENT, "
                           "blob BLOB NOT NULL)",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_stmt* insert = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, "INSERT INTO Packages(blob) VALUES(?)", -1, &insert, nullptr),
              SQLITE_OK);
    for (const std::string& blob : blobs) {
        sqlite3_bind_blob(insert, 1, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
        EXPECT_EQ(sqlite3_step(insert), SQLITE_DONE);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_close(db);
    return path;
}

TEST(RpmDatabase, PackagesOfADatabaseFile) {
    const std::string dir = kvtest::MakeTempFolder("rpm");
    const std::string path =
        MakeDatabase(dir + "/rpmdb.sqlite", {Package("tool", "x86_64", 1700000000), "garbage",
                                             std::string(), Package("libtool", "noarch", 5)});
    const auto packages = kvwin::ReadRpmDatabase(path);
    ASSERT_EQ(packages.size(), 2u);
    EXPECT_EQ(packages[0].name, "tool");
    EXPECT_EQ(packages[1].name, "libtool");
    EXPECT_EQ(kvwin::ReadRpmDatabase(path, 1).size(), 1u);

    EXPECT_TRUE(kvwin::ReadRpmDatabase(dir + "/missing.sqlite").empty());
    std::ofstream(dir + "/not-a-database") << "Berkeley DB is not read";
    EXPECT_TRUE(kvwin::ReadRpmDatabase(dir + "/not-a-database").empty());
    MakeDatabase(dir + "/other.sqlite", {});  // rpm's table with no package in it
    EXPECT_TRUE(kvwin::ReadRpmDatabase(dir + "/other.sqlite").empty());
}

// The registry's package view lists rpm packages beside dpkg's, and follows the database.
TEST(RpmDatabase, PackagesInTheUninstallView) {
    const std::string dir = kvtest::MakeTempFolder("rpmview");
    const std::string path =
        MakeDatabase(dir + "/rpmdb.sqlite",
                     {Package("tool", "x86_64", 1700000000), Package("tool", "i686", 1700000000)});
    ASSERT_TRUE(kvwin::SetEnvUtf8("KAVREL_DPKG_ADMIN_DIR", dir + "/no-dpkg"));
    ASSERT_TRUE(kvwin::SetEnvUtf8("KAVREL_RPM_DATABASE", path));
    auto subkeys = [] {
        std::vector<std::string> names;
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                          u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 0, KEY_READ,
                          &key) != ERROR_SUCCESS)
            return names;
        for (DWORD i = 0;; ++i) {
            WCHAR name[256];
            DWORD length = 256;
            if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            names.push_back(kvwin::ToUtf8(std::u16string(name, length)));
        }
        RegCloseKey(key);
        return names;
    };
    auto names = subkeys();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"tool.i686", "tool.x86_64"}));

    auto value = [](const char16_t* name, DWORD flags) {
        std::vector<BYTE> data(512);
        DWORD size = DWORD(data.size());
        const LONG rc =
            RegGetValueW(HKEY_LOCAL_MACHINE,
                         u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\tool.x86_64",
                         name, flags, nullptr, data.data(), &size);
        data.resize(rc == ERROR_SUCCESS ? size : 0);
        return data;
    };
    auto text = [&](const char16_t* name) {
        auto data = value(name, RRF_RT_REG_SZ);
        return data.size() < 2 ? std::string("<missing>")
                               : kvwin::ToUtf8(reinterpret_cast<const char16_t*>(data.data()));
    };
    EXPECT_EQ(text(u"DisplayName"), "tool");
    EXPECT_EQ(text(u"DisplayVersion"), "1:2.4.6-3.el9");
    EXPECT_EQ(text(u"Publisher"), "Example Vendor");
    EXPECT_EQ(text(u"Comments"), "A small tool");
    EXPECT_EQ(text(u"URLInfoAbout"), "https://tool.example.org");
    EXPECT_EQ(text(u"InstallDate").size(), 8u);  // yyyymmdd in local time
    const auto size = value(u"EstimatedSize", RRF_RT_REG_DWORD);
    ASSERT_EQ(size.size(), 4u);
    EXPECT_EQ(size[0] | (size[1] << 8) | (size[2] << 16) | (size[3] << 24), 4 << 20);  // KiB

    // A package rpm adds appears at the next open; a database gone empties the view.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    const std::string extra = Package("extra", "noarch", 1);
    sqlite3_stmt* insert = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "INSERT INTO Packages(blob) VALUES(?)", -1, &insert, nullptr),
              SQLITE_OK);
    sqlite3_bind_blob(insert, 1, extra.data(), static_cast<int>(extra.size()), SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(insert), SQLITE_DONE);
    sqlite3_finalize(insert);
    sqlite3_close(db);
    // A date of its own, so that the change shows however coarse the file system's clock.
    const struct timeval later[2] = {{1900000000, 0}, {1900000000, 0}};
    ASSERT_EQ(::utimes(path.c_str(), later), 0);
    names = subkeys();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"extra", "tool.i686", "tool.x86_64"}));
    ASSERT_TRUE(kvwin::SetEnvUtf8("KAVREL_RPM_DATABASE", dir + "/gone.sqlite"));
    EXPECT_TRUE(subkeys().empty());

    kvwin::SetEnvUtf8("KAVREL_RPM_DATABASE", std::nullopt);
    kvwin::SetEnvUtf8("KAVREL_DPKG_ADMIN_DIR", std::nullopt);
}

}  // namespace
