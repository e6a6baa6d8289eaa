// The log's registry values with their acceptance rules, and the shared generation block.
#include <gtest/gtest.h>

#include <atomic>

#include "kvtest/test_env.h"
#include "kvwin/wide_string.h"
#include "log/log_configuration.h"
#include "log/shared_memory.h"
#include "win/errors.h"
#include "win/handles.h"

namespace {

HKEY CreateKey(const WCHAR* path) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    return key;
}

void SetRaw(HKEY key, const WCHAR* name, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
}

void SetDword(HKEY key, const WCHAR* name, DWORD value) {
    SetRaw(key, name, REG_DWORD, &value, sizeof value);
}

TEST(LogConfiguration, DefaultsWithoutAKeyAndMinimumsApplied) {
    {
        const kvwin::RegistryKey missing(HKEY_LOCAL_MACHINE, kLogConfigurationKey);
        EXPECT_FALSE(missing);
        const LogLimits limits = ReadLogLimits(missing);
        EXPECT_EQ(limits.severityMask, 7u);
        EXPECT_EQ(limits.maxSizeKb, 100u);
        EXPECT_EQ(limits.maxFiles, 20u);
    }
    HKEY key = CreateKey(kLogConfigurationKey);
    SetDword(key, TEXT("Severity"), 0x10F);
    SetDword(key, TEXT("MaxSize"), 5);
    SetDword(key, TEXT("MaxFiles"), 1);
    RegCloseKey(key);
    const LogLimits limits =
        ReadLogLimits(kvwin::RegistryKey(HKEY_LOCAL_MACHINE, kLogConfigurationKey));
    EXPECT_EQ(limits.severityMask, 0x0Fu);
    EXPECT_EQ(limits.maxSizeKb, 10u);
    EXPECT_EQ(limits.maxFiles, 2u);
}

TEST(LogConfiguration, ValuesOfTheWrongTypeOrShapeCountAsAbsent) {
    HKEY key = CreateKey(kLogConfigurationKey);
    SetRaw(key, TEXT("MaxSize"), REG_SZ, TEXT("500"), 8);
    const WCHAR noTerminator[] = {TEXT('a'), TEXT('b')};
    SetRaw(key, TEXT("FileName"), REG_SZ, noTerminator, sizeof noTerminator);
    SetRaw(key, TEXT("FilePath"), REG_EXPAND_SZ, TEXT("%TEMP%\\x"), 3);  // odd size
    SetRaw(key, TEXT("Empty"), REG_SZ, TEXT(""), 2);
    SetRaw(key, TEXT("Long"), REG_SZ, WString(600, TEXT('x')).c_str(), 1202);
    RegCloseKey(key);

    const kvwin::RegistryKey config(HKEY_LOCAL_MACHINE, kLogConfigurationKey);
    EXPECT_EQ(ReadLogLimits(config).maxSizeKb, 100u);
    EXPECT_FALSE(config.Text(TEXT("FileName"), 520));
    EXPECT_FALSE(config.Text(TEXT("FilePath"), 1040));
    EXPECT_EQ(config.Text(TEXT("Empty"), 520), WString());
    EXPECT_FALSE(config.Text(TEXT("Long"), 520));
    EXPECT_TRUE(config.Text(TEXT("Long"), 1202));
}

TEST(LogConfiguration, HeaderTextMustBeNonEmpty) {
    EXPECT_EQ(ReadLogFileHeader(), TEXT(""));
    HKEY key = CreateKey(kLogHeaderKey);
    SetRaw(key, TEXT("LogFileHeader"), REG_SZ, TEXT("Agent 9"), 16);
    RegCloseKey(key);
    EXPECT_EQ(ReadLogFileHeader(), TEXT("Agent 9"));
}

TEST(SharedMemory, ArgumentsAndDoubleCreateAreRefused) {
    Memory::SharedMemory block;
    EXPECT_EQ(block.Create(TEXT("Local\\kv-block"), 0, nullptr, nullptr, false),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    ASSERT_EQ(block.Create(TEXT("Local\\kv-block"), 4, nullptr, nullptr, false), 0u);
    EXPECT_EQ(block.Create(TEXT("Local\\kv-block"), 4, nullptr, nullptr, false),
              static_cast<DWORD>(ERROR_ALREADY_INITIALIZED));
    block.Close();
    EXPECT_EQ(block.Data(), nullptr);
    EXPECT_EQ(block.Create(TEXT("Local\\kv-block"), 4, nullptr, nullptr, false), 0u);
}

TEST(SharedMemory, AnExistingBlockKeepsItsContentsAcrossProcesses) {
    const uint32_t initial = 5;
    Memory::SharedMemory block;
    ASSERT_EQ(block.Create(TEXT("Global\\kv-generation"), 4, &initial, nullptr, false), 0u);
    auto* counter = static_cast<uint32_t*>(block.Data());
    ASSERT_EQ(*counter, 5u);

    const auto children = kvtest::RunInChildren(3, [](int) {
        Memory::SharedMemory mine;
        const uint32_t zero = 0;
        if (mine.Create(TEXT("Global\\kv-generation"), 4, &zero, nullptr, false) != 0)
            _exit(2);
        std::atomic_ref<uint32_t>(*static_cast<uint32_t*>(mine.Data())).fetch_add(1);
    });
    for (const auto& child : children)
        ASSERT_TRUE(child.exited && child.exit_code == 0) << child.output;
    EXPECT_EQ(std::atomic_ref<uint32_t>(*counter).load(), 8u);
}

}  // namespace
