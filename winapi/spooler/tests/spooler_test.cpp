// The spooler against a private CUPS scheduler: opening printers, the driver's description
// at each level with the buffer-size protocol, the driver store's copy and its version,
// and the failures Windows gives.
#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "cups_test_server.h"
#include "kvtest/test_env.h"
#include "kvwin/handle_table.h"
#include "kvwin/state_root.h"
#include "kvwin/utf.h"
#include "win/errors.h"
#include "win/spooler.h"
#include "win/version.h"

namespace {

constexpr char16_t kCopyPath[] = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\KvTest.ppd";

std::u16string W(const std::string& text) {
    return kvwin::FromUtf8(text);
}

std::string Text(const WCHAR* text) {
    return text ? kvwin::ToUtf8(text) : std::string("<null>");
}

class Spooler : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!kvtest::CupsTestServer::Installed(KAVREL_CUPSD))
            GTEST_SKIP() << "cupsd is not installed";
        std::string why;
        ASSERT_TRUE(server_.Start(KAVREL_CUPSD, kvtest::TestStateRoot() + "/cups",
                                  {{"KvTest", kvtest::TestPpd("2.7.1")}, {"KvRaw", ""}}, why))
            << why;
        ::setenv("CUPS_SERVER", server_.Address().c_str(), 1);
    }
    void TearDown() override {
        server_.Stop();
        ::unsetenv("CUPS_SERVER");
    }

    HANDLE Open(const std::u16string& name) {
        HANDLE printer = reinterpret_cast<HANDLE>(0x1234);
        EXPECT_TRUE(OpenPrinterW(const_cast<LPWSTR>(name.c_str()), &printer, nullptr))
            << kvwin::ToUtf8(name) << " error " << GetLastError();
        return printer;
    }

    // The driver description at a level, through the size query first.
    std::vector<BYTE> Driver(HANDLE printer, DWORD level) {
        DWORD needed = 0;
        EXPECT_FALSE(GetPrinterDriverW(printer, nullptr, level, nullptr, 0, &needed));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        std::vector<BYTE> buffer(needed, 0xCD);
        DWORD again = 0;
        EXPECT_TRUE(GetPrinterDriverW(printer, nullptr, level, buffer.data(), needed, &again))
            << "error " << GetLastError();
        EXPECT_EQ(again, needed);
        return buffer;
    }

    kvtest::CupsTestServer server_;
};

bool Inside(const std::vector<BYTE>& buffer, const WCHAR* text) {
    const auto* p = reinterpret_cast<const BYTE*>(text);
    return p >= buffer.data() && p < buffer.data() + buffer.size();
}

TEST_F(Spooler, DescribesTheDriverAtLevelSix) {
    HANDLE printer = Open(u"KvTest");
    const std::vector<BYTE> buffer = Driver(printer, 6);
    ASSERT_GE(buffer.size(), sizeof(DRIVER_INFO_6W));
    const auto* info = reinterpret_cast<const DRIVER_INFO_6W*>(buffer.data());
    EXPECT_EQ(info->cVersion, 3u);
    EXPECT_EQ(Text(info->pName), "Kavrel Test Printer, 1.0");
    EXPECT_EQ(Text(info->pEnvironment), "Windows x64");
    EXPECT_EQ(Text(info->pConfigFile), kvwin::ToUtf8(kCopyPath));
    EXPECT_EQ(Text(info->pDriverPath), kvwin::ToUtf8(kCopyPath));
    EXPECT_EQ(Text(info->pDataFile), kvwin::ToUtf8(kCopyPath));
    EXPECT_EQ(info->pHelpFile, nullptr);
    EXPECT_EQ(Text(info->pDefaultDataType), "RAW");
    EXPECT_EQ(info->dwlDriverVersion, (DWORDLONG{2} << 48) | (DWORDLONG{7} << 32) | (1u << 16));
    EXPECT_EQ(Text(info->pszMfgName), "Kavrel");
    for (const WCHAR* text : {info->pName, info->pEnvironment, info->pConfigFile,
                              info->pDefaultDataType, info->pszMfgName})
        EXPECT_TRUE(Inside(buffer, text));
    EXPECT_TRUE(ClosePrinter(printer));
}

TEST_F(Spooler, TheCopyInTheDriverStoreIsTheQueuesPpdWithItsVersion) {
    HANDLE printer = Open(u"KvTest");
    Driver(printer, 6);
    ClosePrinter(printer);
    std::string native;
    ASSERT_TRUE(kvwin::ToNativePath(kCopyPath, native));
    std::ifstream in(native, std::ios::binary);
    const std::string copied{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(copied, kvtest::TestPpd("2.7.1"));

    const DWORD size = GetFileVersionInfoSizeW(kCopyPath, nullptr);
    ASSERT_GT(size, 0u) << GetLastError();
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(kCopyPath, 0, size, block.data()));
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), u"\\", &value, &length));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwProductVersionMS, (2u << 16) | 7u);
    EXPECT_EQ(fixed->dwProductVersionLS, 1u << 16);
    ASSERT_TRUE(
        VerQueryValueW(block.data(), u"\\StringFileInfo\\040904B0\\CompanyName", &value, &length));
    EXPECT_EQ(Text(static_cast<const WCHAR*>(value)), "Kavrel");
}

TEST_F(Spooler, EveryLevelLaysOutItsOwnStructure) {
    HANDLE printer = Open(u"KvTest");
    for (const DWORD level : {1u, 2u, 3u, 4u}) {
        const std::vector<BYTE> buffer = Driver(printer, level);
        ASSERT_GE(buffer.size(), sizeof(DRIVER_INFO_2W)) << level;
        if (level == 1) {
            const auto* info = reinterpret_cast<const DRIVER_INFO_1W*>(buffer.data());
            EXPECT_EQ(Text(info->pName), "Kavrel Test Printer, 1.0");
            continue;
        }
        const auto* info = reinterpret_cast<const DRIVER_INFO_2W*>(buffer.data());
        EXPECT_EQ(info->cVersion, 3u) << level;
        EXPECT_EQ(Text(info->pConfigFile), kvwin::ToUtf8(kCopyPath)) << level;
        EXPECT_TRUE(Inside(buffer, info->pConfigFile)) << level;
    }
    DWORD needed = 0;
    EXPECT_FALSE(GetPrinterDriverW(printer, nullptr, 5, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
    ClosePrinter(printer);
}

TEST_F(Spooler, ABufferOneByteShortIsRefusedWithTheSize) {
    HANDLE printer = Open(u"KvTest");
    DWORD needed = 0;
    GetPrinterDriverW(printer, nullptr, 6, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed, 0xCD);
    DWORD again = 0;
    EXPECT_FALSE(GetPrinterDriverW(printer, nullptr, 6, buffer.data(), needed - 1, &again));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(again, needed);
    EXPECT_EQ(buffer[0], 0xCD);  // nothing written
    ClosePrinter(printer);
}

TEST_F(Spooler, OnlyTheMachinesOwnEnvironmentHasADriver) {
    HANDLE printer = Open(u"KvTest");
    DWORD needed = 0;
    EXPECT_FALSE(
        GetPrinterDriverW(printer, const_cast<LPWSTR>(u"windows X64"), 6, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_FALSE(
        GetPrinterDriverW(printer, const_cast<LPWSTR>(u"Windows NT x86"), 6, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PRINTER_DRIVER));
    ClosePrinter(printer);
}

TEST_F(Spooler, ARawQueueHasNoDriver) {
    HANDLE printer = Open(u"KvRaw");
    DWORD needed = 0;
    EXPECT_FALSE(GetPrinterDriverW(printer, nullptr, 6, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PRINTER_DRIVER));
    ClosePrinter(printer);
}

TEST_F(Spooler, NamesTheQueueIgnoringCaseAndThroughThisComputer) {
    struct utsname names {};
    uname(&names);
    std::string computer = std::string(names.nodename).substr(0, 15);
    computer = computer.substr(0, computer.find('.'));
    for (const std::u16string& name :
         {std::u16string(u"kvtest"), u"\\\\" + W(computer) + u"\\KvTest",
          std::u16string(u"\\\\localhost\\KvTest")}) {
        HANDLE printer = Open(name);
        const std::vector<BYTE> buffer = Driver(printer, 2);
        ASSERT_GE(buffer.size(), sizeof(DRIVER_INFO_2W));
        const auto* info = reinterpret_cast<const DRIVER_INFO_2W*>(buffer.data());
        EXPECT_EQ(Text(info->pConfigFile), kvwin::ToUtf8(kCopyPath)) << kvwin::ToUtf8(name);
        ClosePrinter(printer);
    }
}

TEST_F(Spooler, UnknownPrintersAreRefusedByName) {
    for (const char16_t* name :
         {u"KvMissing", u"Kv Test", u"Kv/Test", u"\\\\OTHERBOX\\KvTest", u"\\\\"}) {
        HANDLE printer = reinterpret_cast<HANDLE>(0x1234);
        EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(name), &printer, nullptr))
            << kvwin::ToUtf8(name);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME))
            << kvwin::ToUtf8(name);
        EXPECT_EQ(printer, nullptr);
    }
}

TEST_F(Spooler, NoServerMeansTheSpoolerIsUnavailable) {
    HANDLE printer = Open(u"KvTest");
    server_.Stop();
    HANDLE second = reinterpret_cast<HANDLE>(0x1234);
    EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(u"KvTest"), &second, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    EXPECT_EQ(second, nullptr);
    EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(u"KvMissing"), &second, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    // A handle opened before keeps its place but cannot reach the server.
    DWORD needed = 0;
    EXPECT_FALSE(GetPrinterDriverW(printer, nullptr, 6, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    EXPECT_TRUE(ClosePrinter(printer));
}

TEST_F(Spooler, HandlesCloseOnceAndOnlyAsPrinters) {
    const size_t before = kvwin::OpenHandleCount();
    HANDLE printer = Open(u"KvTest");
    EXPECT_EQ(kvwin::OpenHandleCount(), before + 1);
    EXPECT_TRUE(ClosePrinter(printer));
    EXPECT_EQ(kvwin::OpenHandleCount(), before);
    EXPECT_FALSE(ClosePrinter(printer));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(ClosePrinter(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    DWORD needed = 0;
    EXPECT_FALSE(GetPrinterDriverW(printer, nullptr, 6, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    // The server itself opens, but has no driver.
    HANDLE serverHandle = nullptr;
    ASSERT_TRUE(OpenPrinterW(nullptr, &serverHandle, nullptr));
    EXPECT_FALSE(GetPrinterDriverW(serverHandle, nullptr, 6, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(ClosePrinter(serverHandle));
}

}  // namespace
