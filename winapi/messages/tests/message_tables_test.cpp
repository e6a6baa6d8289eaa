// The system table and the language rules of message lookups.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "compiler/message_source.h"
#include "kvtest/test_env.h"
#include "kvwin/com_error_text.h"
#include "kvwin/message_text.h"
#include "kvwin/utf.h"
#include "pe_builder.h"
#include "win/errors.h"
#include "win/handles.h"
#include "win/memory.h"
#include "win/messages.h"
#include "win/modules.h"
#include "win/wbemcli.h"

namespace {

constexpr DWORD kSystem = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

// The system text of a code, or "<error N>".
std::u16string SystemText(DWORD id, DWORD language = 0) {
    LPWSTR text = nullptr;
    const DWORD n = FormatMessageW(kSystem | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, id, language,
                                   reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    if (n == 0)
        return u"<error " + kvwin::FromUtf8(std::to_string(GetLastError())) + u">";
    std::u16string result(text, n);
    LocalFree(text);
    return result;
}

// Points the user's language at a locale name for one test.
void UseLocale(const char* name) {
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    if (name)
        ::setenv("LANG", name, 1);
    else
        ::unsetenv("LANG");
}

TEST(SystemMessages, EveryCodeTheLayerProducesHasATextOfItsOwn) {
    const DWORD codes[] = {ERROR_SUCCESS,
                           ERROR_INVALID_FUNCTION,
                           ERROR_FILE_NOT_FOUND,
                           ERROR_PATH_NOT_FOUND,
                           ERROR_TOO_MANY_OPEN_FILES,
                           ERROR_ACCESS_DENIED,
                           ERROR_INVALID_HANDLE,
                           ERROR_NOT_ENOUGH_MEMORY,
                           ERROR_BAD_FORMAT,
                           ERROR_INVALID_DATA,
                           ERROR_OUTOFMEMORY,
                           ERROR_INVALID_DRIVE,
                           ERROR_NO_MORE_FILES,
                           ERROR_SHARING_VIOLATION,
                           ERROR_LOCK_VIOLATION,
                           ERROR_HANDLE_EOF,
                           ERROR_NOT_SUPPORTED,
                           ERROR_BAD_NETPATH,
                           ERROR_FILE_EXISTS,
                           ERROR_INVALID_PARAMETER,
                           ERROR_BROKEN_PIPE,
                           ERROR_DISK_FULL,
                           ERROR_CALL_NOT_IMPLEMENTED,
                           ERROR_INSUFFICIENT_BUFFER,
                           ERROR_INVALID_NAME,
                           ERROR_MOD_NOT_FOUND,
                           ERROR_PROC_NOT_FOUND,
                           ERROR_NEGATIVE_SEEK,
                           ERROR_DIR_NOT_EMPTY,
                           ERROR_BUSY,
                           ERROR_ALREADY_EXISTS,
                           ERROR_BAD_EXE_FORMAT,
                           ERROR_ENVVAR_NOT_FOUND,
                           ERROR_FILENAME_EXCED_RANGE,
                           ERROR_MORE_DATA,
                           WAIT_TIMEOUT,
                           ERROR_NO_MORE_ITEMS,
                           ERROR_DIRECTORY,
                           ERROR_NOT_OWNER,
                           ERROR_PARTIAL_COPY,
                           ERROR_MR_MID_NOT_FOUND,
                           ERROR_INVALID_ADDRESS,
                           ERROR_ABANDONED_WAIT_0,
                           ERROR_MAPPED_ALIGNMENT,
                           ERROR_NO_TOKEN,
                           ERROR_BADDB,
                           ERROR_BADKEY,
                           ERROR_CANTOPEN,
                           ERROR_CANTREAD,
                           ERROR_CANTWRITE,
                           ERROR_REGISTRY_CORRUPT,
                           ERROR_REGISTRY_IO_FAILED,
                           ERROR_KEY_DELETED,
                           ERROR_NO_UNICODE_TRANSLATION,
                           ERROR_NOT_FOUND,
                           1223 /* cancelled */,
                           ERROR_NOT_ALL_ASSIGNED,
                           ERROR_SOME_NOT_MAPPED,
                           ERROR_PRIVILEGE_NOT_HELD,
                           ERROR_NONE_MAPPED,
                           ERROR_INVALID_SID,
                           ERROR_INVALID_SECURITY_DESCR,
                           ERROR_BAD_IMPERSONATION_LEVEL,
                           ERROR_TIMEOUT,
                           ERROR_RESOURCE_DATA_NOT_FOUND,
                           ERROR_RESOURCE_TYPE_NOT_FOUND,
                           ERROR_RESOURCE_NAME_NOT_FOUND,
                           ERROR_RESOURCE_LANG_NOT_FOUND,
                           ERROR_INVALID_PRINTER_NAME,
                           DWORD(E_FAIL),
                           DWORD(E_NOTIMPL),
                           DWORD(E_NOINTERFACE),
                           DWORD(E_POINTER),
                           DWORD(E_ABORT),
                           DWORD(E_UNEXPECTED),
                           DWORD(E_PENDING),
                           DWORD(CLASS_E_NOAGGREGATION),
                           DWORD(CLASS_E_CLASSNOTAVAILABLE),
                           DWORD(REGDB_E_CLASSNOTREG),
                           DWORD(CO_E_NOTINITIALIZED),
                           DWORD(CO_E_CLASSSTRING),
                           DWORD(RPC_E_CHANGED_MODE),
                           DWORD(DISP_E_MEMBERNOTFOUND),
                           DWORD(DISP_E_TYPEMISMATCH),
                           DWORD(DISP_E_UNKNOWNNAME),
                           DWORD(DISP_E_EXCEPTION),
                           DWORD(DISP_E_OVERFLOW),
                           DWORD(DISP_E_BADINDEX),
                           DWORD(DISP_E_BADPARAMCOUNT),
                           DWORD(DISP_E_PARAMNOTOPTIONAL),
                           DWORD(DISP_E_DIVBYZERO),
                           DWORD(TYPE_E_ELEMENTNOTFOUND),
                           DWORD(TYPE_E_TYPEMISMATCH),
                           DWORD(TYPE_E_LIBNOTREGISTERED),
                           DWORD(MK_E_SYNTAX)};
    std::vector<std::u16string> seen;
    for (DWORD code : codes) {
        SCOPED_TRACE(code);
        const std::u16string text = SystemText(code);
        ASSERT_GT(text.size(), 4u) << kvwin::ToUtf8(text);
        EXPECT_EQ(text.substr(text.size() - 3), u".\r\n") << kvwin::ToUtf8(text);
        for (const std::u16string& other : seen)
            EXPECT_NE(text, other);
        seen.push_back(text);
    }
}

TEST(SystemMessages, HresultsOfWin32CodesShareTheirTexts) {
    EXPECT_EQ(SystemText(DWORD(E_OUTOFMEMORY)), SystemText(ERROR_OUTOFMEMORY));
    EXPECT_EQ(SystemText(DWORD(E_INVALIDARG)), SystemText(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(SystemText(DWORD(E_ACCESSDENIED)), SystemText(ERROR_ACCESS_DENIED));
    EXPECT_EQ(SystemText(DWORD(HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION))),
              SystemText(ERROR_SHARING_VIOLATION));
    // Only facility 7 maps; other facilities with the same low word do not.
    EXPECT_EQ(SystemText(0x80080002u), u"<error 317>");
    EXPECT_EQ(SystemText(0x8007FFF0u), u"<error 317>");
}

TEST(SystemMessages, InsertsOfSystemTextsAreKeptOrFilled) {
    EXPECT_NE(SystemText(ERROR_BAD_EXE_FORMAT).find(u"%1"), std::u16string::npos);
    const DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>(u"tool.exe")};
    WCHAR buffer[256];
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                   nullptr, ERROR_BAD_EXE_FORMAT, 0, buffer, 256,
                                   reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(args)));
    const std::u16string text(buffer, n);
    EXPECT_EQ(text.find(u"tool.exe"), 0u);
    // Without arguments and without IGNORE_INSERTS a text with inserts fails.
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_BAD_EXE_FORMAT, 0, buffer,
                             256, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    // With the width mask the final line break becomes a space.
    const DWORD m = FormatMessageW(kSystem | FORMAT_MESSAGE_MAX_WIDTH_MASK, nullptr,
                                   ERROR_FILE_NOT_FOUND, 0, buffer, 256, nullptr);
    const std::u16string joined(buffer, m);
    EXPECT_EQ(joined, SystemText(ERROR_FILE_NOT_FOUND).substr(0, joined.size() - 1) + u" ");
}

TEST(SystemMessages, LanguagesFallBackOnlyWhenAskedTo) {
    UseLocale("de_DE.UTF-8");
    const std::u16string english = SystemText(ERROR_ACCESS_DENIED, 0x0409);
    ASSERT_NE(english.find(u"."), std::u16string::npos);
    // 0 falls back to US English; the user's default (0x0400) is German, which the table
    // does not have, and neither has it any other specific language.
    EXPECT_EQ(SystemText(ERROR_ACCESS_DENIED, 0), english);
    EXPECT_EQ(SystemText(ERROR_ACCESS_DENIED, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT)),
              u"<error 1815>");
    EXPECT_EQ(SystemText(ERROR_ACCESS_DENIED, MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT)),
              english);
    EXPECT_EQ(SystemText(ERROR_ACCESS_DENIED, 0x0407), u"<error 1815>");
    EXPECT_EQ(SystemText(ERROR_ACCESS_DENIED, 0x10409), u"<error 1815>");
    // An id no table holds, in a language that exists.
    EXPECT_EQ(SystemText(0x0ABCDEF1u, 0x0409), u"<error 317>");
    EXPECT_EQ(SystemText(0x0ABCDEF1u, 0), u"<error 317>");
}

TEST(SystemMessages, ComRuntimeTextsComeFromTheSystemTable) {
    const std::u16string table = SystemText(DWORD(E_NOINTERFACE));
    EXPECT_EQ(kvwin::HresultText(E_NOINTERFACE) + u"\r\n", table);
    EXPECT_EQ(kvwin::HresultText(E_OUTOFMEMORY) + u"\r\n", SystemText(ERROR_OUTOFMEMORY));
    EXPECT_EQ(kvwin::HresultText(static_cast<HRESULT>(0x80049999)), u"Unknown error 0x80049999");
}

TEST(SystemMessages, BuiltInTablesNameTheirCodes) {
    EXPECT_STREQ(kvwin::MessageSymbolicName(DWORD(E_FAIL)), "E_FAIL");
    EXPECT_STREQ(kvwin::MessageSymbolicName(DWORD(WBEM_E_INVALID_CLASS)), "WBEM_E_INVALID_CLASS");
    EXPECT_STREQ(kvwin::MessageSymbolicName(ERROR_FILE_NOT_FOUND), "ERROR_FILE_NOT_FOUND");
    EXPECT_EQ(kvwin::MessageSymbolicName(0x80049999), nullptr);
    EXPECT_STREQ(kvwin::MessageSymbolicName(ERROR_SUCCESS), "ERROR_SUCCESS");
}

// A module in several languages, to follow the fallback order.
std::string WriteModule(const std::string& name, const std::string& source) {
    kvmc::MessageSource parsed;
    std::string error;
    EXPECT_TRUE(kvmc::ParseMessageSource(source, parsed, error)) << error;
    const std::string path = kvtest::MakeTempFolder("langs") + "/" + name;
    kvtest::WriteBytes(path, kvmc::CompileMessageTable(parsed));
    return path;
}

std::u16string ModuleText(HMODULE module, DWORD id, DWORD language) {
    WCHAR buffer[256];
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   module, id, language, buffer, 256, nullptr);
    if (n == 0)
        return u"<error " + kvwin::FromUtf8(std::to_string(GetLastError())) + u">";
    return std::u16string(buffer, n);
}

TEST(MessageLanguages, ZeroSearchesNeutralUserSystemEnglishThenAny) {
    const std::string path = WriteModule("langs.dll",
                                         "language 0x0407\n"
                                         "message 1\nDeutsch\n.\n"
                                         "message 2\nnur Deutsch\n.\n"
                                         "language 0x040C\n"
                                         "message 1\nFrançais\n.\n");
    HMODULE module =
        LoadLibraryExW(kvwin::FromUtf8(path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);

    UseLocale("fr_FR.UTF-8");
    EXPECT_EQ(ModuleText(module, 1, 0), u"Français\r\n");
    EXPECT_EQ(ModuleText(module, 1, 0x0400), u"Français\r\n");
    // The user's table lacks it: the search goes on to any language that has it.
    EXPECT_EQ(ModuleText(module, 2, 0), u"nur Deutsch\r\n");
    EXPECT_EQ(ModuleText(module, 2, 0x040C), u"<error 317>");

    UseLocale("de_AT.UTF-8");  // Austrian German: no table, so any language serves
    EXPECT_EQ(ModuleText(module, 1, 0), u"Deutsch\r\n");
    UseLocale(nullptr);
    EXPECT_EQ(ModuleText(module, 1, 0), u"Deutsch\r\n");
    EXPECT_EQ(ModuleText(module, 1, 0x0409), u"<error 1815>");
    EXPECT_EQ(ModuleText(module, 3, 0), u"<error 317>");
    FreeLibrary(module);

    const std::string ordered = WriteModule("ordered.dll",
                                            "language 0x0409\nmessage 1\nEnglish\n.\n"
                                            "language 0x0407\nmessage 1\nDeutsch\n.\n"
                                            "language 0x0000\nmessage 1\nNeutral\n.\n");
    module = LoadLibraryExW(kvwin::FromUtf8(ordered).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    UseLocale("de_DE.UTF-8");
    EXPECT_EQ(ModuleText(module, 1, 0), u"Neutral\r\n");  // neutral comes first
    EXPECT_EQ(ModuleText(module, 1, 0x0400), u"Deutsch\r\n");
    EXPECT_EQ(ModuleText(module, 1, 0x0409), u"English\r\n");
    // LC_ALL outranks LANG.
    ::setenv("LC_ALL", "en_US.UTF-8", 1);
    EXPECT_EQ(ModuleText(module, 1, 0x0400), u"English\r\n");
    FreeLibrary(module);
}

TEST(MessageLanguages, WindowsImagesServeTheirMessageTablesPerLanguage) {
    std::vector<kvtest::PeResource> resources;
    resources.push_back({11, 1, 0x0407, kvmc::CompileMessageResource({{5, u"fünf\r\n"}})});
    resources.push_back(
        {11, 1, 0x0409, kvmc::CompileMessageResource({{5, u"five\r\n"}, {6, u"six %1\r\n"}})});
    const std::string path = kvtest::MakeTempFolder("pe-messages") + "/msgs.dll";
    kvtest::WriteBytes(path, kvtest::PeBuilder::Build(resources));
    HMODULE module =
        LoadLibraryExW(kvwin::FromUtf8(path).c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    UseLocale("C");
    EXPECT_EQ(ModuleText(module, 5, 0), u"five\r\n");
    EXPECT_EQ(ModuleText(module, 5, 0x0407), u"fünf\r\n");
    EXPECT_EQ(ModuleText(module, 6, 0), u"six %1\r\n");
    EXPECT_EQ(ModuleText(module, 7, 0x0409), u"<error 317>");
    EXPECT_TRUE(FreeLibrary(module));

    // An image without message tables loads, and has no messages.
    kvtest::WriteBytes(path, kvtest::PeBuilder::Build({{16, 1, 0x0409, {1, 2, 3, 4}}}));
    module = LoadLibraryExW(kvwin::FromUtf8(path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(ModuleText(module, 5, 0), u"<error 1813>");
    FreeLibrary(module);
}

}  // namespace
