// Rotation of the log and its copies, on real files under the test's state root.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <fstream>

#include "kvtest/test_env.h"
#include "kvwin/wide_string.h"
#include "log/log_rotation.h"
#include "win/files.h"

namespace {

const WString kFolder = TEXT("C:\\Logs");
const WString kLog = TEXT("C:\\Logs\\Agent.log");
const WString kPattern = TEXT("C:\\Logs\\Agent*.log");

std::string g_root;

std::string Native(const std::string& name) {
    return g_root + "/Logs/" + name;
}

// Creates a file with a given text and last-write time (seconds since 1970).
void MakeFile(const std::string& name, const std::string& text, time_t written) {
    std::ofstream(Native(name)) << text;
    const timespec times[2] = {{written, 0}, {written, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, Native(name).c_str(), times, 0), 0);
}

std::string Read(const std::string& name) {
    std::ifstream in(Native(name));
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Exists(const std::string& name) {
    struct stat info {};
    return stat(Native(name).c_str(), &info) == 0;
}

class Rotation : public ::testing::Test {
  protected:
    void SetUp() override {
        g_root = root_.path();
        ASSERT_TRUE(CreateDirectoryW(kFolder.c_str(), nullptr));
    }
    kvtest::ScopedStateRoot root_;
};

TEST(NumberedLogPath, NumberGoesBeforeEveryDotOfTheFileNameOnly) {
    EXPECT_EQ(NumberedLogPath(TEXT("C:\\a.b\\Agent.log"), 2), TEXT("C:\\a.b\\Agent2.log"));
    EXPECT_EQ(NumberedLogPath(TEXT("C:\\x\\my.agent.log"), 13), TEXT("C:\\x\\my13.agent13.log"));
    EXPECT_EQ(NumberedLogPath(TEXT("C:\\x\\Agent"), 1), TEXT("C:\\x\\Agent"));
}

TEST_F(Rotation, TwoFilesAllowedAndOnlyTheLogPresentRenamesWithoutDeleting) {
    MakeFile("Agent.log", "current", 1000);
    ASSERT_TRUE(RotateLogFile(kFolder, kLog, kPattern, 2));
    EXPECT_FALSE(Exists("Agent.log"));
    EXPECT_EQ(Read("Agent1.log"), "current");
}

TEST_F(Rotation, AtTheLimitTheOldestCopyGoesAndItsNameIsReused) {
    MakeFile("Agent.log", "current", 3000);
    MakeFile("Agent1.log", "newer", 2000);
    MakeFile("Agent2.log", "oldest", 1000);
    ASSERT_TRUE(RotateLogFile(kFolder, kLog, kPattern, 3));
    EXPECT_EQ(Read("Agent1.log"), "newer");
    EXPECT_EQ(Read("Agent2.log"), "current");
    EXPECT_FALSE(Exists("Agent.log"));
    EXPECT_FALSE(Exists("Agent3.log"));
}

TEST_F(Rotation, TheCurrentFileIsNeverTheOneDeleted) {
    // The log is the oldest file of all: a copy must go instead.
    MakeFile("Agent.log", "current", 500);
    MakeFile("Agent1.log", "one", 2000);
    MakeFile("Agent2.log", "two", 1000);
    ASSERT_TRUE(RotateLogFile(kFolder, kLog, kPattern, 3));
    EXPECT_EQ(Read("Agent1.log"), "one");
    EXPECT_EQ(Read("Agent2.log"), "current");
}

TEST_F(Rotation, AnUndeletableOldestCopyLosesTheRecord) {
    MakeFile("Agent.log", "current", 3000);
    MakeFile("Agent1.log", "old", 1000);
    ASSERT_TRUE(SetFileAttributesW(TEXT("C:\\Logs\\Agent1.log"), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(RotateLogFile(kFolder, kLog, kPattern, 2));
    EXPECT_EQ(Read("Agent.log"), "current");
}

}  // namespace
