// The classes on this machine, checked against the system's own tools: lscpu, df, ps, ip,
// dpkg-query, getent, systemctl, uname. A tool that is missing skips its test rather than
// failing it; scripts/setup.sh installs them all.
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include "linux/text_util.h"
#include "wmi_class_test_support.h"

namespace {

using kvwmitest::Class;
using kvwmitest::Fill;
using kvwmitest::RunCommand;
using kvwmitest::TextOf;
using kvwmitest::UnsignedOf;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::string_view line : kvlinux::SplitLines(text))
        lines.emplace_back(line);
    return lines;
}

std::string Tool(const std::string& command) {
    auto out = RunCommand(command + " 2>/dev/null");
    if (!out)
        return {};
    return *out;
}

#define REQUIRE_TOOL(text, name)                          \
    if ((text).empty()) {                                 \
        GTEST_SKIP() << name << " is not available here"; \
    }

TEST(LiveClasses, ProcessorCountsAndModelMatchLscpu) {
    const std::string parsable = Tool("lscpu -p=CPU,SOCKET");
    REQUIRE_TOOL(parsable, "lscpu");
    std::set<std::string> sockets;
    size_t online = 0;
    for (const std::string& line : Lines(parsable)) {
        if (line.empty() || line[0] == '#')
            continue;
        ++online;
        sockets.insert(line.substr(line.find(',') + 1));
    }
    const auto& decl = Class(u"Win32_Processor");
    auto processors = Fill(decl);
    ASSERT_EQ(processors.size(), sockets.size());
    std::uint64_t logical = 0;
    for (const auto& p : processors)
        logical += UnsignedOf(decl, p, u"NumberOfLogicalProcessors").value_or(0);
    EXPECT_EQ(logical, online);

    std::string model;
    for (const std::string& line : Lines(Tool("LC_ALL=C lscpu"))) {
        if (kvlinux::StartsWith(line, "Model name:"))
            model = std::string(kvlinux::Trim(std::string_view(line).substr(11)));
    }
    if (!model.empty()) {
        EXPECT_EQ(TextOf(decl, processors[0], u"Name"), model);
    }

    const auto& cs = Class(u"Win32_ComputerSystem");
    auto system = Fill(cs);
    EXPECT_EQ(UnsignedOf(cs, system[0], u"NumberOfLogicalProcessors"), online);
    EXPECT_EQ(UnsignedOf(cs, system[0], u"NumberOfProcessors"), sockets.size());
}

TEST(LiveClasses, LogicalDiskSizesMatchDf) {
    const auto& decl = Class(u"Win32_LogicalDisk");
    auto disks = Fill(decl);
    ASSERT_FALSE(disks.empty());
    bool root_seen = false;
    for (const auto& disk : disks) {
        const std::string mount = TextOf(decl, disk, u"DeviceID");
        SCOPED_TRACE(mount);
        root_seen |= mount == "/";
        std::string quoted = "'" + mount + "'";
        auto lines = Lines(Tool("df -B1 --output=size,avail " + quoted));
        if (lines.size() < 2)
            continue;  // unmounted since, or a name df cannot take
        std::istringstream fields(lines[1]);
        std::uint64_t size = 0, avail = 0;
        fields >> size >> avail;
        EXPECT_EQ(UnsignedOf(decl, disk, u"Size"), size);
        // Free space moves while the tests run; allow 256 MiB.
        auto free_space = UnsignedOf(decl, disk, u"FreeSpace").value_or(0);
        EXPECT_LT(free_space > avail ? free_space - avail : avail - free_space, 256ull << 20);
    }
    EXPECT_TRUE(root_seen);
}

// A process whose kernel name holds spaces, parentheses and a newline is listed under
// exactly that name, with its parent, command line and executable.
TEST(LiveClasses, ProcessWithAHostileNameIsReportedAsItIs) {
    int ready[2], release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const char* odd = "x) (y\nz w";
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::prctl(PR_SET_NAME, odd, 0, 0, 0);
        char c = 'r';
        (void)!::write(ready[1], &c, 1);
        (void)!::read(release[0], &c, 1);  // until the parent has looked
        ::_exit(0);
    }
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);

    const auto& decl = Class(u"Win32_Process");
    auto processes = Fill(decl);

    c = 'g';
    (void)!::write(release[1], &c, 1);
    int status = 0;
    ::waitpid(child, &status, 0);
    for (int fd : {ready[0], ready[1], release[0], release[1]})
        ::close(fd);

    std::map<std::uint64_t, const kvwmi::Instance*> by_pid;
    for (const auto& p : processes)
        by_pid[UnsignedOf(decl, p, u"ProcessId").value_or(0)] = &p;
    ASSERT_TRUE(by_pid.count(static_cast<std::uint64_t>(child)));
    const auto& found = *by_pid[static_cast<std::uint64_t>(child)];
    EXPECT_EQ(TextOf(decl, found, u"Name"), odd);
    EXPECT_EQ(TextOf(decl, found, u"Handle"), std::to_string(child));
    EXPECT_EQ(UnsignedOf(decl, found, u"ParentProcessId"), static_cast<std::uint64_t>(::getpid()));

    ASSERT_TRUE(by_pid.count(static_cast<std::uint64_t>(::getpid())));
    const auto& self = *by_pid[static_cast<std::uint64_t>(::getpid())];
    EXPECT_EQ(TextOf(decl, self, u"ExecutablePath"), kvlinux::ReadLink("/proc/self/exe"));
    EXPECT_NE(TextOf(decl, self, u"CommandLine").find("wmi_classes_test"), std::string::npos);
}

TEST(LiveClasses, ProcessIdsAndNamesMatchPs) {
    const std::string before = Tool("ps -e -o pid=,comm=");
    REQUIRE_TOOL(before, "ps");
    const auto& decl = Class(u"Win32_Process");
    auto processes = Fill(decl);
    const std::string after = Tool("ps -e -o pid=,comm=");
    auto parse = [](const std::string& text) {
        std::map<std::uint64_t, std::string> out;
        for (const std::string& line : Lines(text)) {
            std::string_view view = kvlinux::Trim(line);
            size_t space = view.find(' ');
            if (space == std::string_view::npos)
                continue;
            auto pid = kvlinux::ParseUnsigned(view.substr(0, space));
            if (pid)
                out[*pid] = std::string(kvlinux::Trim(view.substr(space)));
        }
        return out;
    };
    auto ps_before = parse(before), ps_after = parse(after);
    std::map<std::uint64_t, std::string> ours;
    std::set<std::uint64_t> all_pids;
    for (const auto& p : processes) {
        all_pids.insert(UnsignedOf(decl, p, u"ProcessId").value_or(0));
        // The kernel renames its worker threads as their work changes ("kworker/u8:1-events"),
        // so their names are no stable reference; user processes keep theirs.
        auto pid = UnsignedOf(decl, p, u"ProcessId").value_or(0);
        if (pid != 2 && UnsignedOf(decl, p, u"ParentProcessId") != 2u)
            ours[pid] = TextOf(decl, p, u"Name");
    }
    size_t compared = 0;
    for (const auto& [pid, name] : ps_before) {
        // Processes that lived through the whole read, with names ps prints unchanged.
        if (!ps_after.count(pid))
            continue;
        EXPECT_TRUE(all_pids.count(pid)) << pid << " " << name;
        if (ps_after[pid] != name || name.find_first_of("?\\") != std::string::npos ||
            !ours.count(pid))
            continue;
        EXPECT_EQ(ours[pid], name) << pid;
        ++compared;
    }
    EXPECT_GT(compared, 1u);
}

TEST(LiveClasses, AddressesMatchIp) {
    const std::string text = Tool("ip -o addr show");
    REQUIRE_TOOL(text, "ip");
    const auto& decl = Class(u"Win32_NetworkAdapterConfiguration");
    auto configs = Fill(decl);
    std::map<std::string, std::pair<std::uint64_t, std::set<std::string>>> ours;
    for (const auto& config : configs) {
        auto& entry = ours[TextOf(decl, config, u"SettingID")];
        entry.first = UnsignedOf(decl, config, u"Index").value_or(0);
        if (auto* ips = std::get_if<std::vector<std::u16string>>(
                &kvwmitest::Value(decl, config, u"IPAddress"))) {
            for (const auto& ip : *ips)
                entry.second.insert(kvwin::ToUtf8(ip));
        }
    }
    size_t compared = 0;
    for (const std::string& line : Lines(text)) {
        // "4: eth0    inet 192.0.2.2/24 brd ... "
        std::istringstream fields(line);
        std::string index, name, family, address;
        fields >> index >> name >> family >> address;
        if (family != "inet" && family != "inet6")
            continue;
        name = name.substr(0, name.find('@'));  // "veth0@if5"
        address = address.substr(0, address.find('/'));
        SCOPED_TRACE(line);
        ASSERT_TRUE(ours.count(name));
        EXPECT_EQ(std::to_string(ours[name].first) + ":", index);
        EXPECT_TRUE(ours[name].second.count(address));
        ++compared;
    }
    EXPECT_GT(compared, 0u);
}

TEST(LiveClasses, DisksAndPartitionsMatchLsblk) {
    const std::string text = Tool("lsblk -b -n -r -o NAME,SIZE,TYPE");
    REQUIRE_TOOL(text, "lsblk");
    std::map<std::string, std::uint64_t> disks, parts;
    for (const std::string& line : Lines(text)) {
        std::istringstream fields(line);
        std::string name, type;
        std::uint64_t size = 0;
        fields >> name >> size >> type;
        if (type == "disk")
            disks["/dev/" + name] = size;
        else if (type == "part")
            parts["/dev/" + name] = size;
    }
    const auto& drive = Class(u"Win32_DiskDrive");
    for (const auto& d : Fill(drive)) {
        const std::string node = TextOf(drive, d, u"DeviceID");
        ASSERT_TRUE(disks.count(node)) << node;
        EXPECT_EQ(UnsignedOf(drive, d, u"Size"), disks[node]) << node;
    }
    const auto& partition = Class(u"Win32_DiskPartition");
    for (const auto& p : Fill(partition)) {
        const std::string node = TextOf(partition, p, u"DeviceID");
        ASSERT_TRUE(parts.count(node)) << node;
        EXPECT_EQ(UnsignedOf(partition, p, u"Size"), parts[node]) << node;
    }
}

TEST(LiveClasses, AdapterAddressesMatchIpLink) {
    const std::string text = Tool("ip -o link show");
    REQUIRE_TOOL(text, "ip");
    std::map<std::string, std::string> macs;  // name -> MAC in capitals, or ""
    for (const std::string& line : Lines(text)) {
        // "2: eth0: <BROADCAST,...> mtu 1500 ... link/ether 52:54:00:12:34:56 brd ..."
        std::istringstream fields(line);
        std::string index, name, word, mac;
        fields >> index >> name;
        name = name.substr(0, name.find_first_of("@:"));
        while (fields >> word) {
            if (word == "link/ether" && fields >> mac)
                break;
        }
        std::transform(mac.begin(), mac.end(), mac.begin(), ::toupper);
        macs[name] = mac;
    }
    const auto& decl = Class(u"Win32_NetworkAdapter");
    auto adapters = Fill(decl);
    EXPECT_EQ(adapters.size(), macs.size());
    for (const auto& a : adapters) {
        const std::string name = TextOf(decl, a, u"Name");
        ASSERT_TRUE(macs.count(name)) << name;
        if (!macs[name].empty()) {
            EXPECT_EQ(TextOf(decl, a, u"MACAddress"), macs[name]) << name;
        }
    }
}

TEST(LiveClasses, PackagesMatchDpkgQuery) {
    const std::string text =
        Tool("dpkg-query -W -f='${Package}:${Architecture}\\t${Version}\\t${db:Status-Status}\\n'");
    REQUIRE_TOOL(text, "dpkg-query");
    std::map<std::string, std::string> expected;  // name:arch -> version
    for (const std::string& line : Lines(text)) {
        auto first = line.find('\t'), second = line.rfind('\t');
        if (first == std::string::npos || first == second)
            continue;
        std::string status = line.substr(second + 1);
        if (status == "not-installed" || status == "config-files")
            continue;
        expected[line.substr(0, first)] = line.substr(first + 1, second - first - 1);
    }
    const auto& decl = Class(u"Win32_Product");
    std::map<std::string, std::string> ours;
    for (const auto& product : Fill(decl))
        ours[TextOf(decl, product, u"IdentifyingNumber")] = TextOf(decl, product, u"Version");
    EXPECT_EQ(ours, expected);
}

TEST(LiveClasses, AccountsMatchGetent) {
    struct Case {
        const char16_t* cls;
        const char* command;
    } cases[] = {{u"Win32_UserAccount", "getent passwd"}, {u"Win32_Group", "getent group"}};
    for (const Case& c : cases) {
        const std::string text = Tool(c.command);
        REQUIRE_TOOL(text, "getent");
        std::vector<std::string> expected;
        for (const std::string& line : Lines(text))
            expected.push_back(line.substr(0, line.find(':')));
        const auto& decl = Class(c.cls);
        std::vector<std::string> ours;
        for (const auto& account : Fill(decl)) {
            ours.push_back(TextOf(decl, account, u"Name"));
            EXPECT_TRUE(kvlinux::StartsWith(TextOf(decl, account, u"SID"), "S-1-"));
        }
        EXPECT_EQ(ours, expected) << c.command;
    }
}

TEST(LiveClasses, ServicesMatchSystemctlUnitFiles) {
    const std::string text =
        Tool("systemctl list-unit-files --type=service --no-legend --no-pager");
    REQUIRE_TOOL(text, "systemctl");
    std::map<std::string, std::string> expected;  // name -> start mode
    for (const std::string& line : Lines(text)) {
        std::istringstream fields(line);
        std::string unit, state;
        fields >> unit >> state;
        if (unit.find("@.") != std::string::npos || !kvlinux::EndsWith(unit, ".service"))
            continue;
        std::string name = unit.substr(0, unit.size() - 8);
        if (state == "enabled" || state == "enabled-runtime")
            expected[name] = "Auto";
        else if (state == "masked" || state == "masked-runtime")
            expected[name] = "Disabled";
        else if (state == "disabled" || state == "static" || state == "indirect" ||
                 state == "linked" || state == "linked-runtime")
            expected[name] = "Manual";
        // alias, generated and transient units are not unit files of their own
    }
    const auto& decl = Class(u"Win32_Service");
    std::map<std::string, std::string> ours;
    for (const auto& service : Fill(decl))
        ours[TextOf(decl, service, u"Name")] = TextOf(decl, service, u"StartMode");
    EXPECT_EQ(ours, expected);
}

TEST(LiveClasses, OperatingSystemMatchesUnameAndOsRelease) {
    const std::string release = Tool("uname -r");
    const std::string pretty = Tool(
        ". /etc/os-release 2>/dev/null || . /usr/lib/os-release; "
        "printf %s \"$PRETTY_NAME\"");
    REQUIRE_TOOL(release, "uname");
    const auto& decl = Class(u"Win32_OperatingSystem");
    auto os = Fill(decl);
    ASSERT_EQ(os.size(), 1u);
    EXPECT_EQ(TextOf(decl, os[0], u"Version"), kvlinux::Trim(release));
    if (!pretty.empty()) {
        EXPECT_EQ(TextOf(decl, os[0], u"Caption"), pretty);
    }
    const std::string who = Tool("who");
    auto users = UnsignedOf(decl, os[0], u"NumberOfUsers");
    if (users) {
        EXPECT_EQ(*users, Lines(who).size());
    }
    // date +%z prints the machine's present offset as +hhmm.
    const std::string zone = Tool("date +%z");
    if (zone.size() >= 5) {
        int minutes = std::stoi(zone.substr(1, 2)) * 60 + std::stoi(zone.substr(3, 2));
        if (zone[0] == '-')
            minutes = -minutes;
        // TZ of the test process may differ from the machine's; compare only when unset.
        if (!std::getenv("TZ")) {
            EXPECT_EQ(std::get<std::int64_t>(kvwmitest::Value(decl, os[0], u"CurrentTimeZone")),
                      minutes);
        }
    }
}

}  // namespace

namespace {

// The identity and language facts against the shell's own reading of the same files.
TEST(LiveClasses, OperatingSystemIdentityAndLanguage) {
    const auto& decl = Class(u"Win32_OperatingSystem");
    auto os = Fill(decl);
    ASSERT_EQ(os.size(), 1u);
    const std::string machine_id = Tool("cat /etc/machine-id 2>/dev/null");
    if (kvlinux::Trim(machine_id).size() == 32) {
        EXPECT_EQ(TextOf(decl, os[0], u"SerialNumber"), kvlinux::Trim(machine_id));
    }
    const std::string lang = Tool(
        "sh -c 'unset LANG; if [ -r /etc/default/locale ]; then . /etc/default/locale; "
        "elif [ -r /etc/locale.conf ]; then . /etc/locale.conf; fi; printf %s \"$LANG\"'");
    if (lang.empty()) {
        EXPECT_EQ(TextOf(decl, os[0], u"Locale"), "<null>");
    } else if (lang.rfind("en_US", 0) == 0 || lang.rfind("C.", 0) == 0 || lang == "C") {
        EXPECT_EQ(TextOf(decl, os[0], u"Locale"), "0409");
        EXPECT_EQ(UnsignedOf(decl, os[0], u"OSLanguage"), 1033u);
    }
    const std::string processes = Tool("ls -d /proc/[0-9]* | wc -l");
    auto counted = UnsignedOf(decl, os[0], u"NumberOfProcesses");
    ASSERT_TRUE(counted);
    // Processes come and go between the two readings; the counts stay close.
    const auto listed = std::stoull("0" + std::string(kvlinux::Trim(processes)));
    EXPECT_LT(*counted > listed ? *counted - listed : listed - *counted, 50u);
}

// This test process: nice 0 is Windows' normal class (8); its open descriptors are what
// /proc/self/fd lists.
TEST(LiveClasses, ProcessPriorityAndHandlesOfThisProcess) {
    const auto& decl = Class(u"Win32_Process");
    const std::uint64_t self = static_cast<std::uint64_t>(::getpid());
    const std::string nice = Tool("ps -o ni= -p " + std::to_string(self));
    REQUIRE_TOOL(nice, "ps");
    for (const auto& process : Fill(decl)) {
        if (UnsignedOf(decl, process, u"ProcessId") != self)
            continue;
        if (kvlinux::Trim(nice) == "0") {
            EXPECT_EQ(UnsignedOf(decl, process, u"Priority"), 8u);
        }
        auto handles = UnsignedOf(decl, process, u"HandleCount");
        ASSERT_TRUE(handles);
        EXPECT_GT(*handles, 2u);  // at least the three standard streams, give or take
        return;
    }
    ADD_FAILURE() << "this process is not listed";
}

// Domain membership against the configuration files themselves.
TEST(LiveClasses, ComputerSystemDomainRole) {
    const auto& decl = Class(u"Win32_ComputerSystem");
    auto cs = Fill(decl);
    ASSERT_EQ(cs.size(), 1u);
    const std::string joined = Tool(
        "grep -Eqs '^[[:space:]]*domains[[:space:]]*=[[:space:]]*[^[:space:]]' "
        "/etc/sssd/sssd.conf && echo yes; "
        "grep -Eqis '^[[:space:]]*security[[:space:]]*=[[:space:]]*(ads|domain)' "
        "/etc/samba/smb.conf && echo yes; true");
    const bool member = joined.find("yes") != std::string::npos;
    EXPECT_EQ(std::get<bool>(kvwmitest::Value(decl, cs[0], u"PartOfDomain")), member);
    EXPECT_EQ(UnsignedOf(decl, cs[0], u"DomainRole"), member ? 1u : 0u);
    if (!member) {
        EXPECT_NE(TextOf(decl, cs[0], u"Workgroup"), "<null>");
    }
}

}  // namespace
