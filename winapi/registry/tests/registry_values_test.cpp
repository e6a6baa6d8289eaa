// Values: types, exact sizes, buffer rules and the default value.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kvwin/registry_handles.h"
#include "win/registry.h"

namespace {

class RegistryValues : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Kavrel\\Values", 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key_, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override { RegCloseKey(key_); }

    LSTATUS Set(const char16_t* name, DWORD type, const void* data, DWORD size) {
        return RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data), size);
    }

    HKEY key_ = nullptr;
    DWORD bytes_ = 0;
};

TEST_F(RegistryValues, EveryTypeComesBackWithItsExactBytes) {
    const char16_t text[] = u"C:\\Program Files";
    const char16_t multi[] = u"one\0two\0";  // with the final terminator: 2 NULs at the end
    DWORD dword = 0x2a;
    ULONGLONG qword = 0x0123456789abcdefull;
    const BYTE binary[] = {0, 1, 2, 0xff, 0};
    struct Case {
        const char16_t* name;
        DWORD type;
        const void* data;
        DWORD size;
    } cases[] = {
        {u"sz", REG_SZ, text, sizeof text},
        {u"expand", REG_EXPAND_SZ, u"%TEMP%\\x", 18},
        {u"multi", REG_MULTI_SZ, multi, sizeof multi},
        {u"dword", REG_DWORD, &dword, 4},
        {u"qword", REG_QWORD, &qword, 8},
        {u"binary", REG_BINARY, binary, sizeof binary},
        {u"none", REG_NONE, nullptr, 0},
        {u"none with bytes", REG_NONE, binary, 2},
        {u"empty sz", REG_SZ, nullptr, 0},
        {u"multi unterminated", REG_MULTI_SZ, u"a\0b", 6},
        {u"custom", 0x1234, binary, 3},
    };
    for (const auto& c : cases)
        ASSERT_EQ(Set(c.name, c.type, c.data, c.size), ERROR_SUCCESS);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name)));
        DWORD type = 0;
        DWORD size = 0;
        ASSERT_EQ(RegQueryValueExW(key_, c.name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(size, c.size);
        std::vector<BYTE> buffer(size + 8, 0xcc);
        DWORD got = static_cast<DWORD>(buffer.size());
        ASSERT_EQ(RegQueryValueExW(key_, c.name, nullptr, &type, buffer.data(), &got),
                  ERROR_SUCCESS);
        ASSERT_EQ(got, c.size);
        if (c.size) {
            EXPECT_EQ(std::memcmp(buffer.data(), c.data, c.size), 0);
        }
        EXPECT_EQ(buffer[c.size], 0xcc) << "nothing written past the value";

        // A buffer of exactly the size fits; one byte less is ERROR_MORE_DATA with the size.
        got = c.size;
        EXPECT_EQ(RegQueryValueExW(key_, c.name, nullptr, &type, buffer.data(), &got),
                  ERROR_SUCCESS);
        EXPECT_EQ(got, c.size);
        if (c.size) {
            got = c.size - 1;
            type = 0;
            EXPECT_EQ(RegQueryValueExW(key_, c.name, nullptr, &type, buffer.data(), &got),
                      ERROR_MORE_DATA);
            EXPECT_EQ(got, c.size);
            EXPECT_EQ(type, c.type) << "the type is reported with ERROR_MORE_DATA";
        }
        // Type only: no size asked for.
        type = 0;
        EXPECT_EQ(RegQueryValueExW(key_, c.name, nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
        EXPECT_EQ(type, c.type);
    }
}

TEST_F(RegistryValues, StringsKeepOddSizesAndMissingTerminators) {
    // Three bytes of "AB": an odd size and no terminator are stored as given.
    ASSERT_EQ(Set(u"odd", REG_SZ, u"AB", 3), ERROR_SUCCESS);
    ASSERT_EQ(Set(u"unterminated", REG_SZ, u"ABC", 6), ERROR_SUCCESS);
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExW(key_, u"odd", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
    ASSERT_EQ(RegQueryValueExW(key_, u"unterminated", nullptr, nullptr, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);
    BYTE bytes3[3] = {};
    size = 2;
    EXPECT_EQ(RegQueryValueExW(key_, u"odd", nullptr, nullptr, bytes3, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 3u);
    ASSERT_EQ(RegQueryValueExW(key_, u"odd", nullptr, nullptr, bytes3, &size), ERROR_SUCCESS);
    EXPECT_EQ(bytes3[0], 'A');
    EXPECT_EQ(bytes3[1], 0);
    EXPECT_EQ(bytes3[2], 'B') << "the odd byte is the low half of 'B', as given";
    // Enumeration reports the same exact size.
    WCHAR name[16];
    DWORD length = 16;
    DWORD type = 0;
    size = 0;
    ASSERT_EQ(RegEnumValueW(key_, 0, name, &length, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name), u"odd");
    EXPECT_EQ(size, 3u);

    // RegGetValueW terminates what it returns and counts the terminator it added.
    WCHAR out[8] = {};
    DWORD bytes = sizeof out;
    ASSERT_EQ(RegGetValueW(key_, nullptr, u"unterminated", RRF_RT_REG_SZ, &type, out, &bytes),
              ERROR_SUCCESS);
    EXPECT_EQ(bytes, 8u);
    EXPECT_EQ(std::u16string(out), u"ABC");
    bytes = 0;
    ASSERT_EQ(RegGetValueW(key_, nullptr, u"odd", RRF_RT_REG_SZ, nullptr, nullptr, &bytes),
              ERROR_SUCCESS);
    EXPECT_EQ(bytes, 4u) << "the odd byte is dropped, one terminator added";
}

TEST_F(RegistryValues, SmallBuffersGetMoreDataWithTheNeededSize) {
    const char16_t text[] = u"0123456789";
    ASSERT_EQ(Set(u"v", REG_SZ, text, sizeof text), ERROR_SUCCESS);
    BYTE small[4];
    DWORD size = sizeof small;
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExW(key_, u"v", nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, sizeof text);
    EXPECT_EQ(type, REG_SZ);

    WCHAR name[1];
    DWORD name_len = 1;  // no room for "v" and its terminator
    EXPECT_EQ(RegEnumValueW(key_, 0, name, &name_len, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    WCHAR name2[2];
    DWORD name2_len = 2;
    size = 2;
    EXPECT_EQ(RegEnumValueW(key_, 0, name2, &name2_len, nullptr, &type, small, &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, sizeof text);
    EXPECT_EQ(name2_len, 1u) << "characters, without the terminator";

    bytes_ = 2;
    WCHAR out[1];
    EXPECT_EQ(RegGetValueW(key_, nullptr, u"v", RRF_RT_REG_SZ, nullptr, out, &bytes_),
              ERROR_MORE_DATA);
    EXPECT_EQ(bytes_, sizeof text);
}

TEST_F(RegistryValues, MissingValuesAndBadArguments) {
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key_, u"absent", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueW(key_, u"absent"), ERROR_FILE_NOT_FOUND);
    // A missing key below the handle, whether a value is read from it or it is deleted.
    EXPECT_EQ(RegGetValueW(key_, u"no such key", u"x", RRF_RT_ANY, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyW(key_, u"no such key"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteTreeW(key_, u"no such key"), ERROR_FILE_NOT_FOUND);
    BYTE data[4];
    EXPECT_EQ(RegQueryValueExW(key_, u"absent", nullptr, nullptr, data, nullptr),
              ERROR_INVALID_PARAMETER);
    DWORD reserved = 0;
    EXPECT_EQ(RegQueryValueExW(key_, u"absent", &reserved, nullptr, nullptr, &size),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Set(u"x", REG_BINARY, nullptr, 4), ERROR_NOACCESS);
    EXPECT_EQ(
        RegQueryValueExW(reinterpret_cast<HKEY>(0x4444), u"x", nullptr, nullptr, nullptr, &size),
        ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegGetValueW(key_, nullptr, u"x", 0, nullptr, nullptr, &size),
              ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryValues, DefaultValueHasNullOrEmptyName) {
    const char16_t text[] = u"default";
    ASSERT_EQ(Set(nullptr, REG_SZ, text, sizeof text), ERROR_SUCCESS);
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExW(key_, u"", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, sizeof text);
    ASSERT_EQ(RegDeleteValueW(key_, u""), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(key_, nullptr, nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryValues, ValueNamesIgnoreCaseAndKeepTheirFirstSpelling) {
    DWORD one = 1, two = 2;
    ASSERT_EQ(Set(u"MixedCase", REG_DWORD, &one, 4), ERROR_SUCCESS);
    ASSERT_EQ(Set(u"MIXEDCASE", REG_DWORD, &two, 4), ERROR_SUCCESS);
    DWORD got = 0, size = 4;
    ASSERT_EQ(RegQueryValueExW(key_, u"mixedcase", nullptr, nullptr, reinterpret_cast<BYTE*>(&got),
                               &size),
              ERROR_SUCCESS);
    EXPECT_EQ(got, 2u);
    WCHAR name[32];
    DWORD len = 32;
    ASSERT_EQ(RegEnumValueW(key_, 0, name, &len, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name), u"MixedCase");
    len = 32;
    EXPECT_EQ(RegEnumValueW(key_, 1, name, &len, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryValues, GetValueFiltersTypesAndExpands) {
    DWORD dword = 7;
    ASSERT_EQ(Set(u"d", REG_DWORD, &dword, 4), ERROR_SUCCESS);
    ASSERT_EQ(Set(u"short", REG_DWORD, &dword, 2), ERROR_SUCCESS);
    ASSERT_EQ(Set(u"bin4", REG_BINARY, &dword, 4), ERROR_SUCCESS);
    ::setenv("KAVREL_REG_TEST", "here", 1);
    const char16_t expand[] = u"%KAVREL_REG_TEST%\\x";
    ASSERT_EQ(Set(u"e", REG_EXPAND_SZ, expand, sizeof expand), ERROR_SUCCESS);

    DWORD got = 0, size = 4, type = 0;
    EXPECT_EQ(RegGetValueW(key_, nullptr, u"d", RRF_RT_REG_SZ, &type, &got, &size),
              ERROR_UNSUPPORTED_TYPE);
    size = 4;
    EXPECT_EQ(RegGetValueW(key_, nullptr, u"d", RRF_RT_DWORD, &type, &got, &size), ERROR_SUCCESS);
    EXPECT_EQ(got, 7u);
    size = 4;
    EXPECT_EQ(RegGetValueW(key_, nullptr, u"bin4", RRF_RT_DWORD, &type, &got, &size),
              ERROR_SUCCESS);
    size = 4;
    EXPECT_EQ(RegGetValueW(key_, nullptr, u"short", RRF_RT_DWORD, &type, &got, &size),
              ERROR_DATATYPE_MISMATCH);

    WCHAR text[64];
    size = sizeof text;
    ASSERT_EQ(RegGetValueW(key_, nullptr, u"e", RRF_RT_REG_SZ, &type, text, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(std::u16string(text), u"here\\x");
    size = sizeof text;
    ASSERT_EQ(
        RegGetValueW(key_, nullptr, u"e", RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, &type, text, &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, REG_EXPAND_SZ);
    EXPECT_EQ(size, sizeof expand);
    EXPECT_EQ(RegGetValueW(key_, nullptr, u"e", RRF_RT_REG_EXPAND_SZ, &type, text, &size),
              ERROR_INVALID_PARAMETER);

    // From the parent, through the subkey path, with zeroing on failure.
    HKEY parent = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Kavrel", 0, KEY_READ, &parent),
              ERROR_SUCCESS);
    size = 4;
    got = 0;
    EXPECT_EQ(RegGetValueW(parent, u"Values", u"d", RRF_RT_REG_DWORD, nullptr, &got, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(got, 7u);
    got = 0xffffffffu;
    size = 4;
    EXPECT_EQ(RegGetValueW(parent, u"Values", u"absent", RRF_RT_ANY | RRF_ZEROONFAILURE, nullptr,
                           &got, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(got, 0u);
    RegCloseKey(parent);
}

}  // namespace
