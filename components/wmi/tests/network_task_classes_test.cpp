// Listening ports and connections (the kernel's socket tables and who holds each socket)
// and scheduled tasks (cron tables, run-parts folders, systemd timers), from fixtures and
// live: a socket this test opens must be found with this process as its owner.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "classes/fill_from_readers.h"
#include "fake_tree.h"
#include "wmi_class_test_support.h"

namespace {

using kvwmitest::TextOf;
using kvwmitest::UnsignedOf;

const kvwmi::ClassDecl& NetClass(std::u16string_view name) {
    return kvwmitest::Class(name, u"root\\StandardCimv2");
}

// As a little-endian kernel writes them: 127.0.0.1:53 listening, an established
// connection 10.0.0.5:22 <- 10.0.0.9:51000, a time-wait socket nobody holds.
constexpr const char* kTcp =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
    "timeout inode\n"
    "   0: 0100007F:0035 00000000:0000 0A 00000000:00000000 00:00000000 00000000   101        "
    "0 20001 1 0000000000000000 100 0 0 10 0\n"
    "   1: 0500000A:0016 0900000A:C738 01 00000000:00000000 02:000A7D5C 00000000     0        "
    "0 20002 4 0000000000000000 20 4 29 10 -1\n"
    "   2: 0500000A:0016 0900000A:C739 06 00000000:00000000 03:00001770 00000000     0        "
    "0 0 3 0000000000000000\n"
    "   3: garbage\n";
constexpr const char* kTcp6 =
    "  sl  local_address                         remote_address                        st "
    "tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
    "   0: 00000000000000000000000000000000:1F90 00000000000000000000000000000000:0000 0A "
    "00000000:00000000 00:00000000 00000000  1000        0 20003 1 0000000000000000 100 0 0 10 "
    "0\n"
    "   1: 0000000000000000FFFF00000100007F:0277 00000000000000000000000000000000:0000 0A "
    "00000000:00000000 00:00000000 00000000     0        0 20004 1 0000000000000000 100 0 0 10 "
    "0\n";

TEST(SocketTables, ParseAddressesPortsStatesAndInodes) {
    const auto v4 = kvlinux::ParseSocketTable(kTcp, false);
    ASSERT_EQ(v4.size(), 3u);  // the malformed line is left out
    EXPECT_EQ(v4[0].local_address, "127.0.0.1");
    EXPECT_EQ(v4[0].local_port, 53);
    EXPECT_EQ(v4[0].state, 10);
    EXPECT_EQ(v4[0].uid, 101u);
    EXPECT_EQ(v4[0].inode, 20001u);
    EXPECT_EQ(v4[1].remote_address, "10.0.0.9");
    EXPECT_EQ(v4[1].remote_port, 51000);
    EXPECT_EQ(v4[2].inode, 0u);

    const auto v6 = kvlinux::ParseSocketTable(kTcp6, true);
    ASSERT_EQ(v6.size(), 2u);
    EXPECT_EQ(v6[0].local_address, "::");
    EXPECT_EQ(v6[0].local_port, 8080);
    EXPECT_EQ(v6[1].local_address, "::ffff:127.0.0.1");

    EXPECT_EQ(kvlinux::SocketInodeOfLink("socket:[20001]").value_or(0), 20001u);
    EXPECT_FALSE(kvlinux::SocketInodeOfLink("pipe:[20001]"));
    EXPECT_FALSE(kvlinux::SocketInodeOfLink("socket:[]"));
}

TEST(SocketTables, TcpConnectionsCarryStateAndOwner) {
    const auto& decl = NetClass(u"MSFT_NetTCPConnection");
    std::vector<kvwmi::Instance> out;
    kvwmi::FillTcpConnectionsFrom(decl, kvlinux::ParseSocketTable(kTcp, false),
                                  {{20001, 812}, {20002, 1400}}, out);
    ASSERT_EQ(out.size(), 3u);
    for (const auto& instance : out)
        kvwmitest::ExpectWellTyped(decl, instance);
    EXPECT_EQ(TextOf(decl, out[0], u"InstanceID"), "127.0.0.1++53++0.0.0.0++0");
    EXPECT_EQ(UnsignedOf(decl, out[0], u"State"), 2u);  // Listen
    EXPECT_EQ(UnsignedOf(decl, out[0], u"OwningProcess"), 812u);
    EXPECT_EQ(UnsignedOf(decl, out[1], u"State"), 5u);   // Established
    EXPECT_EQ(UnsignedOf(decl, out[2], u"State"), 11u);  // TimeWait
    EXPECT_EQ(UnsignedOf(decl, out[2], u"OwningProcess"), std::nullopt);
}

// A socket bound here, of the given type, on 127.0.0.1 and an ephemeral port.
struct BoundSocket {
    int fd = -1;
    std::uint16_t port = 0;
    explicit BoundSocket(int type) {
        fd = ::socket(AF_INET, type, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            (type == SOCK_STREAM && ::listen(fd, 1) != 0) ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return;
        port = ntohs(address.sin_port);
    }
    ~BoundSocket() {
        if (fd >= 0)
            ::close(fd);
    }
};

void ExpectOwnSocketListed(const kvwmi::ClassDecl& decl, int type) {
    BoundSocket own(type);
    ASSERT_NE(own.port, 0) << "cannot bind a socket here";
    if (kvlinux::ReadSockets(type == SOCK_STREAM ? "tcp" : "udp").empty())
        GTEST_SKIP() << "this kernel shows no socket table in /proc/net";
    int found = 0;
    for (const auto& instance : kvwmitest::Fill(decl)) {
        kvwmitest::ExpectWellTyped(decl, instance);
        if (UnsignedOf(decl, instance, u"LocalPort") != own.port ||
            TextOf(decl, instance, u"LocalAddress") != "127.0.0.1")
            continue;
        ++found;
        EXPECT_EQ(UnsignedOf(decl, instance, u"OwningProcess"),
                  static_cast<std::uint64_t>(::getpid()));
        if (type == SOCK_STREAM) {
            EXPECT_EQ(UnsignedOf(decl, instance, u"State"), 2u);
        }
    }
    EXPECT_EQ(found, 1);
}

TEST(SocketTables, LiveListenersAreFoundWithTheirOwner) {
    ExpectOwnSocketListed(NetClass(u"MSFT_NetTCPConnection"), SOCK_STREAM);
    ExpectOwnSocketListed(NetClass(u"MSFT_NetUDPEndpoint"), SOCK_DGRAM);
}

TEST(ScheduledJobs, CrontabLinesWithAndWithoutUserField) {
    const char* table =
        "# m h dom mon dow user command\n"
        "SHELL=/bin/sh\n"
        "PATH = /usr/bin:/bin\n"
        "17 *\t* * *\troot    cd / && run-parts --report /etc/cron.hourly\n"
        "@reboot root /usr/local/bin/at-boot --flag=x\n"
        "5 4 * * sun\n"
        "\n";
    auto jobs = kvlinux::ParseCrontab(table, true, "/etc/crontab", "");
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].name, "crontab:4");
    EXPECT_EQ(jobs[0].schedule, "17 *\t* * *");
    EXPECT_EQ(jobs[0].user, "root");
    EXPECT_EQ(jobs[0].command, "cd / && run-parts --report /etc/cron.hourly");
    EXPECT_EQ(jobs[1].schedule, "@reboot");
    EXPECT_EQ(jobs[1].command, "/usr/local/bin/at-boot --flag=x");

    jobs = kvlinux::ParseCrontab("*/5 * * * * echo a=b > /tmp/x\n", false,
                                 "/var/spool/cron/crontabs/alice", "alice");
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].user, "alice");
    EXPECT_EQ(jobs[0].command, "echo a=b > /tmp/x");
}

kvwmitest::FakeTree JobsMachine() {
    kvwmitest::FakeTree tree("root");
    tree.File("etc/crontab", "0 1 * * * root /bin/nightly\n")
        .File("etc/cron.d/backup", "MAILTO=root\n30 2 * * * backup /usr/bin/backup\n")
        .File("etc/cron.d/backup.dpkg-old", "30 2 * * * root /old\n")
        .File("var/spool/cron/crontabs/alice", "@hourly /home/alice/sync\n")
        .File("etc/cron.daily/logrotate", "#!/bin/sh\n")
        .File("etc/cron.daily/README.txt", "not run\n")
        .File("lib/systemd/system/fstrim.timer",
              "[Unit]\nDescription=Discard unused blocks once a week\n[Timer]\n"
              "OnCalendar=weekly\nPersistent=true\n")
        .File("lib/systemd/system/backup.timer",
              "[Timer]\nOnBootSec=15min\nOnUnitActiveSec=1d\nUnit=backup-run.service\n")
        .File("lib/systemd/system/pg_dump@.timer", "[Timer]\nOnCalendar=daily\n")
        .File("lib/systemd/system/gone.timer", "[Timer]\nOnCalendar=daily\n")
        .Link("etc/systemd/system/gone.timer", "/dev/null")
        .Link("etc/systemd/system/timers.target.wants/fstrim.timer",
              "/lib/systemd/system/fstrim.timer");
    return tree;
}

TEST(ScheduledJobs, TasksFromCronFoldersAndTimers) {
    const auto tree = JobsMachine();
    const auto jobs = kvlinux::ReadCronJobs(tree.root());
    ASSERT_EQ(jobs.size(), 4u);
    EXPECT_EQ(jobs[0].file, "/etc/crontab");
    EXPECT_EQ(jobs[1].name, "backup:2");
    EXPECT_EQ(jobs[1].user, "backup");
    EXPECT_EQ(jobs[2].user, "alice");
    EXPECT_EQ(jobs[3].name, "cron.daily:logrotate");
    EXPECT_EQ(jobs[3].schedule, "@daily");

    const auto timers = kvlinux::ReadTimerUnits(kvlinux::MachineUnitLocations(tree.root()));
    ASSERT_EQ(timers.size(), 2u);  // the masked and the template timer are left out
    EXPECT_EQ(timers[0].unit, "backup.timer");
    EXPECT_EQ(timers[0].activates, "backup-run.service");
    EXPECT_EQ(timers[0].schedules,
              (std::vector<std::string>{"OnBootSec=15min", "OnUnitActiveSec=1d"}));
    EXPECT_FALSE(timers[0].enabled);
    EXPECT_TRUE(timers[1].enabled);

    const auto& decl =
        kvwmitest::Class(u"MSFT_ScheduledTask", u"root\\Microsoft\\Windows\\TaskScheduler");
    std::vector<kvwmi::Instance> out;
    kvwmi::FillScheduledTasksFrom(decl, jobs, timers, out);
    ASSERT_EQ(out.size(), 6u);
    for (const auto& instance : out)
        kvwmitest::ExpectWellTyped(decl, instance);
    EXPECT_EQ(TextOf(decl, out[1], u"TaskPath"), "\\cron\\");
    EXPECT_EQ(TextOf(decl, out[1], u"URI"), "\\cron\\backup:2");
    EXPECT_EQ(TextOf(decl, out[1], u"Author"), "backup");
    EXPECT_EQ(TextOf(decl, out[1], u"Description"), "30 2 * * * /usr/bin/backup");
    EXPECT_EQ(TextOf(decl, out[4], u"TaskName"), "backup.timer");
    EXPECT_EQ(UnsignedOf(decl, out[4], u"State"), 1u);  // Disabled
    EXPECT_EQ(TextOf(decl, out[4], u"Description"),
              "backup-run.service OnBootSec=15min OnUnitActiveSec=1d");
    EXPECT_EQ(UnsignedOf(decl, out[5], u"State"), 3u);  // Ready
    EXPECT_EQ(TextOf(decl, out[5], u"Description"), "Discard unused blocks once a week");

    // The embedded objects: "<class>" then "Property=value" of each non-null property.
    auto embedded = [&](const kvwmi::Instance& task, const char16_t* property) {
        std::vector<std::string> described;
        auto* objects =
            std::get_if<kvwmi::EmbeddedObjects>(&kvwmitest::Value(decl, task, property));
        if (!objects)
            return described;
        for (const auto& object : *objects) {
            std::string text = kvwin::ToUtf8(object->decl->name);
            for (size_t i = 0; i < object->values.size(); ++i) {
                const auto& value = object->values[i];
                std::string shown;
                if (auto* t = std::get_if<std::u16string>(&value))
                    shown = kvwin::ToUtf8(*t);
                else if (auto* u = std::get_if<std::uint64_t>(&value))
                    shown = std::to_string(*u);
                else if (auto* b = std::get_if<bool>(&value))
                    shown = *b ? "true" : "false";
                else
                    continue;
                text += " " + kvwin::ToUtf8(object->decl->properties[i].name) + "=" + shown;
            }
            described.push_back(text);
        }
        return described;
    };
    using Texts = std::vector<std::string>;
    // /etc/crontab's job, a user's job, the run-parts script.
    EXPECT_EQ(embedded(out[0], u"Actions"), Texts{"MSFT_TaskExecAction Execute=/bin/nightly"});
    EXPECT_EQ(embedded(out[0], u"Triggers"), Texts{"MSFT_TaskTrigger Enabled=true Id=0 1 * * *"});
    EXPECT_EQ(embedded(out[2], u"Principal"), Texts{"MSFT_TaskPrincipal Id=Author UserId=alice"});
    EXPECT_EQ(embedded(out[3], u"Triggers"),
              Texts{"MSFT_TaskDailyTrigger Enabled=true DaysInterval=1"});
    // The disabled timer with two schedules.
    EXPECT_EQ(embedded(out[4], u"Actions"),
              Texts{"MSFT_TaskExecAction Arguments=start backup-run.service Execute=systemctl"});
    EXPECT_EQ(embedded(out[4], u"Triggers"),
              (Texts{"MSFT_TaskBootTrigger Enabled=true Delay=15min",
                     "MSFT_TaskTrigger Enabled=true Id=OnUnitActiveSec=1d"}));
    EXPECT_EQ(embedded(out[4], u"Principal"), Texts{"MSFT_TaskPrincipal Id=Author"});
    EXPECT_EQ(embedded(out[4], u"Settings"), Texts{"MSFT_TaskSettings Enabled=false Hidden=false"});
    EXPECT_EQ(embedded(out[5], u"Settings"), Texts{"MSFT_TaskSettings Enabled=true Hidden=false"});
}

TEST(ScheduledJobs, CommandLinesSplitIntoProgramAndArguments) {
    const auto& decl =
        kvwmitest::Class(u"MSFT_ScheduledTask", u"root\\Microsoft\\Windows\\TaskScheduler");
    std::vector<kvlinux::CronJob> jobs;
    for (const char* command : {"/usr/bin/backup  --all  ", "run\t-x", "alone", "trailing   "})
        jobs.push_back({"/etc/crontab", "crontab:1", "@reboot", "root", command});
    std::vector<kvwmi::Instance> out;
    kvwmi::FillScheduledTasksFrom(decl, jobs, {}, out);
    ASSERT_EQ(out.size(), 4u);
    const char* expected[][2] = {
        {"/usr/bin/backup", "--all  "}, {"run", "-x"}, {"alone", "<null>"}, {"trailing", "<null>"}};
    for (size_t i = 0; i < out.size(); ++i) {
        kvwmitest::ExpectWellTyped(decl, out[i]);
        const auto& action =
            std::get<kvwmi::EmbeddedObjects>(kvwmitest::Value(decl, out[i], u"Actions")).at(0);
        EXPECT_EQ(kvwmitest::TextOf(*action->decl, action->values, u"Execute"), expected[i][0]);
        EXPECT_EQ(kvwmitest::TextOf(*action->decl, action->values, u"Arguments"), expected[i][1]);
        const auto& trigger =
            std::get<kvwmi::EmbeddedObjects>(kvwmitest::Value(decl, out[i], u"Triggers")).at(0);
        EXPECT_EQ(trigger->decl->name, u"MSFT_TaskBootTrigger");
    }
}

}  // namespace
