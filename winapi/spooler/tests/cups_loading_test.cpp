// The CUPS client library is mapped by the first printer call, never by loading the layer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "win/errors.h"
#include "win/spooler.h"

namespace {

bool Mapped(const std::string& library) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.find(library) != std::string::npos)
            return true;
    return false;
}

TEST(CupsLoading, TheClientComesWithTheFirstPrinterCallAndFailsLikeAnAbsentServer) {
    // CTest runs each case in a process of its own: nothing has called the spooler yet.
    ASSERT_FALSE(Mapped("libcups.so")) << "loaded with the layer";

    // A port nothing listens on: the call reaches the client library and finds no server.
    ::setenv("CUPS_SERVER", "127.0.0.1:1", 1);
    HANDLE printer = reinterpret_cast<HANDLE>(0x1234);
    EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(u"KvAnyQueue"), &printer, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    EXPECT_EQ(printer, nullptr);
    EXPECT_TRUE(Mapped("libcups.so"));

    // Loaded once: later calls, on any thread, use the same client.
    EXPECT_FALSE(OpenPrinterW(nullptr, &printer, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
}

}  // namespace
