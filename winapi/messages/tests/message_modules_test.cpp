// Message modules: the built-in WMI and Internet tables, the agent's module, modules read
// from files, and loaded shared objects.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "compiler/message_source.h"
#include "kvtest/test_env.h"
#include "kvwin/utf.h"
#include "pe_builder.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/handles.h"
#include "win/memory.h"
#include "win/messages.h"
#include "win/modules.h"

namespace {

std::u16string W(const std::string& s) {
    return kvwin::FromUtf8(s);
}

std::u16string Error(DWORD code) {
    return u"<error " + W(std::to_string(code)) + u">";
}

// FormatMessageW from a module (and the system, with `flags`), inserts ignored.
std::u16string Text(HMODULE module, DWORD id, DWORD flags = FORMAT_MESSAGE_FROM_HMODULE,
                    DWORD language = 0) {
    WCHAR buffer[512];
    const DWORD n = FormatMessageW(flags | FORMAT_MESSAGE_IGNORE_INSERTS, module, id, language,
                                   buffer, 512, nullptr);
    return n ? std::u16string(buffer, n) : Error(GetLastError());
}

// FormatMessageW from a module with an argument array.
std::u16string Formatted(HMODULE module, DWORD id, const DWORD_PTR* args) {
    WCHAR buffer[512];
    const DWORD n =
        FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module, id,
                       1033, buffer, 512, reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(args)));
    return n ? std::u16string(buffer, n) : Error(GetLastError());
}

std::u16string SystemFolder() {
    WCHAR folder[MAX_PATH];
    const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    return std::u16string(folder, n);
}

TEST(MessageModules, WmiTableIsADataFileModuleAsWindowsLoadsIt) {
    for (const std::u16string& name :
         {std::u16string(u"wmiutils.dll"), SystemFolder() + u"\\wbem\\wmiutils.dll",
          SystemFolder() + u"/WBEM/WmiUtils.DLL"}) {
        SCOPED_TRACE(kvwin::ToUtf8(name));
        HMODULE wmi = LoadLibraryExW(name.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(wmi, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(wmi) & 3, 1u);  // a data-file handle
        for (DWORD code :
             {0x80041001u, 0x80041002u, 0x80041003u, 0x80041008u, 0x80041010u, 0x8004100Eu,
              0x80041017u, 0x80041018u, 0x8004100Cu, 0x80041069u, 0x80041032u, 0x80041033u}) {
            const std::u16string text = Text(wmi, code);
            EXPECT_EQ(text.substr(text.size() - 3), u".\r\n") << std::hex << code;
        }
        // WMI's codes are not in the system table; the system table backs a module up.
        EXPECT_EQ(Text(nullptr, 0x80041017u, FORMAT_MESSAGE_FROM_SYSTEM), Error(317));
        EXPECT_EQ(Text(wmi, ERROR_ACCESS_DENIED), Error(317));
        EXPECT_EQ(Text(wmi, ERROR_ACCESS_DENIED,
                       FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM),
                  Text(nullptr, ERROR_ACCESS_DENIED, FORMAT_MESSAGE_FROM_SYSTEM));
        EXPECT_EQ(Text(wmi, 0x80041017u, FORMAT_MESSAGE_FROM_HMODULE, 0x0407), Error(1815));
        EXPECT_TRUE(FreeLibrary(wmi));
        // The handle is gone after one release.
        EXPECT_EQ(Text(wmi, 0x80041017u), Error(ERROR_INVALID_HANDLE));
        EXPECT_FALSE(FreeLibrary(wmi));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    }
    // Elsewhere than the system folder the name is just a file that is not there.
    EXPECT_EQ(LoadLibraryExW(u"C:\\Elsewhere\\wmiutils.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE),
              nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
}

TEST(MessageModules, InternetTableAnswersForTheInternetLibrarysCodes) {
    HMODULE inet = LoadLibraryExW((SystemFolder() + u"\\wininet.dll").c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(inet, nullptr);
    int described = 0;
    for (DWORD code = 12000; code <= 12186; ++code) {
        if (Text(inet, code).back() == u'\n')
            ++described;
    }
    EXPECT_GE(described, 50);
    EXPECT_NE(Text(inet, ERROR_INTERNET_TIMEOUT), Text(inet, ERROR_INTERNET_CANNOT_CONNECT));
    EXPECT_EQ(Text(inet, ERROR_INTERNET_NAME_NOT_RESOLVED, FORMAT_MESSAGE_FROM_SYSTEM), Error(317));
    // Two loads are two handles; each is released on its own.
    HMODULE again = LoadLibraryExW(u"WININET.DLL", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again, inet);
    EXPECT_TRUE(FreeLibrary(inet));
    EXPECT_EQ(Text(again, ERROR_INTERNET_TIMEOUT).back(), u'\n');
    EXPECT_TRUE(FreeLibrary(again));
}

TEST(MessageModules, AgentModuleDescribesCodesAndWrapsDescriptions) {
    HMODULE agent = LoadLibraryExW(W(KV_AGENT_MODULE).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(agent, nullptr) << GetLastError();

    const DWORD_PTR code[] = {0x80041017u};
    const std::u16string none = Formatted(agent, 0x8FA20000u, code);
    EXPECT_NE(none.find(u"0x80041017"), std::u16string::npos) << kvwin::ToUtf8(none);
    EXPECT_EQ(none.substr(none.size() - 3), u".\r\n");

    const DWORD_PTR described[] = {reinterpret_cast<DWORD_PTR>(u"The query is not well formed"),
                                   0x80041017u};
    const std::u16string wrapped = Formatted(agent, 0x8FA20001u, described);
    EXPECT_EQ(wrapped.find(u"The query is not well formed"), 0u) << kvwin::ToUtf8(wrapped);
    EXPECT_NE(wrapped.find(u"0x80041017"), std::u16string::npos);

    const DWORD_PTR network[] = {reinterpret_cast<DWORD_PTR>(u"The request ran out of time"),
                                 12002};
    const std::u16string net = Formatted(agent, 0x8FA20002u, network);
    EXPECT_EQ(net.find(u"The request ran out of time"), 0u) << kvwin::ToUtf8(net);
    EXPECT_NE(net.find(u"12002"), std::u16string::npos);

    EXPECT_EQ(Text(agent, 0x8FA20003u), Error(317));
    EXPECT_EQ(Text(agent, ERROR_FILE_NOT_FOUND), Error(317));
    EXPECT_TRUE(FreeLibrary(agent));

    // By its bare name it is found beside the platform library.
    agent = LoadLibraryExW(u"ZorAgentExt.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(agent, nullptr);
    EXPECT_EQ(Formatted(agent, 0x8FA20000u, code), none);
    FreeLibrary(agent);
}

TEST(MessageModules, FilesThatAreNoModulesAreRefused) {
    const std::string folder = kvtest::MakeTempFolder("not-modules");
    EXPECT_EQ(LoadLibraryExW(W(folder + "/absent.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE),
              nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(LoadLibraryExW(u"NoSuchModule.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));

    const std::string text = "plain text, not a module";
    kvtest::WriteBytes(folder + "/text.dll", std::vector<uint8_t>(text.begin(), text.end()));
    EXPECT_EQ(LoadLibraryExW(W(folder + "/text.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE),
              nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_EXE_FORMAT));

    // "MZ" with nothing behind it.
    kvtest::WriteBytes(folder + "/mz.dll", {'M', 'Z', 0, 0});
    EXPECT_EQ(LoadLibraryExW(W(folder + "/mz.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE),
              nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_EXE_FORMAT));

    int dummy = 0;
    EXPECT_EQ(LoadLibraryExW(u"wmiutils.dll", &dummy, LOAD_LIBRARY_AS_DATAFILE), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(LoadLibraryExW(nullptr, nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST(MessageModules, DamagedMessageTablesNeverReadOutsideTheFile) {
    std::ifstream in(KV_AGENT_MODULE, std::ios::binary);
    const std::vector<uint8_t> good((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    ASSERT_GT(good.size(), 64u);
    const std::string path = kvtest::MakeTempFolder("damaged") + "/damaged.dll";
    // Inserts are left alone: a spoilt byte may turn one insert into another.
    const auto probe = [&](const std::vector<uint8_t>& bytes) {
        kvtest::WriteBytes(path, bytes);
        HMODULE module = LoadLibraryExW(W(path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (!module) {
            EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_EXE_FORMAT));
            return;
        }
        for (DWORD id : {0x8FA20000u, 0x8FA20001u, 0x8FA20002u}) {
            const std::u16string text = Text(module, id);
            EXPECT_LT(text.size(), 512u);
        }
        FreeLibrary(module);
    };
    // A table cut short is refused (its header names the full size).
    for (size_t length = 0; length < good.size(); length += 3)
        probe(std::vector<uint8_t>(good.begin(), good.begin() + length));
    // Any byte spoilt: refused, or answered from inside the file.
    for (size_t at = 0; at < good.size(); ++at) {
        for (uint8_t spoil : {uint8_t{0xFF}, uint8_t{0x80}, uint8_t{0x03}}) {
            std::vector<uint8_t> bytes = good;
            bytes[at] ^= spoil;
            probe(bytes);
        }
    }
}

TEST(MessageModules, SharedObjectsCarryTablesInASection) {
    // As data, the fixture is read but never run.
    HMODULE data = LoadLibraryExW(W(KV_MESSAGE_FIXTURE).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(GetModuleHandleW(u"kv_message_fixture.so"), nullptr);
    EXPECT_EQ(Text(data, 0x20000001u), u"A message from a shared object.\r\n");
    EXPECT_TRUE(FreeLibrary(data));

    // Loaded and run, its handle is its base and FormatMessageW reads the same section.
    HMODULE loaded = LoadLibraryW(W(KV_MESSAGE_FIXTURE).c_str());
    ASSERT_NE(loaded, nullptr) << GetLastError();
    EXPECT_EQ(loaded, GetModuleHandleW(u"kv_message_fixture.so"));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(loaded) & 3, 0u);
    EXPECT_EQ(Text(loaded, 0x20000001u), u"A message from a shared object.\r\n");
    EXPECT_EQ(Text(loaded, 0x20000002u), Error(317));
    EXPECT_TRUE(FreeLibrary(loaded));
    EXPECT_EQ(GetModuleHandleW(u"kv_message_fixture.so"), nullptr);

    // Modules without a table, and handles that name nothing.
    EXPECT_EQ(Text(nullptr, 1), Error(ERROR_RESOURCE_TYPE_NOT_FOUND));
    EXPECT_EQ(Text(GetModuleHandleW(u"kavrel-win"), 1), Error(ERROR_RESOURCE_TYPE_NOT_FOUND));
    int not_a_module = 0;
    EXPECT_EQ(Text(reinterpret_cast<HMODULE>(&not_a_module), 1), Error(ERROR_INVALID_HANDLE));
    EXPECT_EQ(LoadLibraryW(u"NoSuchLibrary.dll"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
}

}  // namespace
