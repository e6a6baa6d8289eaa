// Win32_Printer from CUPS queue descriptions, and live against a private CUPS scheduler:
// its queues appear, and a server that does not answer gives no printers, not an error.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

#include "classes/fill_from_readers.h"
#include "cups_test_server.h"
#include "kvtest/test_env.h"
#include "wmi_class_test_support.h"

namespace {

using kvwmitest::Class;
using kvwmitest::TextOf;
using kvwmitest::UnsignedOf;

TEST(Printers, QueueDescriptionsBecomePrinters) {
    kvlinux::PrinterQueue office{"Office",
                                 true,
                                 {{"printer-info", "Second floor laser"},
                                  {"printer-location", "Room 2.14"},
                                  {"printer-make-and-model", "HP LaserJet 4250 Postscript"},
                                  {"device-uri", "ipp://10.0.0.7/ipp/print"},
                                  {"printer-state", "3"},
                                  {"printer-type", "8392716"},
                                  {"printer-is-shared", "true"}}};
    kvlinux::PrinterQueue remote{"Remote", false, {{"printer-state", "5"}, {"printer-type", "2"}}};
    const auto& decl = Class(u"Win32_Printer");
    std::vector<kvwmi::Instance> out;
    kvwmi::FillPrintersFrom(decl, {office, remote}, "HOST", out);
    ASSERT_EQ(out.size(), 2u);
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
    if (!kvlinux::CupsClientAvailable())
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
