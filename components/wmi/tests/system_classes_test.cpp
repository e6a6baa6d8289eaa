// Sessions, profiles and accounts; shares; swap; routes; kernel modules; volumes; the boot
// configuration: their readers on fixtures, the classes filled from them, and the live
// classes against the system's own tools (who, ip) or a direct reading.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <utmp.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fstream>

#include "classes/fill_from_readers.h"
#include "fake_tree.h"
#include "kvtest/test_env.h"
#include "kvwin/time_zone.h"
#include "provider/cim_datetime.h"
#include "wmi_class_test_support.h"

namespace {

using kvwmitest::Class;
using kvwmitest::TextOf;
using kvwmitest::UnsignedOf;

std::string UtmpRecord(short type, const char* user, const char* line, const char* host, pid_t pid,
                       std::int32_t seconds) {
    struct utmp record;
    std::memset(&record, 0, sizeof record);
    record.ut_type = type;
    record.ut_pid = pid;
    std::strncpy(record.ut_user, user, sizeof record.ut_user);
    std::strncpy(record.ut_line, line, sizeof record.ut_line);
    std::strncpy(record.ut_host, host, sizeof record.ut_host);
    record.ut_tv.tv_sec = seconds;
    return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

std::vector<kvlinux::LoginSession> TwoSessions() {
    const std::string utmp =
        UtmpRecord(BOOT_TIME, "", "~", "6.1.0", 0, 1700000000) +
        UtmpRecord(USER_PROCESS, "alice", "pts/0", "10.0.0.9", 4242, 1700000100) +
        UtmpRecord(LOGIN_PROCESS, "LOGIN", "tty2", "", 900, 1700000000) +
        UtmpRecord(DEAD_PROCESS, "", "pts/1", "", 5000, 1700000050) +
        UtmpRecord(USER_PROCESS, "bob", "tty1", "", 1234, 1700000200) + "partial";
    return kvlinux::ParseUtmp(utmp);
}

TEST(Sessions, UtmpLogOnsBecomeSessionsAndAssociations) {
    const auto sessions = TwoSessions();
    ASSERT_EQ(sessions.size(), 2u);
    EXPECT_EQ(sessions[0].user, "alice");
    EXPECT_EQ(sessions[0].host, "10.0.0.9");
    EXPECT_EQ(sessions[0].login_time, 1700000100);
    EXPECT_EQ(sessions[1].line, "tty1");

    const auto& decl = Class(u"Win32_LogonSession");
    std::vector<kvwmi::Instance> out;
    kvwmi::FillLogonSessionsFrom(decl, sessions, out);
    ASSERT_EQ(out.size(), 2u);
    for (const auto& instance : out)
        kvwmitest::ExpectWellTyped(decl, instance);
    EXPECT_EQ(TextOf(decl, out[0], u"LogonId"), "4242");
    EXPECT_EQ(UnsignedOf(decl, out[0], u"LogonType"), 10u);  // remote
    EXPECT_EQ(UnsignedOf(decl, out[1], u"LogonType"), 2u);   // local
    EXPECT_EQ(TextOf(decl, out[1], u"StartTime"),
              kvwin::ToUtf8(kvwmi::FormatCimDateTimeLocal(1700000200)));

    const auto& links = Class(u"Win32_LoggedOnUser");
    out.clear();
    kvwmi::FillLoggedOnUsersFrom(links, sessions, "HOST", out);
    ASSERT_EQ(out.size(), 2u);
    kvwmitest::ExpectWellTyped(links, out[0]);
    EXPECT_EQ(TextOf(links, out[0], u"Antecedent"),
              "\\\\HOST\\root\\cimv2:Win32_Account.Domain=\"HOST\",Name=\"alice\"");
    EXPECT_EQ(TextOf(links, out[0], u"Dependent"),
              "\\\\HOST\\root\\cimv2:Win32_LogonSession.LogonId=\"4242\"");
}

TEST(Sessions, LiveSessionsMatchWho) {
    auto who = kvwmitest::RunCommand("who 2>/dev/null");
    if (!who)
        GTEST_SKIP() << "who cannot run here";
    const size_t expected = kvlinux::SplitLines(*who).size();
    EXPECT_EQ(kvwmitest::Fill(Class(u"Win32_LogonSession")).size(), expected);
    EXPECT_EQ(kvwmitest::Fill(Class(u"Win32_LoggedOnUser")).size(), expected);
    if (expected == 0)
        GTEST_SKIP() << "nobody is logged on (no utmp records): the fixture test covers values";
}

TEST(AccountClasses, ProfilesAndSystemAccountsFromTheUserList) {
    EXPECT_EQ(kvwmi::ParseUidMin("# UID_MIN 5\nUID_MIN\t\t 2000\n"), 2000u);
    EXPECT_EQ(kvwmi::ParseUidMin("UID_MIN x\n"), 1000u);
    const std::vector<kvlinux::UserEntry> users = {
        {"root", 0, 0, "root", "/root", "/bin/bash"},
        {"daemon", 1, 1, "daemon", "/usr/sbin", "/usr/sbin/nologin"},
        {"alice", 1000, 1000, "Alice Liddell,,,", "/home/alice", "/bin/bash"},
        {"nobody", 65534, 65534, "nobody", "/nonexistent", "/usr/sbin/nologin"},
    };
    const auto& accounts = Class(u"Win32_SystemAccount");
    std::vector<kvwmi::Instance> out;
    kvwmi::FillSystemAccountsFrom(accounts, users, 1000, "HOST", out);
    ASSERT_EQ(out.size(), 3u);  // root, daemon, nobody
    kvwmitest::ExpectWellTyped(accounts, out[0]);
    EXPECT_EQ(TextOf(accounts, out[0], u"SID"), "S-1-5-18");
    EXPECT_EQ(TextOf(accounts, out[1], u"Caption"), "HOST\\daemon");
    EXPECT_EQ(TextOf(accounts, out[2], u"Name"), "nobody");

    const auto& profiles = Class(u"Win32_UserProfile");
    out.clear();
    kvwmi::FillUserProfilesFrom(profiles, {users[0], users[2]}, TwoSessions(), {{1000, 1700000100}},
                                out);
    ASSERT_EQ(out.size(), 2u);
    for (const auto& instance : out)
        kvwmitest::ExpectWellTyped(profiles, instance);
    EXPECT_EQ(kvwmitest::Value(profiles, out[0], u"Special"), kvwmi::CimValue(true));
    EXPECT_EQ(kvwmitest::Value(profiles, out[0], u"Loaded"), kvwmi::CimValue(false));
    EXPECT_EQ(TextOf(profiles, out[0], u"LastUseTime"), "<null>");
    EXPECT_EQ(TextOf(profiles, out[1], u"SID"), "S-1-22-1-1000");
    EXPECT_EQ(TextOf(profiles, out[1], u"LocalPath"), "/home/alice");
    EXPECT_EQ(kvwmitest::Value(profiles, out[1], u"Loaded"), kvwmi::CimValue(true));
    EXPECT_EQ(TextOf(profiles, out[1], u"LastUseTime"),
              kvwin::ToUtf8(kvwmi::FormatCimDateTimeLocal(1700000100)));
    // Every known folder says it is not redirected.
    for (const char16_t* folder : {u"AppDataRoaming", u"Documents", u"SavedGames"}) {
        const auto* objects =
            std::get_if<kvwmi::EmbeddedObjects>(&kvwmitest::Value(profiles, out[1], folder));
        ASSERT_TRUE(objects && objects->size() == 1u) << kvwin::ToUtf8(folder);
        const kvwmi::EmbeddedObject& health = *objects->front();
        EXPECT_EQ(health.decl->name, u"Win32_FolderRedirectionHealth");
        EXPECT_EQ(kvwmitest::Value(*health.decl, health.values, u"Redirected"),
                  kvwmi::CimValue(false));
        EXPECT_EQ(TextOf(*health.decl, health.values, u"LastSyncTime"), "<null>");
    }
}

TEST(AccountClasses, LastLoginIsReadAtTheUsersRecord) {
    kvwmitest::FakeTree tree("log");
    const std::string path = tree.root() + "/lastlog";
    {
        std::ofstream file(path, std::ios::binary);
        struct lastlog record;
        std::memset(&record, 0, sizeof record);
        record.ll_time = 1700000300;
        file.seekp(1000 * sizeof record);  // a sparse file: uids below are holes
        file.write(reinterpret_cast<const char*>(&record), sizeof record);
    }
    EXPECT_EQ(kvlinux::ReadLastLogin(1000, path).value_or(0), 1700000300);
    EXPECT_FALSE(kvlinux::ReadLastLogin(999, path));   // a hole: never logged on
    EXPECT_FALSE(kvlinux::ReadLastLogin(5000, path));  // past the end
    EXPECT_FALSE(kvlinux::ReadLastLogin(0, tree.root() + "/missing"));
}

TEST(Shares, SambaSharesAndNfsExports) {
    const char* smb =
        "[global]\n   workgroup = WORKGROUP\n"
        "[homes]\n   comment = Home Directories\n   browseable = no\n"
        "[Public Files]\n   Comment = Everyone's files\n   Path = /srv/public\n"
        "; [disabled]\n"
        "[hidden]\n   path = /srv/hidden\n   available = no\n"
        "[printers]\n   comment = All Printers\n   path = /var/spool/samba\n";
    auto samba = kvlinux::ParseSambaShares(smb);
    ASSERT_EQ(samba.size(), 3u);
    EXPECT_EQ(samba[1].name, "Public Files");
    EXPECT_EQ(samba[1].path, "/srv/public");
    EXPECT_EQ(samba[1].comment, "Everyone's files");
    EXPECT_TRUE(samba[2].printer);

    const char* exports =
        "# comment\n/srv/nfs  192.168.1.0/24(rw,sync) \\\n   10.0.0.1(ro)\n"
        "\"/srv/with space\" *(ro)\n";
    auto nfs = kvlinux::ParseNfsExports(exports);
    ASSERT_EQ(nfs.size(), 2u);
    EXPECT_EQ(nfs[0].path, "/srv/nfs");
    EXPECT_EQ(nfs[0].clients, "192.168.1.0/24(rw,sync)     10.0.0.1(ro)");
    EXPECT_EQ(nfs[1].path, "/srv/with space");

    samba.insert(samba.end(), nfs.begin(), nfs.end());
    const auto& decl = Class(u"Win32_Share");
    std::vector<kvwmi::Instance> out;
    kvwmi::FillSharesFrom(decl, samba, out);
    ASSERT_EQ(out.size(), 5u);
    for (const auto& instance : out)
        kvwmitest::ExpectWellTyped(decl, instance);
    EXPECT_EQ(TextOf(decl, out[0], u"Path"), "<null>");  // [homes]: each user's own
    EXPECT_EQ(UnsignedOf(decl, out[2], u"Type"), 1u);    // print queue
    EXPECT_EQ(TextOf(decl, out[4], u"Name"), "/srv/with space");
    EXPECT_EQ(TextOf(decl, out[4], u"Description"), "NFS export to *(ro)");
}

TEST(Swap, ActiveAreasAndConfiguredOnes) {
    const auto areas = kvlinux::ParseProcSwaps(
        "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority\n"
        "/dev/sda3                               partition\t8388604\t\t1024\t\t-2\n"
        "/swap\\040file                           file\t\t2097148\t\t0\t\t-3\n"
        "broken line\n");
    ASSERT_EQ(areas.size(), 2u);
    EXPECT_FALSE(areas[0].file);
    EXPECT_EQ(areas[0].priority, -2);
    EXPECT_EQ(areas[1].path, "/swap file");
    EXPECT_TRUE(areas[1].file);

    const auto configured = kvlinux::ParseFstabSwaps(
        "# <fs> <mount> <type>\nUUID=1234 / ext4 defaults 0 1\n/swap\\040file none swap sw 0 0\n"
        "/dev/sdb2 none swap sw 0 0\n");
    EXPECT_EQ(configured, (std::vector<std::string>{"/swap file", "/dev/sdb2"}));

    const auto& usage = Class(u"Win32_PageFileUsage");
    std::vector<kvwmi::Instance> out;
    kvwmi::FillPageFileUsageFrom(usage, areas, out);
    ASSERT_EQ(out.size(), 2u);
    kvwmitest::ExpectWellTyped(usage, out[0]);
    EXPECT_EQ(UnsignedOf(usage, out[0], u"AllocatedBaseSize"), 8191u);  // MiB
    EXPECT_EQ(UnsignedOf(usage, out[0], u"CurrentUsage"), 1u);

    const auto& setting = Class(u"Win32_PageFileSetting");
    out.clear();
    kvwmi::FillPageFileSettingsFrom(setting, configured, areas, out);
    ASSERT_EQ(out.size(), 2u);
    kvwmitest::ExpectWellTyped(setting, out[0]);
    EXPECT_EQ(UnsignedOf(setting, out[0], u"MaximumSize"), 2047u);
    EXPECT_EQ(UnsignedOf(setting, out[1], u"MaximumSize"), std::nullopt);  // not active
}

TEST(Routes, TableFromFixtureAndLiveAgainstIp) {
    const auto routes = kvlinux::ParseRouteTable(kvwmitest::Fixture("route"));
    ASSERT_EQ(routes.size(), 3u);
    EXPECT_EQ(routes[0].gateway, "192.168.1.1");
    EXPECT_EQ(routes[1].destination, "192.168.1.0");
    EXPECT_EQ(routes[1].mask, "255.255.255.0");

    const auto& decl = Class(u"Win32_IP4RouteTable");
    std::vector<kvwmi::Instance> out;
    kvwmi::FillRoutesFrom(decl, routes, {{"eth0", 2}}, out);
    ASSERT_EQ(out.size(), 2u);  // wg0 has no index: left out
    for (const auto& instance : out)
        kvwmitest::ExpectWellTyped(decl, instance);
    EXPECT_EQ(UnsignedOf(decl, out[0], u"Type"), 4u);  // through a gateway
    EXPECT_EQ(UnsignedOf(decl, out[1], u"Type"), 3u);  // on-link
    EXPECT_EQ(kvwmitest::Value(decl, out[0], u"Metric1"), kvwmi::CimValue(std::int64_t{100}));
    EXPECT_EQ(kvwmitest::Value(decl, out[0], u"Metric2"), kvwmi::CimValue(std::int64_t{-1}));

    auto ip = kvwmitest::RunCommand("ip -4 route show table main 2>/dev/null");
    if (!ip)
        GTEST_SKIP() << "ip is not installed";
    size_t expected = 0;
    for (std::string_view line : kvlinux::SplitLines(*ip)) {
        // The unicast routes through an interface; reject routes name none, and a
        // multipath route's hops are indented lines of their own.
        bool typed = false;
        for (std::string_view type : {"unreachable", "prohibit", "blackhole", "throw"})
            typed |= kvlinux::StartsWith(line, type);
        expected += !typed && line.find(" dev ") != std::string_view::npos && line.front() != ' ' &&
                    line.front() != '\t';
    }
    EXPECT_EQ(kvwmitest::Fill(decl).size(), expected) << *ip;
}

TEST(KernelModules, ModulesFilesAndDrivers) {
    const auto loaded = kvlinux::ParseProcModules(
        "ext4 1011712 2 - Live 0x0000000000000000\n"
        "snd_hda_intel 57344 3 - Loading 0x0000000000000000\nbad\n");
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded[1].state, "Loading");
    const auto files = kvlinux::ParseModulesDep(
        "kernel/fs/ext4/ext4.ko.xz: kernel/fs/mbcache.ko.xz\n"
        "kernel/sound/pci/hda/snd-hda-intel.ko: kernel/sound/core/snd.ko\n",
        "/lib/modules/6.1.0");
    EXPECT_EQ(files.at("ext4"), "/lib/modules/6.1.0/kernel/fs/ext4/ext4.ko.xz");
    EXPECT_EQ(files.at("snd_hda_intel"),
              "/lib/modules/6.1.0/kernel/sound/pci/hda/snd-hda-intel.ko");

    kvwmitest::FakeTree tree("sys");
    tree.File("module/ext4/initstate", "live\n")
        .File("module/snd_hda_intel/initstate", "coming\n")
        .File("module/kernel/parameters/panic", "0\n");  // built in
    kvwmitest::FakeTree proc("proc");
    proc.File("modules", "ext4 1011712 2 - Live 0x0\nsnd_hda_intel 57344 3 - Loading 0x0\n");
    const auto modules = kvlinux::ReadKernelModules(tree.root(), proc.root());
    ASSERT_EQ(modules.size(), 3u);

    const auto& decl = Class(u"Win32_SystemDriver");
    std::vector<kvwmi::Instance> out;
    kvwmi::FillSystemDriversFrom(decl, modules, files, "HOST", out);
    ASSERT_EQ(out.size(), 3u);
    for (const auto& instance : out)
        kvwmitest::ExpectWellTyped(decl, instance);
    EXPECT_EQ(TextOf(decl, out[0], u"PathName"), "/lib/modules/6.1.0/kernel/fs/ext4/ext4.ko.xz");
    EXPECT_EQ(TextOf(decl, out[0], u"StartMode"), "System");
    EXPECT_EQ(TextOf(decl, out[1], u"Name"), "kernel");
    EXPECT_EQ(TextOf(decl, out[1], u"StartMode"), "Boot");
    EXPECT_EQ(kvwmitest::Value(decl, out[1], u"AcceptStop"), kvwmi::CimValue(false));
    EXPECT_EQ(TextOf(decl, out[2], u"State"), "Start Pending");

    // Live: every entry of /sys/module is a driver.
    const size_t listed = kvlinux::ListFolder("/sys/module").size();
    if (listed == 0)
        GTEST_SKIP() << "this machine has no /sys/module";
    EXPECT_GE(kvwmitest::Fill(decl).size(), listed);
}

TEST(Volumes, MountedAndUnmountedVolumes) {
    kvwmi::VolumeFacts root;
    root.device = "/dev/sda2";
    root.mount_point = "/";
    root.file_system = "ext4";
    root.space = kvlinux::VolumeSpace{100 << 20, 40 << 20, 50 << 20, 4096};
    root.name_max = 255;
    kvwmi::VolumeFacts efi;
    efi.device = "/dev/sda1";
    efi.mount_point = "/boot/efi";
    efi.file_system = "vfat";
    efi.ids.uuid = "1A2B-3C4D";
    efi.ids.label = "EFI";
    efi.read_only = true;
    kvwmi::VolumeFacts spare;
    spare.device = "/dev/sdb1";
    spare.file_system = "xfs";
    spare.ids.uuid = "0f3c6e6e-5b1a-4d8b-9c33-8d2a1a2b3c4d";
    kvwmi::VolumeFacts nfs;
    nfs.mount_point = "/mnt/share";
    nfs.file_system = "nfs4";
    nfs.drive_type = 4;
    kvlinux::SwapArea swap_file;
    swap_file.path = "/swapfile";
    swap_file.file = true;

    const auto& decl = Class(u"Win32_Volume");
    std::vector<kvwmi::Instance> out;
    kvwmi::FillVolumesFrom(decl, {root, efi, spare, nfs}, {swap_file}, "HOST", out);
    ASSERT_EQ(out.size(), 4u);
    for (const auto& instance : out)
        kvwmitest::ExpectWellTyped(decl, instance);
    EXPECT_EQ(TextOf(decl, out[0], u"DeviceID"), "/dev/sda2");
    EXPECT_EQ(TextOf(decl, out[0], u"Name"), "/");
    EXPECT_EQ(UnsignedOf(decl, out[0], u"NumberOfBlocks"), 25600u);
    EXPECT_EQ(UnsignedOf(decl, out[0], u"FreeSpace"), 40u << 20);
    EXPECT_EQ(kvwmitest::Value(decl, out[0], u"BootVolume"), kvwmi::CimValue(true));
    EXPECT_EQ(kvwmitest::Value(decl, out[0], u"SystemVolume"), kvwmi::CimValue(false));
    EXPECT_EQ(kvwmitest::Value(decl, out[0], u"PageFile"), kvwmi::CimValue(true));
    EXPECT_EQ(kvwmitest::Value(decl, out[1], u"SystemVolume"), kvwmi::CimValue(true));
    EXPECT_EQ(UnsignedOf(decl, out[1], u"SerialNumber"), 0x1A2B3C4Du);
    EXPECT_EQ(UnsignedOf(decl, out[1], u"Access"), 1u);
    EXPECT_EQ(TextOf(decl, out[1], u"Label"), "EFI");
    EXPECT_EQ(TextOf(decl, out[2], u"Name"), "/dev/sdb1");  // not mounted
    EXPECT_EQ(UnsignedOf(decl, out[2], u"SerialNumber"), std::nullopt);
    EXPECT_EQ(TextOf(decl, out[2], u"BootVolume"), "<null>");
    EXPECT_EQ(TextOf(decl, out[3], u"DeviceID"), "/mnt/share");
    EXPECT_EQ(UnsignedOf(decl, out[3], u"DriveType"), 4u);
}

TEST(Volumes, LiveRootVolumeMatchesStatvfs) {
    struct statvfs root;
    ASSERT_EQ(::statvfs("/", &root), 0);
    const auto& decl = Class(u"Win32_Volume");
    int found = 0;
    for (const auto& instance : kvwmitest::Fill(decl)) {
        kvwmitest::ExpectWellTyped(decl, instance);
        if (TextOf(decl, instance, u"Name") != "/")
            continue;
        ++found;
        EXPECT_EQ(UnsignedOf(decl, instance, u"Capacity"),
                  std::uint64_t(root.f_blocks) * root.f_frsize);
        EXPECT_EQ(UnsignedOf(decl, instance, u"MaximumFileNameLength"), root.f_namemax);
    }
    if (found == 0)
        GTEST_SKIP() << "the root file system is no storage file system here";
    EXPECT_EQ(found, 1);
}

// Updates from the package manager's logs: apt's history in its rotations (the compressed
// one unread), dpkg's log for what apt did not do; installs, reinstalls and malformed
// entries are no updates.
TEST(QuickFixes, UpgradesFromAptHistoryAndDpkgLog) {
    kvwmitest::FakeTree tree("root");
    tree.File("var/log/apt/history.log.1",
              "Start-Date: 2024-03-05  10:12:33\n"
              "Commandline: /usr/bin/unattended-upgrade\n"
              "Upgrade: libssl3:amd64 (3.0.11-1~deb12u1, 3.0.11-1~deb12u2), "
              "openssl:amd64 (3.0.11-1~deb12u1, 3.0.11-1~deb12u2)\n"
              "End-Date: 2024-03-05  10:12:40\n")
        .File("var/log/apt/history.log",
              "Upgrade: orphan:amd64 (1, 2)\n"
              "\n"
              "Start-Date: 2024-11-20  08:01:02\n"
              "Commandline: apt-get install curl\n"
              "Requested-By: alice (1000)\n"
              "Install: curl:amd64 (7.88.1-10+deb12u8)\n"
              "Upgrade: libcurl4:amd64 (7.88.1-10+deb12u7, 7.88.1-10+deb12u8, automatic)\n"
              "End-Date: 2024-11-20  08:01:09\n"
              "\n"
              "Start-Date: when\n"
              "Upgrade: undated:amd64 (1, 2)\n"
              "\n"
              "Start-Date: 2024-12-01  07:00:00\n"
              "Upgrade: nocomma:amd64 (1), same:amd64 (2, 2), good:all (1, 2), open:amd64 (1, 2\n")
        .File("var/log/apt/history.log.2.gz", std::string("\x1f\x8b\x08\0Upgrade: x", 14))
        .File("var/log/dpkg.log",
              "2024-03-05 10:12:35 upgrade libssl3:amd64 3.0.11-1~deb12u1 3.0.11-1~deb12u2\n"
              "2024-06-01 09:00:00 upgrade manual:amd64 1.0 1.1\n"
              "2024-06-01 09:00:01 status installed manual:amd64 1.1\n"
              "2024-06-02 09:00:00 upgrade again:amd64 2.0 2.0\n"
              "2024-06-03 09:00:00 install new:amd64 <none> 1.0\n"
              "2024-06-04 upgrade short\n"
              "2024-06-05 09:00:00 upgrade extra:amd64 1 2 3\n"
              "2024/06/06 09:00:00 upgrade slashed:amd64 1 2\n");

    const auto upgrades = kvlinux::ReadPackageUpgrades(tree.root());
    std::vector<std::string> ids;
    for (const auto& u : upgrades)
        ids.push_back(u.package + "=" + u.version + "@" + u.date);
    EXPECT_EQ(ids, (std::vector<std::string>{
                       "libssl3:amd64=3.0.11-1~deb12u2@2024-03-05",
                       "openssl:amd64=3.0.11-1~deb12u2@2024-03-05",
                       "manual:amd64=1.1@2024-06-01",
                       "libcurl4:amd64=7.88.1-10+deb12u8@2024-11-20",
                       "good:all=2@2024-12-01",
                   }));

    const auto& decl = Class(u"Win32_QuickFixEngineering");
    std::vector<kvwmi::Instance> out;
    kvwmi::FillQuickFixesFrom(decl, upgrades, "HOST", out);
    ASSERT_EQ(out.size(), 5u);
    for (const auto& instance : out)
        kvwmitest::ExpectWellTyped(decl, instance);
    EXPECT_EQ(TextOf(decl, out[0], u"HotFixID"), "libssl3:amd64=3.0.11-1~deb12u2");
    EXPECT_EQ(TextOf(decl, out[0], u"Description"), "Security Update");  // unattended-upgrade
    EXPECT_EQ(TextOf(decl, out[0], u"InstalledOn"), "3/5/2024");
    EXPECT_EQ(TextOf(decl, out[0], u"InstalledBy"), "<null>");
    EXPECT_EQ(TextOf(decl, out[0], u"FixComments"), "3.0.11-1~deb12u1");
    EXPECT_EQ(kvwmitest::Value(decl, out[0], u"ServicePackInEffect"),
              kvwmi::CimValue(std::u16string()));
    EXPECT_EQ(TextOf(decl, out[2], u"Description"), "Update");  // dpkg -i
    EXPECT_EQ(TextOf(decl, out[3], u"InstalledBy"), "alice");
    EXPECT_EQ(TextOf(decl, out[3], u"InstalledOn"), "11/20/2024");
    EXPECT_EQ(TextOf(decl, out[3], u"CSName"), "HOST");

    // Nothing logged: no instances, no failure; a hostile line ends nothing it should not.
    kvwmitest::FakeTree empty("empty");
    EXPECT_TRUE(kvlinux::ReadPackageUpgrades(empty.root()).empty());
    EXPECT_TRUE(
        kvlinux::ParseAptHistory("Start-Date: 2024-01-01 00:00:00\nUpgrade: (, ), ((\n").empty());
    EXPECT_EQ(kvlinux::ParseAptHistory("Start-Date: 2024-01-01 00:00:00\n"
                                       "Upgrade: a:x (1, 2), b:x (1, 2), c:x (1, 2)\n",
                                       2)
                  .size(),
              2u);
}

// rpm packages as products: rpm's own names for a package and its version.
TEST(Products, RpmPackagesAfterDpkgOnes) {
    kvwin::RpmPackage tool;
    tool.name = "tool";
    tool.version = "2.4.6";
    tool.release = "3.el9";
    tool.epoch = 1;
    tool.arch = "x86_64";
    tool.vendor = "Example Vendor";
    tool.summary = "A small tool";
    tool.install_time = 1700000000;
    kvwin::RpmPackage bare;
    bare.name = "bare";
    bare.version = "1.0";
    const auto& decl = Class(u"Win32_Product");
    std::vector<kvwmi::Instance> out;
    kvwmi::FillRpmProductsFrom(decl, {tool, bare}, out);
    ASSERT_EQ(out.size(), 2u);
    for (const auto& instance : out)
        kvwmitest::ExpectWellTyped(decl, instance);
    EXPECT_EQ(TextOf(decl, out[0], u"IdentifyingNumber"), "tool.x86_64");
    EXPECT_EQ(TextOf(decl, out[0], u"Version"), "1:2.4.6-3.el9");
    EXPECT_EQ(TextOf(decl, out[0], u"Vendor"), "Example Vendor");
    EXPECT_EQ(TextOf(decl, out[0], u"Caption"), "A small tool");
    EXPECT_EQ(TextOf(decl, out[0], u"InstallDate").size(), 8u);  // yyyymmdd, local time
    EXPECT_EQ(TextOf(decl, out[1], u"IdentifyingNumber"), "bare");
    EXPECT_EQ(TextOf(decl, out[1], u"Version"), "1.0");
    EXPECT_EQ(TextOf(decl, out[1], u"InstallDate"), "<null>");
}

// dpkg's packages as products: the installed ones in the database's order, each with only
// its own fields (a field of the package before never carries over), and the date of its
// file list.
TEST(Products, DpkgPackagesFromTheStatusFileAndTheLists) {
    kvwmitest::FakeTree tree("dpkg");
    tree.File("status", kvwmitest::Fixture("dpkg/status")).File("info/adduser.list", "");
    tree.File("info/libc6:amd64.list", "");
    const timespec times[2] = {{1709596800, 0}, {1709596800, 0}};  // 2024-03-05 00:00 UTC
    ASSERT_EQ(::utimensat(AT_FDCWD, (tree.root() + "/info/adduser.list").c_str(), times, 0), 0);
    const auto& decl = Class(u"Win32_Product");
    std::vector<kvwmi::Instance> out;
    kvwmi::FillDpkgProductsFrom(decl, {}, tree.root(), kvwin::LoadZone("America/New_York"), out);
    ASSERT_EQ(out.size(), 5u);  // old-daemon left only its configuration
    for (const auto& instance : out)
        kvwmitest::ExpectWellTyped(decl, instance);
    const auto& adduser = out[0];
    EXPECT_EQ(TextOf(decl, adduser, u"IdentifyingNumber"), "adduser:all");
    EXPECT_EQ(TextOf(decl, adduser, u"Name"), "adduser");
    EXPECT_EQ(TextOf(decl, adduser, u"Version"), "3.134");
    EXPECT_EQ(TextOf(decl, adduser, u"Vendor"),
              "Debian Adduser Developers <adduser@packages.debian.org>");
    EXPECT_EQ(TextOf(decl, adduser, u"Caption"), "add and remove users and groups");
    EXPECT_EQ(TextOf(decl, adduser, u"Description"), "add and remove users and groups");
    EXPECT_EQ(TextOf(decl, adduser, u"InstallDate"), "20240304");  // the evening before there
    EXPECT_EQ(TextOf(decl, adduser, u"URLInfoAbout"), "https://salsa.debian.org/debian/adduser");
    EXPECT_EQ(std::get<std::int64_t>(kvwmitest::Value(decl, adduser, u"InstallState")), 5);
    EXPECT_EQ(TextOf(decl, out[1], u"IdentifyingNumber"), "libc6:amd64");
    EXPECT_EQ(TextOf(decl, out[1], u"URLInfoAbout"), "<null>");
    EXPECT_EQ(TextOf(decl, out[1], u"InstallDate").size(), 8u);
    EXPECT_EQ(TextOf(decl, out[2], u"Name"), "broken-tool");
    EXPECT_EQ(TextOf(decl, out[2], u"InstallDate"), "<null>");  // no file list
    EXPECT_EQ(std::get<std::int64_t>(kvwmitest::Value(decl, out[2], u"InstallState")), -6);
    EXPECT_EQ(TextOf(decl, out[4], u"Name"), "half-configured-pkg");
    EXPECT_EQ(TextOf(decl, out[4], u"Vendor"), "<null>");

    // Only what a query asks for (and the keys): no date looked up, no vendor.
    kvwmi::Selection selection;
    selection.wanted.assign(decl.properties.size(), false);
    for (std::u16string_view wanted : {u"Name", u"Version", u"IdentifyingNumber", u"Description"})
        selection.wanted[static_cast<size_t>(decl.IndexOf(wanted))] = true;
    out.clear();
    kvwmi::FillDpkgProductsFrom(decl, selection, tree.root(), kvwin::UtcZone(), out);
    ASSERT_EQ(out.size(), 5u);
    EXPECT_EQ(TextOf(decl, out[0], u"IdentifyingNumber"), "adduser:all");
    EXPECT_EQ(TextOf(decl, out[0], u"Version"), "3.134");
    EXPECT_EQ(TextOf(decl, out[0], u"Description"), "add and remove users and groups");
    EXPECT_EQ(TextOf(decl, out[0], u"InstallDate"), "<null>");
    EXPECT_EQ(TextOf(decl, out[0], u"Vendor"), "<null>");

    out.clear();
    kvwmi::FillDpkgProductsFrom(decl, {}, tree.root() + "/none", kvwin::UtcZone(), out);
    EXPECT_TRUE(out.empty());
}

// The install date is the day the C library's local time gives in the same zone, across
// midnight, a change of daylight time, and before 1970.
TEST(Products, InstallDateIsTheLocalCalendarDay) {
    for (const char* zone :
         {"UTC", "America/New_York", "Asia/Kolkata", "Pacific/Chatham", "Pacific/Kiritimati"}) {
        const kvtest::ScopedEnvironmentVariable tz("TZ", zone);
        ::tzset();
        const kvwin::ZoneInfo info = kvwin::LoadZone(zone);
        for (std::int64_t t :
             {std::int64_t{0}, std::int64_t{-1}, std::int64_t{-86401}, std::int64_t{1710054000},
              std::int64_t{1710054000 + 3599}, std::int64_t{1730613600}, std::int64_t{1709596799},
              std::int64_t{253402300799}}) {
            std::time_t time = static_cast<std::time_t>(t);
            std::tm parts{};
            ASSERT_NE(::localtime_r(&time, &parts), nullptr);
            char expected[32];
            std::strftime(expected, sizeof expected, "%Y%m%d", &parts);
            const kvwmi::CimValue date = kvwmi::LocalDateText(t, info);
            ASSERT_TRUE(std::holds_alternative<std::u16string>(date));
            EXPECT_EQ(kvwin::ToUtf8(std::get<std::u16string>(date)), expected) << zone << " " << t;
        }
    }
    ::tzset();
    EXPECT_TRUE(kvwmi::IsNull(kvwmi::LocalDateText(std::nullopt, kvwin::UtcZone())));
    EXPECT_TRUE(kvwmi::IsNull(kvwmi::LocalDateText(INT64_MAX, kvwin::UtcZone())));
    EXPECT_TRUE(kvwmi::IsNull(kvwmi::LocalDateText(std::int64_t{1} << 60, kvwin::UtcZone())));
}

TEST(BootConfiguration, OneInstance) {
    const auto& decl = Class(u"Win32_BootConfiguration");
    const auto out = kvwmitest::Fill(decl);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(TextOf(decl, out[0], u"Name"), "BootConfiguration");
    EXPECT_EQ(TextOf(decl, out[0], u"BootDirectory"), "/boot");
}

}  // namespace
