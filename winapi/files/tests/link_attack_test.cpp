// A second local user plants symbolic links where root is about to write: root must never
// write, create or change anything through them. The planter is a child that has dropped to
// "nobody" and replaces the name with a link in a loop while root works.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "kvtest/hostile.h"
#include "kvtest/test_env.h"
#include "kvwin/safe_open.h"
#include "kvwin/utf.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/security.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// A folder everyone may add to (as a shared folder with the sticky bit is), and a file of
// root's that the attacker wants changed, outside it.
class LinkAttack : public ::testing::Test {
  protected:
    void SetUp() override {
        uid_t uid = 0;
        gid_t gid = 0;
        if (!kvtest::UnprivilegedAccount(uid, gid))
            GTEST_SKIP() << "needs root and a 'nobody' account";
        area_ = kvtest::MakeTempFolder("links");
        ASSERT_EQ(::chmod(area_.c_str(), 0755), 0);
        shared_ = area_ + "/shared";
        ASSERT_EQ(::mkdir(shared_.c_str(), 0700), 0);
        ASSERT_EQ(::chmod(shared_.c_str(), 01777), 0);
        secret_ = area_ + "/secret";
        std::ofstream(secret_) << "untouched";
        ASSERT_EQ(::chmod(secret_.c_str(), 0600), 0);
        secret_folder_ = area_ + "/secret-folder";
        ASSERT_EQ(::mkdir(secret_folder_.c_str(), 0700), 0);
    }

    void ExpectSecretUntouched() {
        EXPECT_TRUE(ReadAll(secret_) == "untouched") << "root wrote through a link";
        EXPECT_EQ(ModeOf(secret_), 0600u);
        EXPECT_EQ(ModeOf(secret_folder_), 0700u);
        EXPECT_EQ(ModeOf(secret_folder_ + "/made"), 0u) << "a folder was made through a link";
    }

    std::u16string Wide(const std::string& native) { return kvwin::FromUtf8(native); }

    std::string area_, shared_, secret_, secret_folder_;
};

TEST_F(LinkAttack, CreateFileNeverWritesThroughALinkAtTheName) {
    const std::string name = shared_ + "/Agent.log";
    kvtest::LinkPlanter planter(name, secret_);
    ASSERT_TRUE(planter.started() && planter.planted());
    // Root removes its own file after each record, so the name keeps coming free for the
    // planter; the loop runs until the link has been met often enough.
    int refused = 0;
    for (int i = 0; i < 100000 && (i < 2000 || refused < 20); ++i) {
        HANDLE file = CreateFileW(Wide(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            ++refused;
            continue;
        }
        SetFilePointer(file, 0, nullptr, FILE_END);
        DWORD written = 0;
        WriteFile(file, "record\n", 7, &written, nullptr);
        CloseHandle(file);
        DeleteFileW(Wide(name).c_str());
    }
    EXPECT_GT(refused, 0);
    ExpectSecretUntouched();
}

TEST_F(LinkAttack, CreateFileAndCreateDirectoryNeverGoThroughALinkOnTheWay) {
    const std::string folder = shared_ + "/Logs";
    kvtest::LinkPlanter planter(folder, secret_folder_);
    ASSERT_TRUE(planter.started() && planter.planted());
    for (int i = 0; i < 1000; ++i) {
        CreateDirectoryW(Wide(folder + "/made").c_str(), nullptr);
        HANDLE file = CreateFileW(Wide(folder + "/Agent.log").c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    ExpectSecretUntouched();
    EXPECT_EQ(ModeOf(secret_folder_ + "/Agent.log"), 0u);
}

TEST_F(LinkAttack, DeleteAndMoveNeverGoThroughALinkOnTheWay) {
    std::ofstream(secret_folder_ + "/victim") << "keep";
    std::ofstream(secret_folder_ + "/moved") << "keep";
    const std::string folder = shared_ + "/Logs";
    kvtest::LinkPlanter planter(folder, secret_folder_);
    ASSERT_TRUE(planter.started() && planter.planted());
    for (int i = 0; i < 1000; ++i) {
        DeleteFileW(Wide(folder + "/victim").c_str());
        MoveFileW(Wide(folder + "/moved").c_str(), Wide(folder + "/moved.1").c_str());
        SetFileAttributesW(Wide(folder + "/victim").c_str(), FILE_ATTRIBUTE_READONLY);
    }
    EXPECT_EQ(ModeOf(secret_folder_ + "/victim") & 0200, 0200u) << "deleted or made read-only";
    EXPECT_NE(ModeOf(secret_folder_ + "/moved"), 0u) << "moved through the link";
}

TEST_F(LinkAttack, SecurityIsNeverAppliedThroughALink) {
    const std::string name = shared_ + "/Agent.log";
    PSECURITY_DESCRIPTOR everyone = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        u"D:(A;;FA;;;WD)", SDDL_REVISION_1, &everyone, nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, everyone, FALSE};
    kvtest::LinkPlanter planter(name, secret_);
    ASSERT_TRUE(planter.started() && planter.planted());
    for (int i = 0; i < 1000; ++i) {
        SetFileSecurityW(Wide(name).c_str(), DACL_SECURITY_INFORMATION, everyone);
        HANDLE file = CreateFileW(Wide(name).c_str(), GENERIC_WRITE, 0, &attributes, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    LocalFree(everyone);
    ExpectSecretUntouched();
}

TEST(TempPath, IsAFolderOfTheUsersOwnThatNoOneElseCanReachOrHandOver) {
    ::unsetenv("TMP");
    ::unsetenv("TEMP");
    ::unsetenv("USERPROFILE");
    ::setenv("TMPDIR", "/tmp", 1);
    const std::string me = std::to_string(::geteuid());
    uid_t uid = 0;
    gid_t gid = 0;
    const bool attacker = kvtest::UnprivilegedAccount(uid, gid);
    if (attacker) {
        // Another user takes the name first, in the folder every user may add to.
        const std::string temp = kvtest::TestStateRoot() + "/Temp";
        ASSERT_EQ(::chmod(kvtest::TestStateRoot().c_str(), 0755), 0);
        ASSERT_EQ(::mkdir(temp.c_str(), 0700), 0);
        ASSERT_EQ(::chmod(temp.c_str(), 01777), 0);
        struct Target {
            std::string path;
        } target{temp + "/" + me};
        ASSERT_EQ(kvtest::RunAsNobody(
                      [](const void* context) {
                          const auto* t = static_cast<const Target*>(context);
                          ::_exit(::mkdir(t->path.c_str(), 0777) == 0 &&
                                          ::chmod(t->path.c_str(), 0777) == 0
                                      ? 0
                                      : 1);
                      },
                      &target),
                  0);
    }
    WCHAR buffer[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, buffer);
    ASSERT_GT(length, 0u);
    const std::u16string expected =
        u"C:\\Temp\\" + kvwin::FromUtf8(attacker ? me + "-1" : me) + u"\\";
    EXPECT_EQ(std::u16string(buffer, length), expected);
    const std::string native = kvtest::TestStateRoot() + "/Temp/" + (attacker ? me + "-1" : me);
    struct stat st {};
    ASSERT_EQ(::lstat(native.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_uid, ::geteuid());
    EXPECT_EQ(st.st_mode & 07777, 0700u);
}

TEST(SafeOpen, LinksOfRootAndOfTheCallerAreFollowedOthersAreNot) {
    const std::string area = kvtest::MakeTempFolder("follow");
    ASSERT_EQ(::mkdir((area + "/real").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("real", (area + "/mine").c_str()), 0);
    std::string leaf;
    kvwin::UniqueFd parent = kvwin::OpenParentSafely(area + "/mine/file", leaf);
    ASSERT_TRUE(parent.valid());
    EXPECT_EQ(leaf, "file");
    bool created = false;
    EXPECT_TRUE(kvwin::OpenFileAt(parent.get(), leaf, O_WRONLY | O_CREAT, 0600, &created).valid());
    EXPECT_TRUE(created);
    EXPECT_EQ(ModeOf(area + "/real/file"), 0600u);

    uid_t uid = 0;
    gid_t gid = 0;
    if (!kvtest::UnprivilegedAccount(uid, gid))
        GTEST_SKIP() << "needs root and a 'nobody' account";
    ASSERT_EQ(::symlink("real", (area + "/theirs").c_str()), 0);
    ASSERT_EQ(::lchown((area + "/theirs").c_str(), uid, gid), 0);
    EXPECT_FALSE(kvwin::OpenParentSafely(area + "/theirs/file", leaf).valid());
    EXPECT_EQ(errno, ELOOP);
    EXPECT_FALSE(kvwin::OpenFolderSafely(area + "/theirs").valid());
    parent = kvwin::OpenParentSafely(area + "/theirs", leaf);
    ASSERT_TRUE(parent.valid());
    EXPECT_FALSE(kvwin::OpenFileAt(parent.get(), leaf, O_RDONLY, 0).valid());
    EXPECT_EQ(errno, ELOOP);
}

// Paths with no link on the way are opened in one call, the others walked: both must reach
// the same folders and fail with the same errors, whatever the spelling of the path.
TEST(SafeOpen, PathsWithAndWithoutLinksReachTheSameFoldersAndErrors) {
    const std::string area = kvtest::MakeTempFolder("spelling");
    ASSERT_EQ(::mkdir((area + "/a").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((area + "/a/b").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("a", (area + "/link").c_str()), 0);
    std::ofstream(area + "/a/file") << "x";
    const auto same = [](int fd, const std::string& path) {
        struct stat opened {
        }, expected{};
        return fd >= 0 && kvwin::StatDescriptor(fd, &opened) == 0 &&
               ::stat(path.c_str(), &expected) == 0 && opened.st_ino == expected.st_ino &&
               opened.st_dev == expected.st_dev;
    };
    for (const std::string& spelling :
         {area + "/a/b", area + "//a/./b/", area + "/a/b/../b", area + "/link/b"}) {
        EXPECT_TRUE(same(kvwin::OpenFolderSafely(spelling).get(), area + "/a/b")) << spelling;
        std::string leaf;
        const kvwin::UniqueFd parent = kvwin::OpenParentSafely(spelling + "/new", leaf);
        EXPECT_TRUE(same(parent.get(), area + "/a/b")) << spelling;
        EXPECT_EQ(leaf, "new");
    }
    std::string leaf;
    // A trusted link as the last component is resolved: the leaf names what it points at.
    EXPECT_TRUE(same(kvwin::OpenParentSafely(area + "/link", leaf).get(), area));
    EXPECT_EQ(leaf, "a");

    ASSERT_EQ(::chdir("/"), 0);
    EXPECT_TRUE(same(kvwin::OpenFolderSafely(area.substr(1) + "/a").get(), area + "/a"));

    EXPECT_FALSE(kvwin::OpenFolderSafely(area + "/missing/b").valid());
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(kvwin::OpenParentSafely(area + "/a/file/b/c", leaf).valid());
    EXPECT_EQ(errno, ENOTDIR);
    EXPECT_FALSE(kvwin::OpenParentSafely(area + "/a/..", leaf).valid());
    EXPECT_EQ(errno, EINVAL);
}

}  // namespace
