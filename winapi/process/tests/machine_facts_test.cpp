#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "kvwin/utf.h"
#include "win/sysinfo.h"

namespace {

std::string Node() {
    struct utsname names {};
    EXPECT_EQ(::uname(&names), 0);
    return names.nodename;
}

TEST(ComputerName, NetBiosNameIsUpperCaseFirstLabelOfAtMostFifteen) {
    std::string expected = Node().substr(0, Node().find('.'));
    for (char& c : expected)
        c = static_cast<char>(::toupper(static_cast<unsigned char>(c)));
    if (expected.size() > 15)
        expected.resize(15);

    DWORD size = 0;
    EXPECT_FALSE(GetComputerNameW(nullptr, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
    EXPECT_EQ(size, expected.size() + 1);
    WCHAR small[2] = {u'#', u'#'};
    size = 1;
    if (!expected.empty()) {
        EXPECT_FALSE(GetComputerNameW(small, &size));
        EXPECT_EQ(size, expected.size() + 1);
    }
    WCHAR buffer[MAX_COMPUTERNAME_LENGTH + 1];
    size = MAX_COMPUTERNAME_LENGTH + 1;
    ASSERT_TRUE(GetComputerNameW(buffer, &size));
    EXPECT_EQ(size, expected.size());
    EXPECT_EQ(kvwin::ToUtf8(buffer), expected);
    EXPECT_FALSE(GetComputerNameW(buffer, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(ComputerName, ExtendedFormsAndTheirSizes) {
    const std::string node = Node();
    const std::string host = node.substr(0, node.find('.'));
    const std::string domain =
        node.find('.') == std::string::npos ? std::string() : node.substr(node.find('.') + 1);
    const struct {
        COMPUTER_NAME_FORMAT format;
        std::string expected;
    } cases[] = {
        {ComputerNameDnsHostname, host},
        {ComputerNamePhysicalDnsHostname, host},
        {ComputerNameDnsDomain, domain},
        {ComputerNameDnsFullyQualified, node},
        {ComputerNamePhysicalDnsFullyQualified, node},
    };
    for (const auto& c : cases) {
        DWORD size = 0;
        EXPECT_FALSE(GetComputerNameExW(c.format, nullptr, &size));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
        EXPECT_EQ(size, c.expected.size() + 1);
        WCHAR buffer[300];
        size = 300;
        ASSERT_TRUE(GetComputerNameExW(c.format, buffer, &size));
        EXPECT_EQ(size, c.expected.size());
        EXPECT_EQ(kvwin::ToUtf8(buffer), c.expected);
    }
    WCHAR netbios[16];
    DWORD size = 16;
    ASSERT_TRUE(GetComputerNameExW(ComputerNameNetBIOS, netbios, &size));
    WCHAR plain[16];
    DWORD plain_size = 16;
    ASSERT_TRUE(GetComputerNameW(plain, &plain_size));
    EXPECT_EQ(std::u16string(netbios), std::u16string(plain));
    size = 16;
    EXPECT_FALSE(GetComputerNameExW(ComputerNameMax, netbios, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(UserName, EffectiveUserWithSizesCountingTheNul) {
    const struct passwd* entry = ::getpwuid(::geteuid());
    const std::string expected = entry ? entry->pw_name : std::to_string(::geteuid());
    DWORD size = 0;
    EXPECT_FALSE(GetUserNameW(nullptr, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, expected.size() + 1);
    WCHAR buffer[256];
    size = static_cast<DWORD>(expected.size());  // one short
    EXPECT_FALSE(GetUserNameW(buffer, &size));
    EXPECT_EQ(size, expected.size() + 1);
    ASSERT_TRUE(GetUserNameW(buffer, &size));
    EXPECT_EQ(size, expected.size() + 1);
    EXPECT_EQ(kvwin::ToUtf8(buffer), expected);
}

TEST(SystemInfo, ProcessorsPagesAndMemory) {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    EXPECT_EQ(info.dwNumberOfProcessors, static_cast<DWORD>(::sysconf(_SC_NPROCESSORS_ONLN)));
    EXPECT_EQ(info.dwPageSize, static_cast<DWORD>(::sysconf(_SC_PAGESIZE)));
    EXPECT_EQ(info.dwAllocationGranularity, 65536u);
    EXPECT_NE(info.dwActiveProcessorMask, 0u);
#if defined(__x86_64__)
    EXPECT_EQ(info.u.s.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_AMD64);
#endif
    SYSTEM_INFO native{};
    GetNativeSystemInfo(&native);
    EXPECT_EQ(native.u.dwOemId, info.u.dwOemId);
    EXPECT_EQ(native.dwNumberOfProcessors, info.dwNumberOfProcessors);

    MEMORYSTATUSEX memory{};
    EXPECT_FALSE(GlobalMemoryStatusEx(&memory));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    memory.dwLength = sizeof memory;
    ASSERT_TRUE(GlobalMemoryStatusEx(&memory));
    EXPECT_GT(memory.ullTotalPhys, 0u);
    EXPECT_LE(memory.ullAvailPhys, memory.ullTotalPhys);
    EXPECT_LE(memory.dwMemoryLoad, 100u);
    EXPECT_GE(memory.ullTotalPageFile, memory.ullTotalPhys);
}

}  // namespace
