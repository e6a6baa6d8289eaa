// Keys: names and their case, enumeration, deletion, and what a handle may be.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kvwin/registry_handles.h"
#include "win/registry.h"

namespace {

LSTATUS Create(HKEY parent, const char16_t* path, HKEY* out, DWORD* disposition = nullptr) {
    return RegCreateKeyExW(parent, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, out, disposition);
}

class RegistryKeys : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(Create(HKEY_CURRENT_USER, u"Software\\Kavrel\\Keys", &key_), ERROR_SUCCESS);
    }
    void TearDown() override { RegCloseKey(key_); }

    void AddSubkey(const char16_t* name) {
        HKEY sub = nullptr;
        ASSERT_EQ(Create(key_, name, &sub), ERROR_SUCCESS);
        RegCloseKey(sub);
    }

    std::vector<std::u16string> Subkeys() {
        std::vector<std::u16string> names;
        for (DWORD i = 0;; ++i) {
            WCHAR name[KVWIN_REG_MAX_KEY_NAME + 1];
            DWORD length = KVWIN_REG_MAX_KEY_NAME + 1;
            LSTATUS rc = RegEnumKeyExW(key_, i, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (rc == ERROR_NO_MORE_ITEMS)
                break;
            EXPECT_EQ(rc, ERROR_SUCCESS);
            if (rc != ERROR_SUCCESS)
                break;
            names.emplace_back(name, length);
        }
        return names;
    }

    std::vector<std::u16string> ValueNames() {
        std::vector<std::u16string> names;
        for (DWORD i = 0;; ++i) {
            WCHAR name[64];
            DWORD length = 64;
            LSTATUS rc = RegEnumValueW(key_, i, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (rc == ERROR_NO_MORE_ITEMS)
                break;
            EXPECT_EQ(rc, ERROR_SUCCESS);
            if (rc != ERROR_SUCCESS)
                break;
            names.emplace_back(name, length);
        }
        return names;
    }

    LSTATUS SetDword(const char16_t* name, DWORD value) {
        return RegSetValueExW(key_, name, 0, REG_DWORD, reinterpret_cast<BYTE*>(&value),
                              sizeof value);
    }

    HKEY key_ = nullptr;
};

TEST_F(RegistryKeys, SubkeysComeInTheOrderOfTheirUpperCasedNames) {
    for (const char16_t* name : {u"beta", u"_under", u"Zeta", u"ALPHA2", u"Alpha", u"gamma"})
        AddSubkey(name);
    // Upper-cased, '_' (0x5F) sorts after 'Z' (0x5A): a lower-cased order would differ.
    EXPECT_EQ(Subkeys(), (std::vector<std::u16string>{u"Alpha", u"ALPHA2", u"beta", u"gamma",
                                                      u"Zeta", u"_under"}));
    WCHAR name[16];
    DWORD length = 16;
    EXPECT_EQ(RegEnumKeyExW(key_, 6, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegEnumKeyExW(key_, 1000, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryKeys, ShortNameBuffersGetMoreDataAndAreLeftAlone) {
    AddSubkey(u"Seven77");
    WCHAR name[8];
    std::fill(std::begin(name), std::end(name), u'#');
    DWORD length = 7;  // the name fits, its terminator does not
    EXPECT_EQ(RegEnumKeyExW(key_, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    EXPECT_EQ(name[0], u'#') << "nothing is copied when the name does not fit";
    length = 8;
    FILETIME written{};
    ASSERT_EQ(RegEnumKeyExW(key_, 0, name, &length, nullptr, nullptr, nullptr, &written),
              ERROR_SUCCESS);
    EXPECT_EQ(length, 7u);
    EXPECT_EQ(std::u16string(name), u"Seven77");
    EXPECT_NE(written.dwHighDateTime, 0u) << "a last-write time is reported";

    ASSERT_EQ(SetDword(u"Name5", 5), ERROR_SUCCESS);
    length = 5;
    DWORD type = 0;
    EXPECT_EQ(RegEnumValueW(key_, 0, name, &length, nullptr, &type, nullptr, nullptr),
              ERROR_MORE_DATA);
    length = 6;
    DWORD size = 0;
    ASSERT_EQ(RegEnumValueW(key_, 0, name, &length, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(size, 4u) << "with no data buffer, the data size";
    length = 6;
    EXPECT_EQ(RegEnumValueW(key_, 1, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryKeys, ValuesKeepTheirPlaceWhenRewrittenAndCloseUpWhenDeleted) {
    for (const char16_t* name : {u"zulu", u"alpha", u"Mike", u"bravo"})
        ASSERT_EQ(SetDword(name, 1), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(u"ALPHA", 2), ERROR_SUCCESS);
    EXPECT_EQ(ValueNames(), (std::vector<std::u16string>{u"zulu", u"alpha", u"Mike", u"bravo"}));
    ASSERT_EQ(RegDeleteValueW(key_, u"ZULU"), ERROR_SUCCESS);
    EXPECT_EQ(ValueNames(), (std::vector<std::u16string>{u"alpha", u"Mike", u"bravo"}));
}

TEST_F(RegistryKeys, NamesIgnoreCaseAndKeepTheCaseTheyWereCreatedWith) {
    const char16_t* spellings[][2] = {
        {u"MixedCase", u"mIXEDcASE"},
        {u"\u00C4rger", u"\u00E4RGER"},                              // Latin-1
        {u"\u041A\u043B\u044E\u0447", u"\u043A\u041B\u042E\u0427"},  // Cyrillic
        {u"\u0141\u00F3d\u017A", u"\u0142\u00D3D\u0179"},            // Latin Extended-A
    };
    for (const auto& pair : spellings) {
        HKEY sub = nullptr;
        DWORD disposition = 0;
        ASSERT_EQ(Create(key_, pair[0], &sub, &disposition), ERROR_SUCCESS);
        EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
        RegCloseKey(sub);
        ASSERT_EQ(Create(key_, pair[1], &sub, &disposition), ERROR_SUCCESS);
        EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
        RegCloseKey(sub);
    }
    auto names = Subkeys();
    ASSERT_EQ(names.size(), 4u);
    for (const auto& pair : spellings)
        EXPECT_NE(std::find(names.begin(), names.end(), pair[0]), names.end());

    HKEY opened = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\kavrel\\KEYS\\mixedcase", 0, KEY_READ,
                            &opened),
              ERROR_SUCCESS);
    RegCloseKey(opened);
    EXPECT_EQ(RegOpenKeyExW(key_, u"MixedCas", 0, KEY_READ, &opened), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(opened, nullptr);
}

TEST_F(RegistryKeys, DeletingAKeyWithSubkeysIsDeniedAndChangesNothing) {
    HKEY parent = nullptr, child = nullptr;
    ASSERT_EQ(Create(key_, u"Parent\\Child", &child), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExW(key_, u"Parent", 0, KEY_ALL_ACCESS, &parent), ERROR_SUCCESS);
    DWORD one = 1;
    ASSERT_EQ(RegSetValueExW(parent, u"kept", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4),
              ERROR_SUCCESS);

    EXPECT_EQ(RegDeleteKeyW(key_, u"Parent"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyExW(key_, u"PARENT", KEY_WOW64_64KEY, 0), ERROR_ACCESS_DENIED);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(parent, u"kept", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS)
        << "the refused delete left the values";
    EXPECT_EQ(RegSetValueExW(child, u"x", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4),
              ERROR_SUCCESS);

    EXPECT_EQ(RegDeleteKeyW(key_, u"Parent\\Child"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(key_, u"Parent\\Child"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyW(key_, u"Parent"), ERROR_SUCCESS);

    // Handles to deleted keys stay valid handles to nothing.
    EXPECT_EQ(RegSetValueExW(child, u"x", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegQueryValueExW(parent, u"kept", nullptr, nullptr, nullptr, &size),
              ERROR_KEY_DELETED);
    HKEY below = nullptr;
    EXPECT_EQ(Create(parent, u"Again", &below), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(parent), ERROR_SUCCESS);

    // A tree goes with RegDeleteTreeW.
    ASSERT_EQ(Create(key_, u"Tree\\a\\b\\c", &child), ERROR_SUCCESS);
    RegCloseKey(child);
    EXPECT_EQ(RegDeleteTreeW(key_, u"Tree"), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExW(key_, u"Tree", 0, KEY_READ, &child), ERROR_FILE_NOT_FOUND);
    // Without a subkey it empties the handle's own key and keeps it.
    ASSERT_EQ(Create(key_, u"Kept\\a\\b", &child), ERROR_SUCCESS);
    RegCloseKey(child);
    HKEY kept = nullptr;
    ASSERT_EQ(Create(key_, u"Kept", &kept), ERROR_SUCCESS);
    const DWORD number = 1;
    ASSERT_EQ(RegSetValueExW(kept, u"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4),
              ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeW(kept, nullptr), ERROR_SUCCESS);
    DWORD subkeys = 9, values = 9;
    EXPECT_EQ(RegQueryInfoKeyW(kept, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 0u);
    EXPECT_EQ(values, 0u);
    EXPECT_EQ(RegCloseKey(kept), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExW(key_, u"Kept", 0, KEY_READ, &kept), ERROR_SUCCESS);
    RegCloseKey(kept);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u""), ERROR_ACCESS_DENIED)
        << "a root is not deleted";
}

TEST(RegistryHandles, WrongClosedAndStaleHandlesAreInvalid) {
    HKEY key = nullptr;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, u"Software\\Kavrel\\Handles", &key), ERROR_SUCCESS);
    const size_t open_before = kvwin::registry::OpenKeyCount();
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(kvwin::registry::OpenKeyCount(), open_before - 1);
    HKEY again = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Kavrel\\Handles", 0, KEY_READ, &again),
              ERROR_SUCCESS);
    EXPECT_NE(again, key) << "a closed handle's value is not given out again";
    RegCloseKey(again);

    const HKEY bad[] = {
        key,                                     // closed
        nullptr,                                 // null
        reinterpret_cast<HKEY>(0x4444),          // never opened
        reinterpret_cast<HKEY>(0x180000002ull),  // a root's low half, wrong high half
        HKEY_PERFORMANCE_DATA,                   // a root this registry does not have
    };
    for (HKEY h : bad) {
        SCOPED_TRACE(reinterpret_cast<uintptr_t>(h));
        HKEY out = reinterpret_cast<HKEY>(1);
        DWORD size = 0, one = 1, count = 0;
        WCHAR name[16];
        DWORD length = 16;
        EXPECT_EQ(RegOpenKeyExW(h, u"x", 0, KEY_READ, &out), ERROR_INVALID_HANDLE);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(Create(h, u"x", &out), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegQueryValueExW(h, u"x", nullptr, nullptr, nullptr, &size),
                  ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegGetValueW(h, nullptr, u"x", RRF_RT_ANY, nullptr, nullptr, &size),
                  ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegSetValueExW(h, u"x", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4),
                  ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegDeleteValueW(h, u"x"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegDeleteKeyW(h, u"x"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegDeleteTreeW(h, u"x"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegEnumKeyExW(h, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
                  ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegEnumValueW(h, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
                  ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr),
                  ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegFlushKey(h), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegCloseKey(h), ERROR_INVALID_HANDLE);
    }
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, &key), ERROR_SUCCESS)
        << "a root stays usable after it was closed";
    RegCloseKey(key);
}

TEST(RegistryHandles, AHandleAllowsOnlyWhatItWasOpenedFor) {
    HKEY writable = nullptr;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, u"Software\\Kavrel\\Access\\Sub", &writable),
              ERROR_SUCCESS);
    RegCloseKey(writable);
    HKEY reader = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Kavrel\\Access", 0, KEY_READ, &reader),
              ERROR_SUCCESS);
    DWORD one = 1;
    EXPECT_EQ(RegSetValueExW(reader, u"x", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueW(reader, u"x"), ERROR_ACCESS_DENIED);
    HKEY created = nullptr;
    EXPECT_EQ(
        RegCreateKeyExW(reader, u"New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr),
        ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCreateKeyExW(reader, u"Sub", 0, nullptr, 0, KEY_READ, nullptr, &created, nullptr),
              ERROR_SUCCESS)
        << "opening an existing subkey needs no create right";
    RegCloseKey(created);

    HKEY query_only = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Kavrel\\Access", 0, KEY_QUERY_VALUE,
                            &query_only),
              ERROR_SUCCESS);
    WCHAR name[16];
    DWORD length = 16;
    EXPECT_EQ(RegEnumKeyExW(query_only, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_ACCESS_DENIED);
    RegCloseKey(query_only);
    RegCloseKey(reader);
}

TEST(RegistryHandles, QueryInfoCountsAndMeasures) {
    HKEY key = nullptr;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, u"Software\\Kavrel\\Info", &key), ERROR_SUCCESS);
    for (const char16_t* name : {u"a", u"abcdef", u"abc"}) {
        HKEY sub = nullptr;
        ASSERT_EQ(Create(key, name, &sub), ERROR_SUCCESS);
        RegCloseKey(sub);
    }
    const BYTE data[10] = {};
    ASSERT_EQ(RegSetValueExW(key, u"seven77", 0, REG_BINARY, data, 10), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, u"x", 0, REG_BINARY, data, 3), ERROR_SUCCESS);
    DWORD subkeys = 0, max_subkey = 0, values = 0, max_name = 0, max_data = 0;
    ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &max_subkey, nullptr,
                               &values, &max_name, &max_data, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 3u);
    EXPECT_EQ(max_subkey, 6u) << "characters, without the terminator";
    EXPECT_EQ(values, 2u);
    EXPECT_EQ(max_name, 7u);
    EXPECT_EQ(max_data, 10u) << "bytes";
    RegCloseKey(key);
}

}  // namespace
