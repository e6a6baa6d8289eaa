// The Linux readers on captured files: each parser against content with the oddities real
// machines produce, each folder reader against a small prepared tree under data/.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "fake_tree.h"
#include "linux/accounts.h"
#include "linux/block_devices.h"
#include "linux/cpu_info.h"
#include "linux/device_ids.h"
#include "linux/dmi.h"
#include "linux/domain_membership.h"
#include "linux/dpkg_status.h"
#include "linux/environment_vars.h"
#include "linux/locale_info.h"
#include "linux/mem_info.h"
#include "linux/mounts.h"
#include "linux/network.h"
#include "linux/os_release.h"
#include "linux/processes.h"
#include "linux/startup_commands.h"
#include "linux/systemd_units.h"
#include "linux/time_zone_info.h"
#include "linux/volume_ids.h"
#include "wmi_class_test_support.h"

namespace {

using kvwmitest::DataPath;
using kvwmitest::Fixture;

TEST(OsRelease, TwoDistributions) {
    struct Case {
        const char* file;
        const char* pretty;
        const char* id;
        const char* version_id;
    } cases[] = {
        {"os-release/debian-12", "Debian GNU/Linux 12 (bookworm)", "debian", "12"},
        {"os-release/fedora-39", "Fedora Linux 39 (Workstation Edition)", "fedora", "39"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        kvlinux::OsRelease release = kvlinux::ParseOsRelease(Fixture(c.file));
        EXPECT_EQ(release.Get("PRETTY_NAME"), c.pretty);
        EXPECT_EQ(release.Get("ID"), c.id);
        EXPECT_EQ(release.Get("VERSION_ID"), c.version_id);
    }
}

TEST(OsRelease, QuotingEscapesAndBrokenLines) {
    kvlinux::OsRelease release = kvlinux::ParseOsRelease(Fixture("os-release/fedora-39"));
    EXPECT_EQ(release.Get("VARIANT"), "Workstation \"Edition\" $HOME");
    EXPECT_EQ(release.Get("VARIANT_ID"), "workstation");
    EXPECT_EQ(release.Get("VERSION_CODENAME"), "");       // set, to nothing
    EXPECT_EQ(release.Get("BROKEN"), std::nullopt);       // unterminated quote
    EXPECT_EQ(release.Get("SUPPORT_END"), "2024-11-12");  // the next line still counts
    EXPECT_EQ(release.Get("MISSING"), std::nullopt);
}

TEST(CpuInfo, TwoSocketsWithHyperThreadsGroupIntoTwoPackages) {
    auto cpus = kvlinux::ParseCpuInfo(Fixture("cpuinfo/xeon-2-sockets"));
    ASSERT_EQ(cpus.size(), 8u);
    EXPECT_EQ(cpus[0].model_name, "Intel(R) Xeon(R) Gold 6230 CPU @ 2.10GHz");
    EXPECT_EQ(cpus[0].family, 6u);
    EXPECT_EQ(cpus[0].model, 85u);
    EXPECT_EQ(cpus[0].stepping, 7u);
    EXPECT_DOUBLE_EQ(cpus[0].mhz.value_or(0), 2100.0);
    auto packages = kvlinux::GroupCpuPackages(cpus);
    ASSERT_EQ(packages.size(), 2u);
    for (const auto& p : packages) {
        EXPECT_EQ(p.logical_processors, 4u);
        EXPECT_EQ(p.cores, 2u);
        EXPECT_TRUE(p.HasFlag("vmx"));
        EXPECT_FALSE(p.HasFlag("vm"));
    }
    EXPECT_EQ(packages[1].socket, 1u);
}

TEST(CpuInfo, ArmWithoutPhysicalIdsIsOnePackage) {
    auto cpus = kvlinux::ParseCpuInfo(Fixture("cpuinfo/arm64-2-cores"));
    ASSERT_EQ(cpus.size(), 2u);
    EXPECT_EQ(cpus[0].vendor_id, "0x41");
    EXPECT_TRUE(cpus[0].model_name.empty());
    auto packages = kvlinux::GroupCpuPackages(cpus);
    ASSERT_EQ(packages.size(), 1u);
    EXPECT_EQ(packages[0].logical_processors, 2u);
    EXPECT_EQ(packages[0].cores, 2u);
    EXPECT_TRUE(packages[0].HasFlag("asimd"));
}

TEST(CpuInfo, SysfsCachesAndClock) {
    auto info = kvlinux::ReadCpuSysfsInfo(DataPath("sys"));
    EXPECT_EQ(info.l2_cache_kib, 1280u);
    EXPECT_EQ(info.l3_cache_kib, 8192u);
    EXPECT_EQ(info.max_mhz, 4700u);
    EXPECT_EQ(kvlinux::ParseCacheSizeKib("32K"), 32u);
    EXPECT_EQ(kvlinux::ParseCacheSizeKib("bogus"), std::nullopt);
}

TEST(MemInfo, ValuesInKib) {
    kvlinux::MemInfo mem = kvlinux::ParseMemInfo(Fixture("meminfo"));
    EXPECT_EQ(mem.Kib("MemTotal"), 16315060u);
    EXPECT_EQ(mem.Kib("MemAvailable"), 10543212u);
    EXPECT_EQ(mem.Kib("SwapFree"), 2080764u);
    EXPECT_EQ(mem.Kib("HugePages_Total"), 0u);
    EXPECT_EQ(mem.Kib("Nope"), std::nullopt);
    // The last line of a name counts; a line without a number gives no figure and leaves
    // the one before; names are trimmed and compared whole.
    kvlinux::MemInfo odd =
        kvlinux::ParseMemInfo("A: 1 kB\nB:\nA: 2 kB\nno colon 5\nC: x kB\n D : 7\nA: bad\nAB: 9");
    EXPECT_EQ(odd.Kib("A"), 2u);
    EXPECT_EQ(odd.Kib("B"), std::nullopt);
    EXPECT_EQ(odd.Kib("C"), std::nullopt);
    EXPECT_EQ(odd.Kib("D"), 7u);
    EXPECT_EQ(odd.Kib("AB"), 9u);
    EXPECT_EQ(odd.Kib("no colon 5"), std::nullopt);
}

TEST(Processes, StatLineWithHostileNames) {
    struct Case {
        std::string line;
        std::optional<std::string> comm;
    } cases[] = {
        {"42 (odd (name) x) R 1 42 42 0 -1 4194560 100 0 0 0 5 3 0 0 20 0 3 0 500 10000000 256",
         "odd (name) x"},
        {"77 (new\nline) S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 600 0 0", "new\nline"},
        {"99 () S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 600 0 0", ""},
        {"5 (x) S 1 1 1", std::nullopt},  // truncated
        {"abc (x) S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 600 0 0", std::nullopt},
        {"7 no parentheses", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        auto stat = kvlinux::ParseProcStat(c.line);
        ASSERT_EQ(stat.has_value(), c.comm.has_value());
        if (stat) {
            EXPECT_EQ(stat->comm, *c.comm);
        }
    }
    auto stat = kvlinux::ParseProcStat(cases[0].line);
    EXPECT_EQ(stat->pid, 42);
    EXPECT_EQ(stat->state, 'R');
    EXPECT_EQ(stat->ppid, 1);
    EXPECT_EQ(stat->utime, 5u);
    EXPECT_EQ(stat->stime, 3u);
    EXPECT_EQ(stat->num_threads, 3);
    EXPECT_EQ(stat->start_time, 500u);
    EXPECT_EQ(stat->vsize, 10000000u);
    EXPECT_EQ(stat->rss_pages, 256);
}

TEST(Processes, ProcTreeWithOddNamesAndAVanishedProcess) {
    auto processes = kvlinux::ReadProcesses(DataPath("proc"));
    std::vector<std::int64_t> pids;
    for (const auto& p : processes)
        pids.push_back(p.stat.pid);
    EXPECT_EQ(pids, (std::vector<std::int64_t>{1, 2, 42, 77, 99}));  // 123 has no stat
    auto find = [&](std::int64_t pid) {
        return *std::find_if(processes.begin(), processes.end(),
                             [&](const auto& p) { return p.stat.pid == pid; });
    };
    EXPECT_EQ(find(42).stat.comm, "odd (name) x");
    EXPECT_EQ(find(42).args, (std::vector<std::string>{"/usr/bin/odd", "--flag", "two words"}));
    EXPECT_EQ(find(77).stat.comm, "new\nline");
    EXPECT_EQ(find(99).stat.comm, "a) b (c");
    EXPECT_EQ(find(99).stat.state, 'Z');
    EXPECT_TRUE(find(2).args.empty());
    EXPECT_EQ(find(42).status.uid, 1000u);
    EXPECT_EQ(find(42).status.vm_hwm_kib, 256u * 4 + 8);
    EXPECT_EQ(kvlinux::ReadBootTime(DataPath("proc")), 1764979200);
}

// The count NumberOfProcesses reports takes exactly the folders the list takes.
TEST(Processes, TheCountAndTheListAgreeOnWhatIsAProcess) {
    kvwmitest::FakeTree tree("count-proc");
    for (const char* name : {"1", "10", "4194304", "0", "007", "12a", "-3", "+4", " 5", "self",
                             "99999999999999999999", "sys"})
        tree.Folder(name);
    tree.File("31", "a file named as a process is still counted by name");
    const std::vector<std::int64_t> pids = kvlinux::ListPids(tree.root());
    EXPECT_EQ(pids, (std::vector<std::int64_t>{1, 10, 31, 4194304}));
    EXPECT_EQ(kvlinux::CountPids(tree.root()), pids.size());
    EXPECT_EQ(kvlinux::CountPids(tree.root() + "/missing"), 0u);
    EXPECT_EQ(kvlinux::CountPids(DataPath("proc")), kvlinux::ListPids(DataPath("proc")).size());
}

TEST(Mounts, EscapesOverMountsAndPseudoFileSystems) {
    auto all = kvlinux::ParseMounts(Fixture("mounts"));
    ASSERT_EQ(all.size(), 12u);
    EXPECT_EQ(all[7].target, "/media/alice/My Disk");
    EXPECT_TRUE(all[7].ReadOnly());
    EXPECT_FALSE(all[3].ReadOnly());
    std::vector<std::string> targets;
    for (const auto& m : kvlinux::StorageMounts(all))
        targets.push_back(m.target);
    EXPECT_EQ(targets, (std::vector<std::string>{"/", "/boot/efi", "/media/alice/My Disk", "/home",
                                                 "/media/cdrom"}));
    auto storage = kvlinux::StorageMounts(all);
    EXPECT_EQ(storage[3].source, "/dev/sdc1");  // the later mount hides the nfs one
    EXPECT_TRUE(kvlinux::IsNetworkFileSystem("nfs4"));
    EXPECT_FALSE(kvlinux::IsNetworkFileSystem("ext4"));
}

TEST(Dmi, PlaceholdersAndBlanksAreAbsent) {
    kvlinux::DmiInfo dmi = kvlinux::ReadDmi(DataPath("sys/class/dmi/id"));
    EXPECT_EQ(dmi.sys_vendor, "LENOVO");
    EXPECT_EQ(dmi.product_version, "ThinkPad X1 Carbon Gen 9");
    EXPECT_EQ(dmi.product_serial, std::nullopt);  // "To be filled by O.E.M."
    EXPECT_EQ(dmi.board_serial, std::nullopt);    // blank
    EXPECT_EQ(dmi.product_uuid, std::nullopt);    // missing
    EXPECT_EQ(dmi.bios_version, "N32ET75W (1.51 )");
    EXPECT_EQ(dmi.chassis_type, "10");
}

// Builds one SMBIOS structure: formatted area then strings.
std::string Structure(std::uint8_t type, std::vector<std::uint8_t> body,
                      std::vector<std::string> strings) {
    std::string s;
    s += static_cast<char>(type);
    s += static_cast<char>(body.size() + 4);
    s += '\x11';
    s += '\x00';
    for (auto b : body)
        s += static_cast<char>(b);
    for (const auto& str : strings) {
        s += str;
        s += '\0';
    }
    if (strings.empty())
        s += '\0';
    s += '\0';
    return s;
}

TEST(Dmi, SmbiosMemoryDevices) {
    // Type 17, 0x28 bytes: offsets counted from the structure start (header 4 bytes).
    auto memory = [](std::uint16_t size, std::uint32_t extended) {
        std::vector<std::uint8_t> body(0x28 - 4, 0);
        auto put16 = [&](size_t at, std::uint16_t v) {
            body[at - 4] = v & 0xFF;
            body[at - 3] = v >> 8;
        };
        put16(0x08, 72);  // total width
        put16(0x0A, 64);  // data width
        put16(0x0C, size);
        body[0x0E - 4] = 0x09;  // DIMM
        body[0x10 - 4] = 1;     // device locator: string 1
        body[0x11 - 4] = 2;     // bank locator: string 2
        body[0x12 - 4] = 0x1A;  // DDR4
        put16(0x15, 3200);
        body[0x17 - 4] = 3;  // manufacturer
        body[0x18 - 4] = 4;  // serial: a placeholder
        body[0x1A - 4] = 5;  // part number
        for (int i = 0; i < 4; ++i)
            body[0x1C - 4 + i] = static_cast<std::uint8_t>(extended >> (8 * i));
        put16(0x20, 2933);
        return body;
    };
    std::string table =
        Structure(0, {1, 2, 3}, {"BIOS Vendor"}) +
        Structure(17, memory(16384, 0),
                  {"DIMM A1", "BANK 0", "Samsung", "Not Specified", "M378A2K43"}) +
        Structure(17, memory(0, 0), {}) +  // an empty slot
        Structure(17, memory(0x7FFF, 65536), {"DIMM B1", "BANK 1", "Micron", "1234", "X"}) +
        Structure(127, {}, {});
    auto devices = kvlinux::ParseSmbiosMemoryDevices(table);
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].size_bytes, 16384ull << 20);
    EXPECT_EQ(devices[0].device_locator, "DIMM A1");
    EXPECT_EQ(devices[0].bank_locator, "BANK 0");
    EXPECT_EQ(devices[0].manufacturer, "Samsung");
    EXPECT_EQ(devices[0].serial_number, std::nullopt);
    EXPECT_EQ(devices[0].part_number, "M378A2K43");
    EXPECT_EQ(devices[0].speed_mts, 3200u);
    EXPECT_EQ(devices[0].configured_speed_mts, 2933u);
    EXPECT_EQ(devices[0].memory_type, 0x1A);
    EXPECT_EQ(devices[0].data_width, 64);
    EXPECT_EQ(devices[1].size_bytes, 65536ull << 20);  // the extended size
    EXPECT_EQ(devices[1].serial_number, "1234");
    // A table cut inside a structure yields what came before it, without reading past.
    EXPECT_EQ(kvlinux::ParseSmbiosMemoryDevices(table.substr(0, table.size() / 2)).size(), 1u);
}

TEST(BlockDevices, DisksPartitionsAndBuses) {
    auto disks = kvlinux::ReadDisks(DataPath("sys"));
    ASSERT_EQ(disks.size(), 2u);  // loop0 has no device
    EXPECT_EQ(disks[0].name, "sda");
    EXPECT_EQ(disks[0].size_sectors, 1953525168u);
    EXPECT_EQ(disks[0].model, "ST1000DM010-2EP102");
    EXPECT_EQ(disks[0].vendor, "ATA");
    EXPECT_EQ(disks[0].firmware, "CC46");
    EXPECT_EQ(disks[0].bus, "ata");
    EXPECT_EQ(disks[0].rotational, true);
    ASSERT_EQ(disks[0].partitions.size(), 2u);
    EXPECT_EQ(disks[0].partitions[1].name, "sda2");
    EXPECT_EQ(disks[0].partitions[1].number, 2u);
    EXPECT_EQ(disks[0].partitions[1].start_sector, 1050624u);
    EXPECT_EQ(disks[1].bus, "usb");
    EXPECT_TRUE(disks[1].removable);
    EXPECT_TRUE(disks[1].partitions.empty());

    auto parts = kvlinux::ParseProcPartitions(Fixture("partitions"));
    ASSERT_EQ(parts.size(), 6u);
    EXPECT_EQ(parts[2].name, "nvme0n1p2");
    EXPECT_EQ(parts[2].blocks_kib, 499581952u);
    EXPECT_EQ(parts[5].major, 11u);
}

TEST(VolumeIds, LabelsWithEscapesAndUuids) {
    auto ids = kvlinux::ReadVolumeIds(DataPath("dev-disk"));
    EXPECT_EQ(ids["sda1"].label, "My Data");
    EXPECT_EQ(ids["sda1"].uuid, "3e6be9de-8139-11d1-9106-a43f08d823a6");
    EXPECT_EQ(ids["nvme0n1p2"].label, "root");
    EXPECT_EQ(ids["nvme0n1p2"].uuid, std::nullopt);
    EXPECT_EQ(ids["nvme0n1p1"].uuid, "ABCD-1234");
    EXPECT_EQ(kvlinux::DecodeUdevEscapes("a\\x2fb\\x2"), "a/b\\x2");
}

TEST(Network, InterfacesFromSysfs) {
    auto nics = kvlinux::ReadNetInterfaces(DataPath("sys"));
    ASSERT_EQ(nics.size(), 2u);  // bonding_masters is no interface
    EXPECT_EQ(nics[0].name, "lo");
    EXPECT_EQ(nics[0].mac, std::nullopt);
    EXPECT_EQ(nics[0].speed_mbps, std::nullopt);
    EXPECT_FALSE(nics[0].physical);
    EXPECT_EQ(nics[1].name, "eth0");
    EXPECT_EQ(nics[1].index, 2u);
    EXPECT_EQ(nics[1].mac, "52:54:00:12:34:56");
    EXPECT_EQ(nics[1].speed_mbps, 1000u);
    EXPECT_EQ(nics[1].mtu, 1500u);
    EXPECT_TRUE(nics[1].physical);
    EXPECT_EQ(nics[1].driver, "e1000");
}

TEST(Network, GatewaysResolverAndMasks) {
    auto gateways = kvlinux::ParseDefaultGateways(Fixture("route"), Fixture("ipv6_route"));
    EXPECT_EQ(gateways["eth0"], (std::vector<std::string>{"192.168.1.1", "fe80::1"}));
    EXPECT_EQ(gateways.count("wg0"), 0u);  // a default route without a gateway
    auto resolver = kvlinux::ParseResolvConf(Fixture("resolv.conf"));
    EXPECT_EQ(resolver.nameservers, (std::vector<std::string>{"192.168.1.1", "fd00::1"}));
    EXPECT_EQ(resolver.search, (std::vector<std::string>{"corp.example.com", "example.com"}));
    EXPECT_EQ(kvlinux::Ipv4MaskFromPrefix(24), "255.255.255.0");
    EXPECT_EQ(kvlinux::Ipv4MaskFromPrefix(0), "0.0.0.0");
    EXPECT_EQ(kvlinux::Ipv4MaskFromPrefix(32), "255.255.255.255");
    EXPECT_EQ(kvlinux::Ipv4MaskFromPrefix(20), "255.255.240.0");
}

TEST(Accounts, PasswdGroupAndShadow) {
    auto users = kvlinux::ParsePasswd(Fixture("passwd"));
    std::vector<std::string> names;
    for (const auto& u : users)
        names.push_back(u.name);
    EXPECT_EQ(names, (std::vector<std::string>{"root", "daemon", "alice", "bob"}));
    EXPECT_EQ(users[2].uid, 1000u);
    EXPECT_EQ(users[2].FullName(), "Alice Example");
    EXPECT_EQ(users[2].home, "/home/alice");
    EXPECT_EQ(users[3].FullName(), "");

    auto groups = kvlinux::ParseGroup(Fixture("group"));
    ASSERT_EQ(groups.size(), 4u);
    EXPECT_EQ(groups[1].members, (std::vector<std::string>{"alice", "bob"}));
    EXPECT_EQ(groups[3].members, (std::vector<std::string>{"alice", "bob"}));
    EXPECT_TRUE(groups[0].members.empty());

    const std::string shadow = Fixture("shadow");
    EXPECT_EQ(kvlinux::ParseShadowDisabled(shadow, "root", 20000), false);
    EXPECT_EQ(kvlinux::ParseShadowDisabled(shadow, "alice", 20000), false);
    EXPECT_EQ(kvlinux::ParseShadowDisabled(shadow, "bob", 20000), true);    // locked
    EXPECT_EQ(kvlinux::ParseShadowDisabled(shadow, "carol", 20000), true);  // expired
    EXPECT_EQ(kvlinux::ParseShadowDisabled(shadow, "carol", 50), false);
    EXPECT_EQ(kvlinux::ParseShadowDisabled(shadow, "nobody", 20000), std::nullopt);

    EXPECT_EQ(kvlinux::UserSidText(0), "S-1-5-18");
    EXPECT_EQ(kvlinux::UserSidText(1000), "S-1-22-1-1000");
    EXPECT_EQ(kvlinux::GroupSidText(0), "S-1-22-2-0");
}

TEST(DpkgStatus, MultiLineFieldsAndUnfinishedPackages) {
    auto packages = kvlinux::ParseDpkgStatus(Fixture("dpkg/status"));
    ASSERT_EQ(packages.size(), 6u);
    const auto& adduser = packages[0];
    EXPECT_EQ(adduser.name, "adduser");
    EXPECT_EQ(adduser.version, "3.134");
    EXPECT_EQ(adduser.architecture, "all");
    EXPECT_EQ(adduser.summary, "add and remove users and groups");
    EXPECT_EQ(adduser.description,
              "This package includes the 'adduser' and 'deluser' commands for creating\n"
              "and removing users.\n\n"
              "With the standard Debian policy, UIDs and GIDs can be dynamically allocated.");
    EXPECT_EQ(adduser.homepage, "https://salsa.debian.org/debian/adduser");  // after the text
    EXPECT_EQ(adduser.installed_size_kib, 849u);
    EXPECT_EQ(packages[1].source, "glibc");
    EXPECT_EQ(packages[1].summary, "GNU C Library: Shared libraries");

    struct Expect {
        const char* name;
        const char* state;
        bool files;
        bool configured;
    } expected[] = {
        {"adduser", "installed", true, true},
        {"libc6", "installed", true, true},
        {"broken-tool", "half-installed", true, false},
        {"old-daemon", "config-files", false, false},
        {"pending-trigger", "triggers-pending", true, true},
        {"half-configured-pkg", "half-configured", true, false},
    };
    for (size_t i = 0; i < packages.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(packages[i].name, expected[i].name);
        EXPECT_EQ(packages[i].state, expected[i].state);
        EXPECT_EQ(packages[i].FilesPresent(), expected[i].files);
        EXPECT_EQ(packages[i].Configured(), expected[i].configured);
    }
    EXPECT_EQ(packages[2].version, "1:0.9~rc1-2");
    EXPECT_EQ(packages[2].flag, "reinstreq");
}

TEST(DpkgStatus, SkippedFieldsLineEndsAndMalformedValues) {
    // Indented text under a skipped field never starts a field; CRLF lines; a field given
    // twice keeps its last value; a Status of four words and a size with a unit are not
    // taken.
    auto packages = kvlinux::ParseDpkgStatus(
        "Package: one\r\nConffiles:\r\n Package: evil\r\n Description: evil\r\n"
        "Version: 1\r\nVersion: 2\r\nDescription: first\r\n line\r\n .\r\n  indented\r\n"
        "Status: install ok installed now\r\nInstalled-Size: 12 kB\r\n"
        "Multi-Arch: same\r\n  \t \r\n"
        "Source: two-src\nPackage: two\nStatus: install ok\tunpacked\nInstalled-Size: 7\n .\n"
        "Description:\n only text\nHomepage: h\n\nno colon here\n indented orphan\n");
    ASSERT_EQ(packages.size(), 2u);
    EXPECT_EQ(packages[0].name, "one");
    EXPECT_EQ(packages[0].version, "2");
    EXPECT_EQ(packages[0].summary, "first");
    EXPECT_EQ(packages[0].description, "line\n\n indented");
    EXPECT_EQ(packages[0].state, "");
    EXPECT_EQ(packages[0].installed_size_kib, std::nullopt);
    EXPECT_EQ(packages[0].multi_arch, "same");
    EXPECT_EQ(packages[1].name, "two");
    EXPECT_EQ(packages[1].source, "two-src");
    EXPECT_EQ(packages[1].state, "unpacked");
    EXPECT_EQ(packages[1].installed_size_kib, 7u);  // " ." only adds an empty line
    EXPECT_EQ(packages[1].summary, "");
    EXPECT_EQ(packages[1].description, "only text");
    EXPECT_EQ(packages[1].homepage, "h");
    EXPECT_TRUE(kvlinux::ParseDpkgStatus("Version: 1\n\n \n").empty());
}

TEST(DpkgStatus, InstallTimeFromTheListDpkgNamesForThePackage) {
    kvwmitest::FakeTree tree("dpkg");
    tree.File("info/libz:amd64.list", "").File("info/libz.list", "").File("info/tool.list", "");
    tree.File("info/old:i386.list", "").File("info/sub/x.list", "");
    auto set_time = [&](const char* file, time_t seconds) {
        const timespec times[2] = {{seconds, 0}, {seconds, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (tree.root() + "/info/" + file).c_str(), times, 0), 0);
    };
    set_time("libz:amd64.list", 1000);
    set_time("libz.list", 2000);
    set_time("tool.list", 3000);
    set_time("old:i386.list", 4000);
    set_time("sub/x.list", 5000);
    auto package = [](const char* name, const char* arch, const char* multi_arch) {
        kvlinux::DpkgPackage pkg;
        pkg.name = name;
        pkg.architecture = arch;
        pkg.multi_arch = multi_arch;
        return pkg;
    };
    const kvwin::DpkgInfoFolder lists(tree.root());
    EXPECT_EQ(lists.InstallTime(package("libz", "amd64", "same")), 1000);
    EXPECT_EQ(lists.InstallTime(package("libz", "amd64", "foreign")), 2000);
    EXPECT_EQ(lists.InstallTime(package("tool", "amd64", "same")), 3000);  // the other name
    EXPECT_EQ(lists.InstallTime(package("old", "i386", "")), 4000);
    EXPECT_EQ(lists.InstallTime(package("sub/x", "all", "")), std::nullopt);
    EXPECT_EQ(lists.InstallTime(package("missing", "all", "")), std::nullopt);
    EXPECT_EQ(lists.InstallTime(package(std::string(300, 'a').c_str(), "all", "")), std::nullopt);
    EXPECT_EQ(kvlinux::PackageInstallTime(tree.root(), package("tool", "all", "")), 3000);
    EXPECT_EQ(kvwin::DpkgInfoFolder(tree.root() + "/none").InstallTime(package("tool", "", "")),
              std::nullopt);
}

TEST(SystemdUnits, UnitFileSyntax) {
    kvlinux::UnitFile unit = kvlinux::ParseUnitFile(
        "[Service]\nExecStart=/a\nExecStart=\nExecStart=/b \\\n  --x\n# c\n; d\nUser = web\n");
    EXPECT_EQ(unit["Service"]["ExecStart"], (std::vector<std::string>{"/b --x"}));
    EXPECT_EQ(unit["Service"]["User"], (std::vector<std::string>{"web"}));
}

TEST(SystemdUnits, PrecedenceEnablementMaskingAndRunState) {
    const std::string root = DataPath("systemd-root");
    auto units = kvlinux::ReadServiceUnits(root);
    std::vector<std::string> names;
    for (const auto& u : units)
        names.push_back(u.unit);
    // No template (getty@), no alias (sshd).
    EXPECT_EQ(names,
              (std::vector<std::string>{"bluetooth.service", "cron.service", "local-backup.service",
                                        "rc.service", "ssh.service"}));
    auto find = [&](const std::string& name) {
        return *std::find_if(units.begin(), units.end(),
                             [&](const auto& u) { return u.unit == name; });
    };
    EXPECT_EQ(find("ssh.service").start_mode, kvlinux::UnitStartMode::Auto);
    EXPECT_EQ(find("ssh.service").exec_start, "/usr/sbin/sshd -D $SSHD_OPTS");
    EXPECT_EQ(find("ssh.service").type, "notify");
    EXPECT_EQ(find("ssh.service").run_state, kvlinux::UnitRunState::Running);
    EXPECT_EQ(find("ssh.service").main_pid, 640);
    EXPECT_EQ(find("cron.service").description, "Regular background program processing daemon");
    EXPECT_EQ(find("cron.service").exec_start, "/usr/sbin/cron -f $EXTRA_OPTS");
    EXPECT_EQ(find("cron.service").user, "nobody");
    EXPECT_EQ(find("cron.service").start_mode, kvlinux::UnitStartMode::Manual);
    EXPECT_EQ(find("cron.service").run_state, kvlinux::UnitRunState::Stopped);
    EXPECT_EQ(find("bluetooth.service").start_mode, kvlinux::UnitStartMode::Disabled);
    EXPECT_EQ(find("bluetooth.service").description, "Bluetooth service");
    EXPECT_EQ(find("local-backup.service").start_mode, kvlinux::UnitStartMode::Auto);
    // Shipped masked, with no file of its own.
    EXPECT_EQ(find("rc.service").start_mode, kvlinux::UnitStartMode::Disabled);
    EXPECT_EQ(find("rc.service").exec_start, std::nullopt);

    // Without a running manager the run state is unknown.
    kvlinux::UnitLocations where = kvlinux::MachineUnitLocations(root);
    where.runtime_dir.clear();
    for (const auto& u : kvlinux::ReadServiceUnits(where)) {
        EXPECT_EQ(u.run_state, kvlinux::UnitRunState::Unknown) << u.unit;
        EXPECT_EQ(u.main_pid, std::nullopt);
    }
}

TEST(Environment, EtcEnvironmentAndBlocks) {
    auto vars = kvlinux::ParseEtcEnvironment(Fixture("environment"));
    EXPECT_EQ(vars, (std::vector<kvlinux::EnvVar>{
                        {"PATH", "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"},
                        {"JAVA_HOME", "/usr/lib/jvm/default-java"},
                        {"EMPTY", ""},
                        {"LANG", "en_GB.UTF-8"}}));
    EXPECT_EQ(kvlinux::ParseEnvironBlock(std::string("A=1\0B=x=y\0junk\0=z\0", 19)),
              (std::vector<kvlinux::EnvVar>{{"A", "1"}, {"B", "x=y"}}));
}

TEST(StartupCommands, DesktopEntriesCronAndRcLocal) {
    const std::string root = DataPath("startup-root");
    std::vector<kvlinux::UserEntry> users = {{"alice", 1000, 1000, "", "/home/alice", ""},
                                             {"bob", 1001, 1001, "", "/home/bob", ""}};
    auto entries = kvlinux::ReadStartupCommands(root, users);
    struct Expect {
        const char* name;
        const char* command;
        const char* location;  // under root
        const char* user;
    } expected[] = {
        {"Print Queue Applet", "system-config-printer-applet",
         "/etc/xdg/autostart/print-applet.desktop", "All Users"},
        {"syncer", "/home/alice/bin/syncer --quiet", "/home/alice/.config/autostart/syncer.desktop",
         "alice"},
        {"warm-cache", "/usr/local/sbin/warm-cache --now", "/etc/crontab", "root"},
        {"restore.sh", "/home/bob/restore.sh", "/etc/cron.d/backup", "bob"},
        {"tunnel", "/home/alice/bin/tunnel -f", "/var/spool/cron/crontabs/alice", "alice"},
        {"rc.local", "/etc/rc.local", "/etc/rc.local", "root"},
    };
    ASSERT_EQ(entries.size(), std::size(expected));
    for (size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(entries[i].name, expected[i].name);
        EXPECT_EQ(entries[i].command, expected[i].command);
        EXPECT_EQ(entries[i].location, root + expected[i].location);
        EXPECT_EQ(entries[i].user, expected[i].user);
    }
    EXPECT_EQ(entries[3].uid, 1001u);
    EXPECT_EQ(entries[0].uid, std::nullopt);
}

// The machine's zone is kept between fills and loaded again once its files have changed: the
// link re-pointed, the file rewritten in place, the file removed.
TEST(TimeZone, KeptZoneFollowsItsFiles) {
    kvwmitest::FakeTree tree("zone");
    auto copy = [&](const char* zone, const std::string& relative) {
        std::ifstream in(std::string("/usr/share/zoneinfo/") + zone, std::ios::binary);
        ASSERT_TRUE(in) << "tzdata missing";
        tree.File(relative, std::string(std::istreambuf_iterator<char>(in), {}));
    };
    copy("Europe/Paris", "zoneinfo/Paris");
    copy("America/New_York", "zoneinfo/New_York");
    tree.Link("localtime", tree.root() + "/zoneinfo/Paris");
    const std::string localtime = tree.root() + "/localtime";
    int loads = 0;
    auto load = [&] {
        ++loads;
        return kvwin::LoadZone(localtime);
    };
    kvlinux::ZoneKeeper keeper({localtime, tree.root() + "/timezone"}, load,
                               std::chrono::steady_clock::duration::zero());
    const std::int64_t jan_2025 = 1735689600;
    auto offset = [&] { return keeper.Get()->At(jan_2025).offset / 60; };

    const auto first = keeper.Get();
    EXPECT_EQ(first->At(jan_2025).offset / 60, 60);
    EXPECT_EQ(keeper.Get(), first);
    EXPECT_EQ(loads, 1);

    std::filesystem::remove(localtime);
    tree.Link("localtime", tree.root() + "/zoneinfo/New_York");
    EXPECT_EQ(offset(), -300);
    EXPECT_EQ(loads, 2);

    copy("Asia/Kolkata", "zoneinfo/New_York");  // same inode, other content
    EXPECT_EQ(offset(), 330);
    EXPECT_EQ(offset(), 330);
    EXPECT_EQ(loads, 3);

    tree.File("timezone", "Asia/Kolkata\n");  // the name's file appears
    EXPECT_EQ(offset(), 330);
    EXPECT_EQ(loads, 4);

    std::filesystem::remove(localtime);
    EXPECT_EQ(offset(), 0);  // no file: UTC
    EXPECT_EQ(loads, 5);

    // Between looks the kept zone stands, changed files or not.
    kvlinux::ZoneKeeper lazy({localtime}, load, std::chrono::hours(1));
    EXPECT_EQ(lazy.Get()->At(jan_2025).offset / 60, 0);
    tree.Link("localtime", tree.root() + "/zoneinfo/Paris");
    EXPECT_EQ(lazy.Get()->At(jan_2025).offset / 60, 0);
    EXPECT_EQ(loads, 6);
}

TEST(TimeZone, WindowsFormOfZoneRules) {
    struct Case {
        const char* zone;
        std::int32_t bias;
        std::int32_t daylight_bias;
        const char* standard_name;
        unsigned daylight_month, daylight_week, standard_month, standard_week, hour;
    } cases[] = {
        {"America/New_York", -300, -60, "Eastern Standard Time", 3, 2, 11, 1, 2},
        {"Europe/Paris", 60, -60, "Romance Standard Time", 3, 5, 10, 5, 2},
        {"Asia/Kolkata", 330, 0, "India Standard Time", 0, 0, 0, 0, 0},
    };
    const std::int64_t jan_2025 = 1735689600;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zone);
        kvwin::ZoneInfo zone = kvwin::LoadZone(std::string(c.zone));
        ASSERT_EQ(zone.name, c.zone) << "tzdata missing";
        auto d = kvlinux::DescribeZone(zone, jan_2025);
        EXPECT_EQ(d.bias_minutes, c.bias);
        EXPECT_EQ(d.daylight_bias, c.daylight_bias);
        EXPECT_EQ(d.standard_name, c.standard_name);
        EXPECT_EQ(d.current_offset_minutes, c.bias);  // January: standard time everywhere
        if (c.daylight_bias == 0) {
            EXPECT_FALSE(d.daylight_start.has_value());
            continue;
        }
        ASSERT_TRUE(d.daylight_start && d.standard_start);
        EXPECT_EQ(d.daylight_start->month, c.daylight_month);
        EXPECT_EQ(d.daylight_start->week, c.daylight_week);
        EXPECT_EQ(d.daylight_start->weekday, 0u);
        EXPECT_EQ(d.standard_start->month, c.standard_month);
        EXPECT_EQ(d.standard_start->week, c.standard_week);
    }
}

}  // namespace

namespace {

TEST(Accounts, ShadowPasswordRules) {
    const std::string shadow =
        "root:*:19000:0:99999:7:::\n"
        "alice:$y$j9T$abc$def:19000:0:90:7:::\n"
        "bob:!$y$j9T$abc$def:19000:0:99999:7:::\n"
        "dave::19000:0:99999:7:::\n"
        "erin:$y$x:19000:30:10:7:::\n";
    auto alice = kvlinux::ParseShadowAging(shadow, "alice");
    ASSERT_TRUE(alice);
    EXPECT_TRUE(alice->password_required);
    EXPECT_TRUE(alice->password_expires);  // 90 days
    EXPECT_TRUE(alice->password_changeable);
    EXPECT_FALSE(alice->locked);
    // 99999 is shadow's "never expires"; "!" locks; an empty field needs no password;
    // a minimum age above the maximum forbids changing.
    EXPECT_FALSE(kvlinux::ParseShadowAging(shadow, "root")->password_expires);
    EXPECT_TRUE(kvlinux::ParseShadowAging(shadow, "bob")->locked);
    EXPECT_FALSE(kvlinux::ParseShadowAging(shadow, "dave")->password_required);
    EXPECT_FALSE(kvlinux::ParseShadowAging(shadow, "erin")->password_changeable);
    EXPECT_EQ(kvlinux::ParseShadowAging(shadow, "nobody"), std::nullopt);
    EXPECT_EQ(kvlinux::ParseShadowAging("alice:x:1\n", "alice"), std::nullopt);  // short line
}

TEST(Locale, WindowsIdentifiersOfPosixLocales) {
    EXPECT_EQ(kvlinux::LcidOfLocale("en_US.UTF-8"), 0x0409u);
    EXPECT_EQ(kvlinux::LcidOfLocale("en_GB.UTF-8"), 0x0809u);
    EXPECT_EQ(kvlinux::LcidOfLocale("de_DE@euro"), 0x0407u);
    EXPECT_EQ(kvlinux::LcidOfLocale("de_LU.UTF-8"), 0x0407u);  // the language's main country
    EXPECT_EQ(kvlinux::LcidOfLocale("pt_BR"), 0x0416u);
    EXPECT_EQ(kvlinux::LcidOfLocale("C.UTF-8"), 0x0409u);
    EXPECT_EQ(kvlinux::LcidOfLocale("POSIX"), 0x0409u);
    EXPECT_EQ(kvlinux::LcidOfLocale("tlh_XX"), std::nullopt);
    EXPECT_EQ(kvlinux::LcidOfLocale(""), std::nullopt);

    EXPECT_TRUE(kvlinux::IsUtf8Locale("en_US.UTF-8"));
    EXPECT_TRUE(kvlinux::IsUtf8Locale("en_US.utf8@euro"));
    EXPECT_FALSE(kvlinux::IsUtf8Locale("en_US.ISO-8859-1"));
    EXPECT_FALSE(kvlinux::IsUtf8Locale("C"));
}

TEST(Locale, SystemLocaleAndMachineIdFromTheirFiles) {
    const std::string root = DataPath("locale-root");
    EXPECT_EQ(kvlinux::ReadSystemLocale(root), "de_CH.UTF-8");
    EXPECT_EQ(kvlinux::ReadMachineId(root), "0123456789abcdef0123456789ABCDEF");
    EXPECT_EQ(kvlinux::ReadSystemLocale(DataPath("no-such-root")), std::nullopt);
    EXPECT_EQ(kvlinux::ReadMachineId(DataPath("no-such-root")), std::nullopt);
}

TEST(DomainMembership, SssdSambaOrStandAlone) {
    // realmd's join writes an sssd.conf whose [sssd] section names the domain.
    auto sssd = kvlinux::ParseDomainMembership(
        "[sssd]\ndomains = corp.example.com, other.example\nservices = nss, pam\n"
        "[domain/corp.example.com]\nid_provider = ad\n",
        "[global]\n   workgroup = IGNORED\n");
    EXPECT_EQ(sssd.domain, "corp.example.com");
    EXPECT_EQ(sssd.workgroup, std::nullopt);

    auto ads = kvlinux::ParseDomainMembership(
        "",
        "; Samba\n[global]\n   Security = ADS\n   realm = CORP.EXAMPLE.COM\n"
        "   workgroup = CORP\n[homes]\n   realm = NOT.THIS\n");
    EXPECT_EQ(ads.domain, "CORP.EXAMPLE.COM");

    auto nt4 = kvlinux::ParseDomainMembership("", "[global]\nsecurity = domain\nworkgroup = OLD\n");
    EXPECT_EQ(nt4.domain, "OLD");

    auto standalone =
        kvlinux::ParseDomainMembership("", "[global]\n# security = ads\nworkgroup = HOME\n");
    EXPECT_EQ(standalone.domain, std::nullopt);
    EXPECT_EQ(standalone.workgroup, "HOME");

    auto nothing = kvlinux::ParseDomainMembership("", "");
    EXPECT_EQ(nothing.domain, std::nullopt);
    EXPECT_EQ(nothing.workgroup, std::nullopt);
    // A section header without its bracket, an empty domain list: no crash, no domain.
    EXPECT_EQ(kvlinux::ParseDomainMembership("[sssd\ndomains =\n", "[global").domain, std::nullopt);
}

TEST(Processes, WindowsPriorityClassesOfNiceValues) {
    auto with = [](std::int64_t priority, std::int64_t nice) {
        kvlinux::ProcStat stat;
        stat.priority = priority;
        stat.nice = nice;
        return kvlinux::WindowsBasePriority(stat);
    };
    EXPECT_EQ(with(20, 0), 8u);
    EXPECT_EQ(with(39, 19), 4u);
    EXPECT_EQ(with(25, 5), 6u);
    EXPECT_EQ(with(15, -5), 10u);
    EXPECT_EQ(with(0, -20), 13u);
    EXPECT_EQ(with(-51, 0), 24u);  // SCHED_FIFO priority 50
}

// This process's open descriptors and session, against a reading made here: the count
// grows by exactly one when a descriptor is opened.
TEST(Processes, OpenDescriptorsAndSessionOfThisProcess) {
    const std::int64_t self = ::getpid();
    auto before = kvlinux::CountOpenDescriptors(self);
    ASSERT_TRUE(before);
    int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(kvlinux::CountOpenDescriptors(self), *before + 1);
    ::close(fd);
    EXPECT_EQ(kvlinux::CountOpenDescriptors(-1), std::nullopt);

    auto text = kvlinux::ReadFirstLine("/proc/self/sessionid");
    if (!text)
        GTEST_SKIP() << "this kernel keeps no log-on session ids";
    const std::uint64_t raw = kvlinux::ParseUnsigned(*text).value_or(0);
    EXPECT_EQ(kvlinux::ReadLogonSession(self), raw >= 0xFFFFFFFFu ? 0u : raw);
}

}  // namespace

namespace {

// The one-target scan agrees with the full parse on every target of the captured table
// (the last mount on a target wins, escapes decoded), and finds nothing where nothing is.
TEST(Mounts, SourceOfOneTargetAgreesWithTheFullParse) {
    const std::string content = Fixture("mounts");
    const auto mounts = kvlinux::ParseMounts(content);
    ASSERT_FALSE(mounts.empty());
    for (const kvlinux::MountEntry& m : mounts) {
        std::string last;
        for (const kvlinux::MountEntry& other : mounts) {
            if (other.target == m.target)
                last = other.source;
        }
        EXPECT_EQ(kvlinux::MountSourceOf(content, m.target), last) << m.target;
    }
    EXPECT_EQ(kvlinux::MountSourceOf(content, "/no/such/mount"), std::nullopt);
    EXPECT_EQ(kvlinux::MountSourceOf(content, ""), std::nullopt);
    EXPECT_EQ(kvlinux::MountSourceOf("/dev/sdb1 /mnt/my\\040disk ext4 rw 0 0\n", "/mnt/my disk"),
              "/dev/sdb1");
    EXPECT_EQ(kvlinux::MountSourceOf("garbage\n\n /x\n", "/x"), std::nullopt);
}

}  // namespace

namespace {

// The ids of the captured PCI network card (reached through its interface's link) and USB
// device (from one of its interfaces), and Windows' identifiers made of them.
TEST(DeviceIds, PciAndUsbDevicesFromSysfs) {
    auto nic = kvlinux::ReadDeviceIds(DataPath("sys/class/net/eth0/device"));
    ASSERT_TRUE(nic);
    EXPECT_EQ(nic->bus, kvlinux::DeviceIds::Bus::Pci);
    EXPECT_EQ(kvlinux::PnpDeviceId(*nic),
              "PCI\\VEN_8086&DEV_100E&SUBSYS_001E8086&REV_02\\0000:00:03.0");

    auto usb =
        kvlinux::ReadDeviceIds(DataPath("sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0"));
    ASSERT_TRUE(usb);
    EXPECT_EQ(usb->bus, kvlinux::DeviceIds::Bus::Usb);
    EXPECT_EQ(kvlinux::PnpDeviceId(*usb), "USB\\VID_8087&PID_0024\\1-2");  // blank serial

    EXPECT_EQ(kvlinux::ReadDeviceIds(DataPath("sys/class/net/lo")), std::nullopt);  // virtual
    EXPECT_EQ(kvlinux::ReadDeviceIds(DataPath("no/such/device")), std::nullopt);
}

TEST(DeviceIds, NamesFromTheIdsDatabase) {
    const std::string ids = Fixture("pci.ids");
    auto intel = kvlinux::ParseIdNames(ids, 0x8086, 0x100e);
    EXPECT_EQ(intel.vendor, "Intel Corporation");
    EXPECT_EQ(intel.device, "82540EM Gigabit Ethernet Controller");  // not its subsystem line
    // A device of another vendor with the same number, a vendor without the device, a
    // number that appears only in the class lists.
    EXPECT_EQ(kvlinux::ParseIdNames(ids, 0x8087, 0x100e).device, std::nullopt);
    EXPECT_EQ(kvlinux::ParseIdNames(ids, 0x8087, 0x0024).device, "Integrated Rate Matching Hub");
    EXPECT_EQ(kvlinux::ParseIdNames(ids, 0x1af4, 0xb0df).vendor, "Red Hat, Inc.");
    EXPECT_EQ(kvlinux::ParseIdNames(ids, 0x1af4, 0xb0df).device, std::nullopt);
    EXPECT_EQ(kvlinux::ParseIdNames(ids, 0x0002, 0x0000).vendor, std::nullopt);
    EXPECT_EQ(kvlinux::ParseIdNames("", 0x8086, 0x100e).vendor, std::nullopt);
    EXPECT_EQ(kvlinux::ParseIdNames("8086\n\t100\n", 0x8086, 0x100e).device, std::nullopt);
}

// On this machine: the installed database names each physical adapter's ids as an
// independent reading of the database with the shell's tools does.
TEST(DeviceIds, NamesOfThisMachinesAdaptersAgreeWithGrep) {
    bool any = false;
    for (const kvlinux::NetInterface& nic : kvlinux::ReadNetInterfaces()) {
        auto ids = kvlinux::ReadDeviceIds("/sys/class/net/" + nic.name + "/device");
        if (!ids || ids->bus != kvlinux::DeviceIds::Bus::Pci)
            continue;
        char vendor[8];
        std::snprintf(vendor, sizeof vendor, "%04x", ids->vendor);
        auto line = kvwmitest::RunCommand(std::string("grep -m1 '^") + vendor +
                                          "  ' /usr/share/misc/pci.ids 2>/dev/null");
        if (!line || line->empty())
            continue;
        any = true;
        EXPECT_EQ(kvlinux::LookUpIdNames(*ids).vendor,
                  std::string(kvlinux::Trim(std::string_view(*line).substr(4))));
    }
    if (!any)
        GTEST_SKIP() << "no PCI network adapter with a name in /usr/share/misc/pci.ids here";
}

}  // namespace
