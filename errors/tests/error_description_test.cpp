// Error descriptions: which table answers, in which order, and what the agent's message
// module adds; COM errors raised with a text and read back.
#include <gtest/gtest.h>

#include <filesystem>

#include "errors/error_description.h"
#include "kvtest/test_env.h"
#include "kvwin/wide_string.h"
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
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, TEXT("Software\\Quillon\\Quillon Agent"), 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const WString value = TEXT("C:\\Agent\\");
    ASSERT_EQ(RegSetValueExW(key, TEXT("InstallDir"), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR))),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

WString Describe(uint32_t code, uint32_t options = 0) {
    return GetErrorDescription(code, options, 1033);
}

// Without the agent's module: the system table, then the WMI and Internet libraries, then
// the fixed fallback; each text loses its line break and its last full stop.
TEST(ErrorDescription, WithoutTheAgentModuleTheTablesAnswerInOrderThenTheFallback) {
    EXPECT_EQ(Describe(ERROR_FILE_NOT_FOUND), TEXT("No file exists at the path given"));
    EXPECT_EQ(Describe(0x80041002), TEXT("The object or property was not found"));
    EXPECT_EQ(Describe(12002), TEXT("The request ran out of time"));
    EXPECT_EQ(Describe(kUnknownCode), TEXT("No error description available"));
    EXPECT_EQ(Describe(kUnknownCode, kErrorTextWrapDescribed),
              TEXT("No error description available (0x01234567)"));
    EXPECT_EQ(Describe(kUnknownCode, kErrorTextNoFallback), TEXT(""));
    // Wrapping needs the module: without it a known text stays as it is.
    EXPECT_EQ(Describe(ERROR_ACCESS_DENIED, kErrorTextWrapByCode),
              TEXT("Permission to do this was refused"));
    EXPECT_EQ(GetErrorText(kUnknownCode), TEXT(""));
}

TEST(ErrorDescription, ACodeIsDescribedWithItsNameAndTextWhenTheTablesKnowThem) {
    EXPECT_EQ(DescribeErrorCode(0x80041010),
              TEXT("0x80041010 WBEM_E_INVALID_CLASS (") + GetErrorText(0x80041010) + TEXT(")"));
    EXPECT_EQ(DescribeErrorCode(kUnknownCode), TEXT("0x01234567"));
}

TEST(ErrorDescription, TheAgentModuleGivesUnknownCodesAndWrapsKnownOnes) {
    InstallAgentMessageModule();
    EXPECT_EQ(Describe(ERROR_FILE_NOT_FOUND), TEXT("No file exists at the path given"));
    EXPECT_EQ(Describe(kUnknownCode), TEXT("No description is available for error 0x01234567"));
    EXPECT_EQ(Describe(ERROR_FILE_NOT_FOUND, kErrorTextWrapDescribed),
              TEXT("No file exists at the path given (error 0x00000002)"));
    EXPECT_EQ(Describe(ERROR_FILE_NOT_FOUND, kErrorTextWrapCode),
              TEXT("No file exists at the path given (network error 2)"));
    // By code: the network ranges get the network wrapping, everything else the plain one.
    EXPECT_EQ(Describe(12002, kErrorTextWrapByCode),
              TEXT("The request ran out of time (network error 12002)"));
    EXPECT_EQ(Describe(0x80041002, kErrorTextWrapByCode),
              TEXT("The object or property was not found (error 0x80041002)"));
    EXPECT_EQ(Describe(kUnknownCode, kErrorTextWrapDescribed),
              TEXT("No description is available for error 0x01234567 (error 0x01234567)"));
}

// An "InstallDir" naming a folder without the module is the same as no module.
TEST(ErrorDescription, AnInstallFolderWithoutTheModuleFallsBackToTheFixedText) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, TEXT("Software\\Quillon\\Quillon Agent"), 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const WString value = TEXT("C:\\Nowhere");
    RegSetValueExW(key, TEXT("InstallDir"), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR)));
    RegCloseKey(key);
    EXPECT_EQ(Describe(kUnknownCode), TEXT("No error description available"));
}

TEST(ComErrorText, TheErrorsOwnDescriptionComesFirstThenItsCode) {
    WString text;
    try {
        ThrowComError(E_FAIL, TEXT("The query has no class"));
    } catch (const _com_error& error) {
        EXPECT_EQ(GetComErrorText(error, text), E_FAIL);
        EXPECT_EQ(text, TEXT("The query has no class"));
    }
    EXPECT_EQ(GetComErrorText(_com_error(static_cast<HRESULT>(0x80041002)), text),
              static_cast<HRESULT>(0x80041002));
    EXPECT_EQ(text, TEXT("The object or property was not found"));
}

TEST(ComErrorText, ASystemTextIsAppendedToTheCallersText) {
    try {
        ThrowComErrorWithSystemText(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), ERROR_ACCESS_DENIED,
                                    TEXT("Can't open the file"));
        ADD_FAILURE() << "nothing thrown";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
        const WString system = _com_error(ERROR_ACCESS_DENIED).ErrorMessage();
        EXPECT_EQ(WString(static_cast<const WCHAR*>(error.Description())),
                  TEXT("Can't open the file ") + system);
    }
}

}  // namespace
