// The registry text reader and the program files folder; module paths; install mode.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include "files/install_mode.h"
#include "files/module_paths.h"
#include "files/program_files.h"
#include "files/registry_text.h"
#include "kvtest/registry_values.h"
#include "kvwin/utf.h"
#include "kvwin/wide_string.h"
#include "win/environment.h"
#include "win/errors.h"

namespace {

constexpr WCHAR kKey[] = TEXT("Software\\Kavrel Tests\\Files");

void SetValue(const WCHAR* name, DWORD type, const void* data, DWORD size) {
    kvtest::SetRegistryValue(HKEY_LOCAL_MACHINE, kKey, name, type, data, size);
}

void SetText(const WCHAR* name, DWORD type, const WString& text) {
    kvtest::SetRegistryText(HKEY_LOCAL_MACHINE, kKey, name, text, type);
}

// The text read, or "error <code>".
std::string Read(const WCHAR* name) {
    WString text = TEXT("untouched");
    if (!ReadRegistryText(HKEY_LOCAL_MACHINE, kKey, name, KEY_READ, text))
        return "error " + std::to_string(GetLastError()) + " " + kvwin::ToUtf8(text);
    return kvwin::ToUtf8(text);
}

TEST(RegistryText, ReadsTextExpandableTextAndFourByteNumbers) {
    SetText(TEXT("Text"), REG_SZ, TEXT("C:\\Program Files"));
    // Stored without its terminator, or with text after one: read up to the first.
    SetValue(TEXT("Unterminated"), REG_SZ, TEXT("abc"), 6);
    SetValue(TEXT("Embedded"), REG_SZ, TEXT("ab\0cd"), 10);
    ASSERT_TRUE(SetEnvironmentVariableW(TEXT("KAVREL_FILES_TEST"), TEXT("expanded")));
    SetText(TEXT("Expand"), REG_EXPAND_SZ, TEXT("%KAVREL_FILES_TEST%\\x %UNKNOWN_FILES_VAR%"));
    const int32_t negative = -5, big = INT_MAX;
    SetValue(TEXT("Number"), REG_DWORD, &negative, 4);
    SetValue(TEXT("Binary"), REG_BINARY, &big, 4);

    EXPECT_EQ(Read(TEXT("Text")), "C:\\Program Files");
    EXPECT_EQ(Read(TEXT("Unterminated")), "abc");
    EXPECT_EQ(Read(TEXT("Embedded")), "ab");
    EXPECT_EQ(Read(TEXT("Expand")), "expanded\\x %UNKNOWN_FILES_VAR%");
    EXPECT_EQ(Read(TEXT("Number")), "-5");
    EXPECT_EQ(Read(TEXT("Binary")), "2147483647");
}

TEST(RegistryText, ValuesLargerThanTheFirstBufferAreReadWhole) {
    SetText(TEXT("Long"), REG_SZ, WString(3000, TEXT('v')));
    EXPECT_EQ(Read(TEXT("Long")), std::string(3000, 'v'));
}

TEST(RegistryText, OtherTypesAndMissingKeysOrValuesFailWithTheirErrors) {
    const int64_t quad = 1;
    SetValue(TEXT("Quad"), REG_QWORD, &quad, 8);
    SetValue(TEXT("Short"), REG_BINARY, "\1\2", 2);
    SetValue(TEXT("Multi"), REG_MULTI_SZ, TEXT("a\0b\0"), 10);
    EXPECT_EQ(Read(TEXT("Quad")), "error 13 untouched");
    EXPECT_EQ(Read(TEXT("Short")), "error 13 untouched");
    EXPECT_EQ(Read(TEXT("Multi")), "error 13 untouched");
    EXPECT_EQ(Read(TEXT("Missing")), "error 2 untouched");

    WString text = TEXT("untouched");
    EXPECT_FALSE(ReadRegistryText(HKEY_LOCAL_MACHINE, TEXT("Software\\No Such Key"), TEXT("x"),
                                  KEY_READ, text));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(text, TEXT("untouched"));
}

TEST(ProgramFilesFolder, ComesFromTheRegistryAndFallsBackToTheUsualFolder) {
    constexpr WCHAR kWindowsKey[] = TEXT("SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kWindowsKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const WString elsewhere = TEXT("D:\\Programs");
    ASSERT_EQ(RegSetValueExW(key, TEXT("ProgramFilesDir"), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(elsewhere.c_str()),
                             static_cast<DWORD>((elsewhere.size() + 1) * 2)),
              ERROR_SUCCESS);
    EXPECT_EQ(GetProgramFilesFolder(), elsewhere);
    ASSERT_EQ(RegDeleteValueW(key, TEXT("ProgramFilesDir")), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(GetProgramFilesFolder(), TEXT("C:\\Program Files"));
}

WString ExecutablePath() {
    char path[4096] = {};
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? kvwin::FromUtf8(std::string(path, static_cast<size_t>(length))) : TEXT("");
}

TEST(ModulePaths, NameTheExecutableAndItsFolder) {
    const WString executable = ExecutablePath();
    ASSERT_FALSE(executable.empty());
    EXPECT_EQ(GetModuleFilePath(nullptr), executable);
    EXPECT_EQ(GetModuleFolder(nullptr), executable.substr(0, executable.rfind(TEXT('/'))));
    EXPECT_EQ(GetProcessModuleName(nullptr, nullptr, false), TEXT("files_test"));
    EXPECT_EQ(GetProcessModuleName(GetCurrentProcess(), nullptr, true), executable);
}

TEST(InstallMode, IsOnForExactlyOkOrSilent) {
    constexpr WCHAR kVariable[] = TEXT("Zor_{407B8F95-9674-45e8-B441-969669DBEB56}");
    EXPECT_FALSE(IsInstallMode());
    for (const WCHAR* on : {TEXT("OK"), TEXT("Silent")}) {
        ASSERT_TRUE(SetEnvironmentVariableW(kVariable, on));
        EXPECT_TRUE(IsInstallMode()) << kvwin::ToUtf8(on);
    }
    for (const WCHAR* off :
         {TEXT("ok"), TEXT("OK "), TEXT(""), TEXT("OK but far too long for twenty")}) {
        ASSERT_TRUE(SetEnvironmentVariableW(kVariable, off));
        EXPECT_FALSE(IsInstallMode()) << kvwin::ToUtf8(off);
    }
}

}  // namespace
