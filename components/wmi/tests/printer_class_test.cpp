// Win32_Printer from the spooler's printer descriptions, and live against a private CUPS
// scheduler behind the spooler: its queues appear with what the server says of them, and a
// server that does not answer gives no printers, not an error.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "classes/fill_from_readers.h"
#include "cups_test_server.h"
#include "kvtest/test_env.h"
#include "win/spooler.h"
#include "wmi_class_test_support.h"

namespace {

using kvwmitest::Class;
using kvwmitest::TextOf;
using kvwmitest::UnsignedOf;

TEST(Printers, SpoolerDescriptionsBecomePrinters) {
    kvwmi::PrinterFacts office{"Office",
                               "Office",
                               "ipp://10.0.0.7/ipp/print",
                               "HP LaserJet 4250 Postscript",
                               "Second floor laser",
                               "Room 2.14",
                               PRINTER_ATTRIBUTE_QUEUED | PRINTER_ATTRIBUTE_DEFAULT |
                                   PRINTER_ATTRIBUTE_SHARED | PRINTER_ATTRIBUTE_LOCAL,
                               0};
    kvwmi::PrinterFacts remote{
        "Remote",
        {},
        {},
        {},
        {},
        {},
        PRINTER_ATTRIBUTE_QUEUED | PRINTER_ATTRIBUTE_NETWORK | PRINTER_ATTRIBUTE_WORK_OFFLINE,
        PRINTER_STATUS_PAUSED};
    kvwmi::PrinterFacts unknown{
        "Unknown", {}, {}, {}, {}, {}, PRINTER_ATTRIBUTE_LOCAL, PRINTER_STATUS_NOT_AVAILABLE};
    const auto& decl = Class(u"Win32_Printer");
    std::vector<kvwmi::Instance> out;
    kvwmi::FillPrintersFrom(decl, {office, remote, unknown}, "HOST", out);
    ASSERT_EQ(out.size(), 3u);
    for (const auto& instance : out)
        kvwmitest::ExpectWellTyped(decl, instance);
    EXPECT_EQ(TextOf(decl, out[0], u"DeviceID"), "Office");
    EXPECT_EQ(TextOf(decl, out[0], u"Comment"), "Second floor laser");
    EXPECT_EQ(TextOf(decl, out[0], u"Location"), "Room 2.14");
    EXPECT_EQ(TextOf(decl, out[0], u"DriverName"), "HP LaserJet 4250 Postscript");
    EXPECT_EQ(TextOf(decl, out[0], u"PortName"), "ipp://10.0.0.7/ipp/print");
    EXPECT_EQ(TextOf(decl, out[0], u"ShareName"), "Office");
    EXPECT_EQ(UnsignedOf(decl, out[0], u"PrinterStatus"), 3u);  // idle
    EXPECT_EQ(UnsignedOf(decl, out[0], u"Attributes"), 0x1u | 0x4u | 0x8u | 0x40u);
    EXPECT_EQ(kvwmitest::Value(decl, out[0], u"Default"), kvwmi::CimValue(true));

    EXPECT_EQ(UnsignedOf(decl, out[1], u"PrinterStatus"), 7u);  // stopped: offline
    EXPECT_EQ(UnsignedOf(decl, out[1], u"PrinterState"), 1u);   // paused
    EXPECT_EQ(kvwmitest::Value(decl, out[1], u"Network"), kvwmi::CimValue(true));
    EXPECT_EQ(TextOf(decl, out[1], u"Comment"), "<null>");
    EXPECT_EQ(TextOf(decl, out[1], u"Status"), "Degraded");
    EXPECT_EQ(kvwmitest::Value(decl, out[1], u"WorkOffline"), kvwmi::CimValue(true));
    EXPECT_EQ(UnsignedOf(decl, out[2], u"PrinterStatus"), std::nullopt);  // state not known
    EXPECT_EQ(kvwmitest::Value(decl, out[2], u"Default"), kvwmi::CimValue(false));
}

// The spooler's description of each queue against what the scheduler was told, with the
// buffer-size protocol, the levels and the failures.
TEST(Printers, TheSpoolerListsTheSchedulersQueues) {
    if (!kvtest::CupsTestServer::Installed(KAVREL_CUPSD))
        GTEST_SKIP() << "cupsd is not installed";
    kvtest::CupsTestServer server;
    std::string why;
    ASSERT_TRUE(server.Start(KAVREL_CUPSD, kvtest::TestStateRoot() + "/cups",
                             {{"KvLaser", kvtest::TestPpd("2.7.1")}, {"KvRaw", ""}}, why))
        << why;
    ::setenv("CUPS_SERVER", server.Address().c_str(), 1);
    const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    DWORD needed = 0, count = 99;
    ASSERT_FALSE(EnumPrintersW(flags, nullptr, 2, nullptr, 0, &needed, &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(count, 0u);
    ASSERT_GT(needed, 2 * sizeof(PRINTER_INFO_2W));
    std::vector<BYTE> buffer(needed);
    EXPECT_FALSE(EnumPrintersW(flags, nullptr, 2, buffer.data(), needed - 1, &needed, &count));
    ASSERT_TRUE(EnumPrintersW(flags, nullptr, 2, buffer.data(), needed, &needed, &count));
    ASSERT_EQ(count, 2u);
    const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    std::map<std::string, const PRINTER_INFO_2W*> by_name;
    for (DWORD i = 0; i < count; ++i) {
        ASSERT_NE(info[i].pPrinterName, nullptr);
        const auto* text = reinterpret_cast<const BYTE*>(info[i].pPrinterName);
        EXPECT_TRUE(text >= buffer.data() + 2 * sizeof(PRINTER_INFO_2W) &&
                    text < buffer.data() + buffer.size());
        by_name[kvwin::ToUtf8(info[i].pPrinterName)] = &info[i];
    }
    ASSERT_EQ(by_name.count("KvLaser"), 1u);
    const PRINTER_INFO_2W& laser = *by_name["KvLaser"];
    EXPECT_TRUE(laser.Attributes & PRINTER_ATTRIBUTE_LOCAL);
    EXPECT_TRUE(laser.Attributes & PRINTER_ATTRIBUTE_QUEUED);
    EXPECT_FALSE(laser.Attributes & PRINTER_ATTRIBUTE_NETWORK);
    ASSERT_NE(laser.pPortName, nullptr);
    EXPECT_NE(kvwin::ToUtf8(laser.pPortName).find(':'), std::string::npos);  // a device URI

    // The class shows the same facts.
    const auto& decl = Class(u"Win32_Printer");
    const auto printers = kvwmitest::Fill(decl);
    ASSERT_EQ(printers.size(), 2u);
    for (const auto& instance : printers) {
        kvwmitest::ExpectWellTyped(decl, instance);
        const PRINTER_INFO_2W& spooled = *by_name.at(TextOf(decl, instance, u"Name"));
        EXPECT_EQ(UnsignedOf(decl, instance, u"Attributes"), spooled.Attributes);
        EXPECT_EQ(TextOf(decl, instance, u"PortName"),
                  spooled.pPortName ? kvwin::ToUtf8(spooled.pPortName) : "<null>");
    }

    // One printer through its handle, at level 4; the levels and names it refuses.
    HANDLE printer = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"KvRaw"), &printer, nullptr));
    DWORD size = 0;
    EXPECT_FALSE(GetPrinterW(printer, 4, nullptr, 0, &size));
    std::vector<BYTE> one(size);
    ASSERT_TRUE(GetPrinterW(printer, 4, one.data(), size, &size));
    EXPECT_EQ(kvwin::ToUtf8(reinterpret_cast<const PRINTER_INFO_4W*>(one.data())->pPrinterName),
              "KvRaw");
    EXPECT_FALSE(GetPrinterW(printer, 3, one.data(), size, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
    ClosePrinter(printer);
    EXPECT_FALSE(GetPrinterW(printer, 2, one.data(), size, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(
        EnumPrintersW(flags, const_cast<LPWSTR>(u"\\\\elsewhere"), 2, nullptr, 0, &needed, &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_TRUE(EnumPrintersW(PRINTER_ENUM_DEFAULT, nullptr, 2, nullptr, 0, &needed, &count));
    EXPECT_EQ(count, 0u);

    server.Stop();
    EXPECT_FALSE(EnumPrintersW(flags, nullptr, 2, nullptr, 0, &needed, &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    ::unsetenv("CUPS_SERVER");
}

// A TCP port on 127.0.0.1 nothing listens on.
int ClosedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

TEST(Printers, LiveQueuesOfAPrivateScheduler) {
    if (!::dlopen("libcups.so.2", RTLD_NOW | RTLD_LOCAL))
        GTEST_SKIP() << "the CUPS client library is not installed";
    const auto& decl = Class(u"Win32_Printer");

    ::setenv("CUPS_SERVER", ("127.0.0.1:" + std::to_string(ClosedPort())).c_str(), 1);
    EXPECT_TRUE(kvwmitest::Fill(decl).empty());

    if (!kvtest::CupsTestServer::Installed(KAVREL_CUPSD))
        GTEST_SKIP() << "cupsd is not installed";
    kvtest::CupsTestServer server;
    std::string why;
    ASSERT_TRUE(server.Start(KAVREL_CUPSD, kvtest::TestStateRoot() + "/cups",
                             {{"KvLaser", kvtest::TestPpd("2.7.1")}, {"KvRaw", ""}}, why))
        << why;
    ::setenv("CUPS_SERVER", server.Address().c_str(), 1);
    std::vector<std::string> names;
    for (const auto& instance : kvwmitest::Fill(decl)) {
        kvwmitest::ExpectWellTyped(decl, instance);
        names.push_back(TextOf(decl, instance, u"Name"));
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"KvLaser", "KvRaw"}));
    server.Stop();
    EXPECT_TRUE(kvwmitest::Fill(decl).empty());
    ::unsetenv("CUPS_SERVER");
}

}  // namespace
