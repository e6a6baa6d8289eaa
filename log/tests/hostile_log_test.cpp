// The agent log under a full disk and under a hostile local user.
#include <gtest/gtest.h>
#include <sys/stat.h>
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

#define CHILD_CHECK(condition)                                                   \
    do {                                                                         \
        if (!(condition)) {                                                      \
            std::fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #condition); \
            ::_exit(1);                                                          \
        }                                                                        \
    } while (0)

TEST(HostileLog, RecordCutShortByAFullDiskIsCutOffAgain) {
    const auto child = kvtest::RunInChild([] {
        std::string why;
        if (!kvtest::MountSmallFilesystem(kvtest::TestStateRoot(), 4 << 20, why)) {
            std::fprintf(stderr, "%s\n", why.c_str());
            ::_exit(77);
        }
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
    if (child.exited && child.exit_code == 77)
        GTEST_SKIP() << "no small file system here: " << child.output;
    EXPECT_TRUE(child.exited && child.exit_code == 0)
        << "exit " << child.exit_code << " signal " << child.signal << "\n"
        << child.output;
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
    // The log folder itself lets other users add their records' files, but not replace any.
    ASSERT_EQ(::lstat(log.substr(0, log.rfind('/')).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 01777u);
    ASSERT_EQ(::lstat(log.substr(0, log.rfind('/', log.rfind('/') - 1)).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_IWOTH, 0u) << "the folder above the log folder";
}

}  // namespace
