// The registry text reader and the program files folder; module paths; install mode.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include "files/install_mode.h"
#include "files/module_paths.h"
#include "files/program_files.h"
#include "files/registry_text.h"
#include "kvwin/utf.h"
#include "win/environment.h"
#include "win/errors.h"

namespace {

constexpr char16_t kKey[] = u"Software\\Kavrel Tests\\Files";

void SetValue(const char16_t* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void SetText(const char16_t* name, DWORD type, const std::u16string& text) {
    SetValue(name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * 2));
}

// The text read, or "error <code>".
std::string Read(const char16_t* name) {
    std::u16string text = u"untouched";
    if (!ReadRegistryText(HKEY_LOCAL_MACHINE, kKey, name, KEY_READ, text))
        return "error " + std::to_string(GetLastError()) + " " + kvwin::ToUtf8(text);
    return kvwin::ToUtf8(text);
}

TEST(RegistryText, ReadsTextExpandableTextAndFourByteNumbers) {
    SetText(u"Text", REG_SZ, u"C:\\Program Files");
    // Stored without its terminator, or with text after one: read up to the first.
    SetValue(u"Unterminated", REG_SZ, u"abc", 6);
    SetValue(u"Embedded", REG_SZ, u"ab\0cd", 10);
    ASSERT_TRUE(SetEnvironmentVariableW(u"KAVREL_FILES_TEST", u"expanded"));
    SetText(u"Expand", REG_EXPAND_SZ, u"%KAVREL_FILES_TEST%\\x %UNKNOWN_FILES_VAR%");
    const int32_t negative = -5, big = INT_MAX;
    SetValue(u"Number", REG_DWORD, &negative, 4);
    SetValue(u"Binary", REG_BINARY, &big, 4);

    EXPECT_EQ(Read(u"Text"), "C:\\Program Files");
    EXPECT_EQ(Read(u"Unterminated"), "abc");
    EXPECT_EQ(Read(u"Embedded"), "ab");
    EXPECT_EQ(Read(u"Expand"), "expanded\\x %UNKNOWN_FILES_VAR%");
    EXPECT_EQ(Read(u"Number"), "-5");
    EXPECT_EQ(Read(u"Binary"), "2147483647");
}

TEST(RegistryText, ValuesLargerThanTheFirstBufferAreReadWhole) {
    SetText(u"Long", REG_SZ, std::u16string(3000, u'v'));
    EXPECT_EQ(Read(u"Long"), std::string(3000, 'v'));
}

TEST(RegistryText, OtherTypesAndMissingKeysOrValuesFailWithTheirErrors) {
    const int64_t quad = 1;
    SetValue(u"Quad", REG_QWORD, &quad, 8);
    SetValue(u"Short", REG_BINARY, "\1\2", 2);
    SetValue(u"Multi", REG_MULTI_SZ, u"a\0b\0", 10);
    EXPECT_EQ(Read(u"Quad"), "error 13 untouched");
    EXPECT_EQ(Read(u"Short"), "error 13 untouched");
    EXPECT_EQ(Read(u"Multi"), "error 13 untouched");
    EXPECT_EQ(Read(u"Missing"), "error 2 untouched");

    std::u16string text = u"untouched";
    EXPECT_FALSE(
        ReadRegistryText(HKEY_LOCAL_MACHINE, u"Software\\No Such Key", u"x", KEY_READ, text));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(text, u"untouched");
}

TEST(ProgramFilesFolder, ComesFromTheRegistryAndFallsBackToTheUsualFolder) {
    constexpr char16_t kWindowsKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kWindowsKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::u16string elsewhere = u"D:\\Programs";
    ASSERT_EQ(RegSetValueExW(key, u"ProgramFilesDir", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(elsewhere.c_str()),
                             static_cast<DWORD>((elsewhere.size() + 1) * 2)),
              ERROR_SUCCESS);
    EXPECT_EQ(GetProgramFilesFolder(), elsewhere);
    ASSERT_EQ(RegDeleteValueW(key, u"ProgramFilesDir"), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(GetProgramFilesFolder(), u"C:\\Program Files");
}

std::u16string ExecutablePath() {
    char path[4096] = {};
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? kvwin::FromUtf8(std::string(path, static_cast<size_t>(length))) : u"";
}

TEST(ModulePaths, NameTheExecutableAndItsFolder) {
    const std::u16string executable = ExecutablePath();
    ASSERT_FALSE(executable.empty());
    EXPECT_EQ(GetModuleFilePath(nullptr), executable);
    EXPECT_EQ(GetModuleFolder(nullptr), executable.substr(0, executable.rfind(u'/')));
    EXPECT_EQ(GetProcessModuleName(nullptr, nullptr, false), u"files_test");
    EXPECT_EQ(GetProcessModuleName(GetCurrentProcess(), nullptr, true), executable);
}

TEST(InstallMode, IsOnForExactlyOkOrSilent) {
    constexpr char16_t kVariable[] = u"Zor_{407B8F95-9674-45e8-B441-969669DBEB56}";
    EXPECT_FALSE(IsInstallMode());
    for (const char16_t* on : {u"OK", u"Silent"}) {
        ASSERT_TRUE(SetEnvironmentVariableW(kVariable, on));
        EXPECT_TRUE(IsInstallMode()) << kvwin::ToUtf8(on);
    }
    for (const char16_t* off : {u"ok", u"OK ", u"", u"OK but far too long for twenty"}) {
        ASSERT_TRUE(SetEnvironmentVariableW(kVariable, off));
        EXPECT_FALSE(IsInstallMode()) << kvwin::ToUtf8(off);
    }
}

}  // namespace
