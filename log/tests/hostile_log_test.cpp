// The agent log under a full disk and under a hostile local user.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "kvtest/hostile.h"
#include "kvtest/test_env.h"
#include "kvwin/state_root.h"
#include "kvwin/wide_string.h"
#include "log/agent_log.h"
#include "log/event_log.h"
#include "win/kernel_objects.h"

namespace {

std::string Native(const WString& path) {
    std::string native;
    EXPECT_TRUE(kvwin::ToNativePath(path, native));
    return native;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The system group whose members may add records, where the machine has it.
bool WritersGroup(gid_t& gid) {
    struct group entry {};
    struct group* found = nullptr;
    char buffer[4096];
    if (::getgrnam_r("kavrel-log", &entry, buffer, sizeof buffer, &found) != 0 || !found)
        return false;
    gid = found->gr_gid;
    return true;
}

TEST(HostileLog, RecordCutShortByAFullDiskIsCutOffAgain) {
    kvtest::RunOnSmallFilesystem(4 << 20, [] {
        CEReportEvent(LogError, TEXT("S"), TEXT("first record"));
        const std::string path = Native(GetEventLog().LogPath());
        const std::string before = ReadAll(path);
        CHILD_CHECK(before.find("first record") != std::string::npos);

        // The last page of the log file has room left; this record is larger than that.
        kvtest::FillFilesystem(kvtest::TestStateRoot());
        const WString big = TEXT("cut-") + WString(4000, TEXT('x'));
        CEReportEvent(LogError, TEXT("S"), big.c_str());
        CHILD_CHECK(ReadAll(path) == before);

        ::unlink((kvtest::TestStateRoot() + "/.filler").c_str());
        CEReportEvent(LogError, TEXT("S"), TEXT("after the disk had room again"));
        const std::string after = ReadAll(path);
        CHILD_CHECK(after.starts_with(before));
        CHILD_CHECK(after.find("cut-") == std::string::npos);
        CHILD_CHECK(after.substr(before.size()).starts_with("\r\n<event "));
        CHILD_CHECK(after.find("after the disk had room again") != std::string::npos);
    });
}

TEST(HostileLog, NoFolderOnTheWayIsOpenToAllAndTheLogIsNoOnesToOverwrite) {
    CEReportEvent(LogError, TEXT("S"), TEXT("a record"));
    const std::string log = Native(GetEventLog().LogPath());
    struct stat st {};
    ASSERT_EQ(::lstat(log.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_IWOTH, 0u) << std::oct << (st.st_mode & 07777);
    const std::string root = kvtest::TestStateRoot();
    for (std::string folder = log.substr(0, log.rfind('/')); folder.size() > root.size();
         folder = folder.substr(0, folder.rfind('/'))) {
        ASSERT_EQ(::lstat(folder.c_str(), &st), 0) << folder;
        EXPECT_TRUE(S_ISDIR(st.st_mode)) << folder;
        EXPECT_TRUE(!(st.st_mode & S_IWOTH) || (st.st_mode & S_ISVTX))
            << folder << " " << std::oct << (st.st_mode & 07777);
    }
    // The log folder lets no one else plant the log's name; the writers group, where there
    // is one, adds files but cannot remove or replace another's.
    ASSERT_EQ(::lstat(log.substr(0, log.rfind('/')).c_str(), &st), 0);
    gid_t writers = 0;
    EXPECT_EQ(st.st_mode & 07777, WritersGroup(writers) ? 01775u : 0775u)
        << std::oct << (st.st_mode & 07777);
    if (WritersGroup(writers)) {
        EXPECT_EQ(st.st_gid, writers) << "the log folder belongs to the writers group";
    }
    ASSERT_EQ(::lstat(log.substr(0, log.rfind('/', log.rfind('/') - 1)).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_IWOTH, 0u) << "the folder above the log folder";
}

// Another account's process: a member of the writers group appends beside root; any other
// account fails cleanly, records nothing and says why.
TEST(HostileLog, WritersGroupMembersAppendAndOtherAccountsFailCleanly) {
    uid_t nobody = 0;
    gid_t nobodyGroup = 0;
    gid_t writers = 0;
    if (!kvtest::UnprivilegedAccount(nobody, nobodyGroup))
        GTEST_SKIP() << "needs root and a 'nobody' account";
    if (!WritersGroup(writers))
        GTEST_SKIP() << "no 'kavrel-log' group here (scripts/setup.sh makes it)";
    // As /var/lib/kavrel is, the state root is reachable by everyone.
    for (std::string path = kvtest::TestStateRoot(); path.size() > 1;
         path = path.substr(0, path.rfind('/'))) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && !(st.st_mode & S_IXOTH)) {
            ASSERT_EQ(::chmod(path.c_str(), st.st_mode | S_IXOTH | S_IROTH), 0) << path;
        }
    }
    // The agent's service keeps the log mutex in existence, as this process does here;
    // each child makes its own log object, as a process of its account would.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, TEXT("Global\\AGENTLOGMUTEX"));
    ASSERT_NE(mutex, nullptr);
    const auto write = [&](const WCHAR* text, bool member, bool root) {
        return kvtest::RunInChild([=] {
            if (!root) {
                const gid_t groups[] = {writers};
                CHILD_CHECK(::setgroups(member ? 1 : 0, groups) == 0);
                CHILD_CHECK(::setgid(nobodyGroup) == 0 && ::setuid(nobody) == 0);
            }
            CEReportEvent(LogError, TEXT("S"), text);
            const DWORD error = GetEventLog().FileError();
            CHILD_CHECK(member || root ? error == ERROR_SUCCESS : error == ERROR_ACCESS_DENIED);
        });
    };
    const auto ok = [](const kvtest::ChildResult& child) {
        return child.exited && child.exit_code == 0;
    };
    ASSERT_TRUE(ok(write(TEXT("from root"), false, true)));
    EXPECT_TRUE(ok(write(TEXT("from a member"), true, false)));
    EXPECT_TRUE(ok(write(TEXT("from an outsider"), false, false)));

    const std::string log =
        kvtest::TestStateRoot() + "/ProgramData/Norvale/Norvale Agent/Logs/Agent.log";
    const std::string text = ReadAll(log);
    EXPECT_NE(text.find("from root"), std::string::npos);
    EXPECT_NE(text.find("from a member"), std::string::npos);
    EXPECT_EQ(text.find("from an outsider"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::lstat(log.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_gid, writers);
    EXPECT_EQ(st.st_mode & (S_IWGRP | S_IWOTH), static_cast<mode_t>(S_IWGRP));

    // A member cannot take the file away from the others, nor put one of its own in its place.
    const auto member = kvtest::RunInChild([&] {
        const gid_t groups[] = {writers};
        CHILD_CHECK(::setgroups(1, groups) == 0);
        CHILD_CHECK(::setgid(nobodyGroup) == 0 && ::setuid(nobody) == 0);
        CHILD_CHECK(::unlink(log.c_str()) != 0 && errno == EPERM);
        CHILD_CHECK(::rename(log.c_str(), (log + ".away").c_str()) != 0 && errno == EPERM);
    });
    EXPECT_TRUE(ok(member)) << member.output;

    // A full file: a member may not rename root's file, so it appends; root rotates next.
    const WString big(4000, TEXT('x'));
    ASSERT_TRUE(ok(kvtest::RunInChild([&] {
        // Past the default limit (100 KB), stopping before root itself would rotate.
        struct stat now {};
        while (::stat(log.c_str(), &now) == 0 && now.st_size <= 100 * 1024)
            CEReportEvent(LogError, TEXT("S"), big.c_str());
    })));
    EXPECT_TRUE(ok(write(TEXT("a member past the limit"), true, false)));
    EXPECT_NE(ReadAll(log).find("a member past the limit"), std::string::npos);
    EXPECT_NE(::access((log.substr(0, log.rfind('/')) + "/Agent1.log").c_str(), F_OK), 0);
    ASSERT_TRUE(ok(write(TEXT("root rotates"), false, true)));
    EXPECT_NE(
        ReadAll(log.substr(0, log.rfind('/')) + "/Agent1.log").find("a member past the limit"),
        std::string::npos);
    EXPECT_NE(ReadAll(log).find("root rotates"), std::string::npos);
    CloseHandle(mutex);
}

}  // namespace
