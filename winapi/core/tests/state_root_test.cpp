#include "kvwin/state_root.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

#include "kvtest/test_env.h"
#include "kvwin/utf.h"
#include "win/handles.h"

namespace {

TEST(StateRoot, FollowsKavrelRootOnEveryCall) {
    kvtest::ScopedStateRoot root;
    EXPECT_EQ(kvwin::StateRoot(), root.path());
    EXPECT_EQ(kvwin::RegistryDirectory(), root.path() + "/registry");
    {
        kvtest::ScopedStateRoot inner;
        EXPECT_EQ(kvwin::StateRoot(), inner.path());
    }
    EXPECT_EQ(kvwin::StateRoot(), root.path());
}

TEST(StateRoot, DefaultsWhenUnset) {
    kvtest::ScopedStateRoot keep;
    ::unsetenv("KAVREL_ROOT");
    ::setenv("XDG_DATA_HOME", "/xdg/data/", 1);
    if (::geteuid() == 0) {
        EXPECT_EQ(kvwin::StateRoot(), "/var/lib/kavrel");
    } else {
        EXPECT_EQ(kvwin::StateRoot(), "/xdg/data/kavrel");
    }
}

TEST(Paths, WindowsPathsReachTheFileSystemThroughTheDriveTable) {
    kvtest::ScopedStateRoot root;
    ::setenv("KAVREL_DRIVE_D", "/mnt/data/", 1);
    std::string native;
    ASSERT_TRUE(kvwin::ToNativePath(u"C:\\ProgramData\\Zor\\Agent.log", native));
    EXPECT_EQ(native, root.path() + "/ProgramData/Zor/Agent.log");
    ASSERT_TRUE(kvwin::ToNativePath(u"\\\\?\\c:/Temp\\x", native));
    EXPECT_EQ(native, root.path() + "/Temp/x");
    ASSERT_TRUE(kvwin::ToNativePath(u"d:\\a.txt", native));
    EXPECT_EQ(native, "/mnt/data/a.txt");
    ASSERT_TRUE(kvwin::ToNativePath(u"C:", native));
    EXPECT_EQ(native, root.path() + "/");
    ASSERT_TRUE(kvwin::ToNativePath(u"/etc/os-release", native));
    EXPECT_EQ(native, "/etc/os-release");
    ASSERT_TRUE(kvwin::ToNativePath(u"sub\\file", native));
    EXPECT_EQ(native, "sub/file");

    EXPECT_FALSE(kvwin::ToNativePath(u"Q:\\x", native));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DRIVE));
    EXPECT_FALSE(kvwin::ToNativePath(u"\\\\server\\share\\x", native));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_NETPATH));

    EXPECT_EQ(kvwin::FromNativePath(root.path() + "/ProgramData/x"), u"C:\\ProgramData\\x");
    EXPECT_EQ(kvwin::FromNativePath(root.path()), u"C:\\");
    EXPECT_EQ(kvwin::FromNativePath(root.path() + "x/y"), kvwin::FromUtf8(root.path() + "x/y"))
        << "a sibling folder whose name starts like the root is not under it";
    EXPECT_EQ(kvwin::FromNativePath("/mnt/data/q"), u"D:\\q");

    // C is always the state root; a drive's folder must be absolute to count.
    ::setenv("KAVREL_DRIVE_C", "/mnt/other", 1);
    ::setenv("KAVREL_DRIVE_E", "relative/folder", 1);
    ASSERT_TRUE(kvwin::ToNativePath(u"c:\\x", native));
    EXPECT_EQ(native, root.path() + "/x");
    EXPECT_FALSE(kvwin::ToNativePath(u"E:\\x", native));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DRIVE));
    ::unsetenv("KAVREL_DRIVE_C");
    ::unsetenv("KAVREL_DRIVE_E");
    ::unsetenv("KAVREL_DRIVE_D");
}

}  // namespace
