// Error descriptions: which table answers, in which order, and what the agent's message
// module adds; COM errors raised with a text and read back.
#include <gtest/gtest.h>

#include <filesystem>

#include "errors/error_description.h"
#include "kvtest/test_env.h"
#include "win/comdef.h"
#include "win/errors.h"
#include "win/registry.h"

namespace {

constexpr uint32_t kUnknownCode = 0x01234567;

// Installs the agent's message module as an installed agent has it: the file in a folder
// named by "InstallDir". Must run before the first description of the process.
void InstallAgentMessageModule() {
    const std::string folder = kvtest::TestStateRoot() + "/Agent";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(KAVREL_AGENT_MESSAGE_MODULE, folder + "/ZorAgentExt.dll");
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Quillon\\Quillon Agent", 0, nullptr,
                              0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::u16string value = u"C:\\Agent\\";
    ASSERT_EQ(
        RegSetValueExW(key, u"InstallDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR))),
        ERROR_SUCCESS);
    RegCloseKey(key);
}

std::u16string Describe(uint32_t code, uint32_t options = 0) {
    return GetErrorDescription(code, options, 1033);
}

// Without the agent's module: the system table, then the WMI and Internet libraries, then
// the fixed fallback; each text loses its line break and its last full stop.
TEST(ErrorDescription, WithoutTheAgentModuleTheTablesAnswerInOrderThenTheFallback) {
    EXPECT_EQ(Describe(ERROR_FILE_NOT_FOUND), u"No file exists at the path given");
    EXPECT_EQ(Describe(0x80041002), u"The object or property was not found");
    EXPECT_EQ(Describe(12002), u"The request ran out of time");
    EXPECT_EQ(Describe(kUnknownCode), u"No error description available");
    EXPECT_EQ(Describe(kUnknownCode, kErrorTextWrapDescribed),
              u"No error description available (0x01234567)");
    EXPECT_EQ(Describe(kUnknownCode, kErrorTextNoFallback), u"");
    // Wrapping needs the module: without it a known text stays as it is.
    EXPECT_EQ(Describe(ERROR_ACCESS_DENIED, kErrorTextWrapByCode),
              u"Permission to do this was refused");
    EXPECT_EQ(GetErrorText(kUnknownCode), u"");
}

TEST(ErrorDescription, ACodeIsDescribedWithItsNameAndTextWhenTheTablesKnowThem) {
    EXPECT_EQ(DescribeErrorCode(0x80041010),
              u"0x80041010 WBEM_E_INVALID_CLASS (" + GetErrorText(0x80041010) + u")");
    EXPECT_EQ(DescribeErrorCode(kUnknownCode), u"0x01234567");
}

TEST(ErrorDescription, TheAgentModuleGivesUnknownCodesAndWrapsKnownOnes) {
    InstallAgentMessageModule();
    EXPECT_EQ(Describe(ERROR_FILE_NOT_FOUND), u"No file exists at the path given");
    EXPECT_EQ(Describe(kUnknownCode), u"No description is available for error 0x01234567");
    EXPECT_EQ(Describe(ERROR_FILE_NOT_FOUND, kErrorTextWrapDescribed),
              u"No file exists at the path given (error 0x00000002)");
    EXPECT_EQ(Describe(ERROR_FILE_NOT_FOUND, kErrorTextWrapCode),
              u"No file exists at the path given (network error 2)");
    // By code: the network ranges get the network wrapping, everything else the plain one.
    EXPECT_EQ(Describe(12002, kErrorTextWrapByCode),
              u"The request ran out of time (network error 12002)");
    EXPECT_EQ(Describe(0x80041002, kErrorTextWrapByCode),
              u"The object or property was not found (error 0x80041002)");
    EXPECT_EQ(Describe(kUnknownCode, kErrorTextWrapDescribed),
              u"No description is available for error 0x01234567 (error 0x01234567)");
}

// An "InstallDir" naming a folder without the module is the same as no module.
TEST(ErrorDescription, AnInstallFolderWithoutTheModuleFallsBackToTheFixedText) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Quillon\\Quillon Agent", 0, nullptr,
                              0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::u16string value = u"C:\\Nowhere";
    RegSetValueExW(key, u"InstallDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR)));
    RegCloseKey(key);
    EXPECT_EQ(Describe(kUnknownCode), u"No error description available");
}

TEST(ComErrorText, TheErrorsOwnDescriptionComesFirstThenItsCode) {
    std::u16string text;
    try {
        ThrowComError(E_FAIL, u"The query has no class");
    } catch (const _com_error& error) {
        EXPECT_EQ(GetComErrorText(error, text), E_FAIL);
        EXPECT_EQ(text, u"The query has no class");
    }
    EXPECT_EQ(GetComErrorText(_com_error(static_cast<HRESULT>(0x80041002)), text),
              static_cast<HRESULT>(0x80041002));
    EXPECT_EQ(text, u"The object or property was not found");
}

TEST(ComErrorText, ASystemTextIsAppendedToTheCallersText) {
    try {
        ThrowComErrorWithSystemText(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), ERROR_ACCESS_DENIED,
                                    u"Can't open the file");
        ADD_FAILURE() << "nothing thrown";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
        const std::u16string system = _com_error(ERROR_ACCESS_DENIED).ErrorMessage();
        EXPECT_EQ(std::u16string(static_cast<const WCHAR*>(error.Description())),
                  u"Can't open the file " + system);
    }
}

}  // namespace
