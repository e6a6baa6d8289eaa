// Descriptors applied to real files and folders: the descriptor-to-mode table, owners and
// groups, creation with SECURITY_ATTRIBUTES, and what a user other than root may not do.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>

#include <string>

#include "kvtest/test_env.h"
#include "security_test_support.h"
#include "win/files.h"
#include "win/security.h"

namespace {

using kvsec::ModeOf;
using kvsec::OpenFolder;
using kvsec::StatOf;

// A descriptor converted from text for the lifetime of the object.
class Sd {
  public:
    explicit Sd(const char16_t* text) {
        EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(text, SDDL_REVISION_1,
                                                                         &sd_, nullptr))
            << "error " << GetLastError();
    }
    ~Sd() { LocalFree(sd_); }
    PSECURITY_DESCRIPTOR get() const { return sd_; }
    SECURITY_ATTRIBUTES* attributes() {
        attributes_ = {sizeof attributes_, sd_, FALSE};
        return &attributes_;
    }

  private:
    PSECURITY_DESCRIPTOR sd_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{};
};

bool Apply(const std::u16string& path, SECURITY_INFORMATION information, const char16_t* text) {
    Sd sd(text);
    return SetFileSecurityW(path.c_str(), information, sd.get()) != FALSE;
}

// The group Administrators stands for here: the first of sudo, wheel and adm, else 0.
gid_t AdministratorsGid() {
    for (const char* name : {"sudo", "wheel", "adm"}) {
        if (const group* entry = ::getgrnam(name))
            return entry->gr_gid;
    }
    return 0;
}

std::string Octal(mode_t mode) {
    char text[16];
    std::snprintf(text, sizeof text, "0%o", static_cast<unsigned>(mode));
    return text;
}

class FileSecurity : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root: owners are changed and a child becomes nobody";
    }
    OpenFolder folder_;
};

TEST_F(FileSecurity, TheDaclOfAFolderBecomesItsModeByTheTable) {
    struct Case {
        const char16_t* sddl;
        mode_t mode;
    } cases[] = {
        // Users may traverse and add but not list or delete others' entries.
        {u"D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x100026;;;BU)", 01773},
        // Users read, write and run, without deleting others' files: /tmp's mode.
        {u"D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1201bf;;;BU)", 01777},
        // With FILE_DELETE_CHILD they may delete too, but on Linux that would let anyone
        // replace another user's entry: a folder all may write always has the sticky bit.
        {u"D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1201ff;;;BU)S:(ML;;NW;;;LW)", 01777},
        {u"D:NO_ACCESS_CONTROL", 01777},
        {u"O:BAD:P(A;;0x101FFFFF;;;WD)", 01777},
        {u"D:", 0},
        {u"D:(A;;FA;;;SY)", 0700},
        {u"D:(A;;0x1200a9;;;BU)(A;;FA;;;SY)", 0755},
        {u"D:(A;;FR;;;WD)", 0555},                    // listing brings traversal
        {u"D:(A;;FA;;;WD)(D;;FW;;;BU)", 0555},        // a deny to Users binds the owner too
        {u"D:(A;OICIIO;FA;;;WD)(A;;FA;;;SY)", 0700},  // inherit-only: not for the folder
        {u"D:(A;;FA;;;CO)", 0700},
        {u"D:(A;;FA;;;S-1-22-2-0)", 0770},  // the folder's group (root's)
        {u"D:(A;;FA;;;S-1-22-1-4242)", 0},  // another user: not expressible
    };
    const std::string native = folder_.Native("f");
    const std::u16string wide = folder_.Wide("f");
    ASSERT_EQ(::mkdir(native.c_str(), 0700), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(kvwin::ToUtf8(c.sddl));
        ASSERT_TRUE(Apply(wide, DACL_SECURITY_INFORMATION, c.sddl)) << GetLastError();
        EXPECT_EQ(Octal(ModeOf(native)), Octal(c.mode));
    }
}

TEST_F(FileSecurity, TheDaclOfAFileBecomesItsModeByTheTable) {
    struct Case {
        const char16_t* sddl;
        mode_t mode;
    } cases[] = {
        // No file is writable by everyone: that would let anyone overwrite it.
        {u"D:AI(A;ID;FA;;;BA)(A;ID;FA;;;SY)(A;ID;0x1201bf;;;BU)", 0775},
        {u"D:(A;;FR;;;WD)(A;;FA;;;SY)", 0744},
        {u"D:(A;;GRGW;;;WD)", 0664},
        {u"D:(A;;FX;;;AU)", 0111},
        {u"D:(A;;FR;;;WD)", 0444},  // no traversal for files
    };
    const std::string native = folder_.Native("file");
    const std::u16string wide = folder_.Wide("file");
    ASSERT_GE(::creat(native.c_str(), 0600), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(kvwin::ToUtf8(c.sddl));
        ASSERT_TRUE(Apply(wide, DACL_SECURITY_INFORMATION, c.sddl)) << GetLastError();
        EXPECT_EQ(Octal(ModeOf(native)), Octal(c.mode));
    }
}

TEST_F(FileSecurity, OwnerAndGroupFollowTheSidMapping) {
    const std::string native = folder_.Native("f");
    const std::u16string wide = folder_.Wide("f");
    ASSERT_EQ(::mkdir(native.c_str(), 0700), 0);
    const uid_t nobody = kvsec::NobodyUid();

    const std::u16string to_nobody = u"O:S-1-22-1-" + kvwin::FromUtf8(std::to_string(nobody));
    ASSERT_TRUE(Apply(wide, OWNER_SECURITY_INFORMATION, to_nobody.c_str()));
    EXPECT_EQ(StatOf(native).st_uid, nobody);
    ASSERT_TRUE(Apply(wide, OWNER_SECURITY_INFORMATION, u"O:SY"));
    EXPECT_EQ(StatOf(native).st_uid, 0u);
    ASSERT_TRUE(Apply(wide, OWNER_SECURITY_INFORMATION, u"O:S-1-22-1-1234"));
    ASSERT_TRUE(Apply(wide, OWNER_SECURITY_INFORMATION, u"O:BA"));
    EXPECT_EQ(StatOf(native).st_uid, 0u) << "Administrators as owner is root";

    ASSERT_TRUE(Apply(wide, GROUP_SECURITY_INFORMATION, u"G:S-1-22-2-4321"));
    EXPECT_EQ(StatOf(native).st_gid, 4321u);
    ASSERT_TRUE(
        Apply(wide, GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, u"G:BAD:(A;;FA;;;BA)"));
    EXPECT_EQ(StatOf(native).st_gid, AdministratorsGid());
    EXPECT_EQ(Octal(ModeOf(native)), Octal(0770)) << "Administrators: root and its group";

    // The mode is worked out for the new owner when both change in one call.
    const std::u16string owned =
        to_nobody + u"D:(A;;FA;;;S-1-22-1-" + kvwin::FromUtf8(std::to_string(nobody)) + u")";
    ASSERT_TRUE(Apply(wide, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, owned.c_str()));
    EXPECT_EQ(StatOf(native).st_uid, nobody);
    EXPECT_EQ(Octal(ModeOf(native)), Octal(0700));

    // Only the parts asked for change; a label alone changes nothing on disk.
    ASSERT_TRUE(Apply(wide, LABEL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION,
                      u"O:SYD:S:(ML;;NW;;;LW)"));
    EXPECT_EQ(StatOf(native).st_uid, nobody);
    EXPECT_EQ(Octal(ModeOf(native)), Octal(0700));
}

TEST_F(FileSecurity, RefusalsCarryTheWindowsErrors) {
    const std::string native = folder_.Native("f");
    const std::u16string wide = folder_.Wide("f");
    ASSERT_EQ(::mkdir(native.c_str(), 0700), 0);
    struct Case {
        SECURITY_INFORMATION information;
        const char16_t* sddl;
        DWORD error;
    } cases[] = {
        {OWNER_SECURITY_INFORMATION, u"O:WD", ERROR_INVALID_OWNER},
        {OWNER_SECURITY_INFORMATION, u"D:", ERROR_INVALID_OWNER},  // no owner in it
        {GROUP_SECURITY_INFORMATION, u"G:WD", ERROR_INVALID_PRIMARY_GROUP},
        {GROUP_SECURITY_INFORMATION, u"O:SY", ERROR_INVALID_PRIMARY_GROUP},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(kvwin::ToUtf8(c.sddl));
        EXPECT_FALSE(Apply(wide, c.information, c.sddl));
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(Octal(ModeOf(native)), Octal(0700)) << "a refused call changes nothing";

    EXPECT_FALSE(Apply(folder_.Wide("missing"), DACL_SECURITY_INFORMATION, u"D:"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(Apply(folder_.Wide("missing/x"), DACL_SECURITY_INFORMATION, u"D:"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    BYTE garbage[64] = {7};
    EXPECT_FALSE(SetFileSecurityW(wide.c_str(), DACL_SECURITY_INFORMATION, garbage));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SECURITY_DESCR));
}

TEST_F(FileSecurity, CreationAppliesTheDescriptorOfTheSecurityAttributes) {
    Sd temp_folder(u"D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x100026;;;BU)");
    ASSERT_TRUE(CreateDirectoryW(folder_.Wide("temp").c_str(), temp_folder.attributes()));
    EXPECT_EQ(Octal(ModeOf(folder_.Native("temp"))), Octal(01773));

    const uid_t nobody = kvsec::NobodyUid();
    const std::u16string nobody_sid = u"S-1-22-1-" + kvwin::FromUtf8(std::to_string(nobody));
    const std::u16string text = u"O:" + nobody_sid + u"D:(A;;FA;;;" + nobody_sid + u")(A;;FR;;;BU)";
    Sd given(text.c_str());
    HANDLE file = CreateFileW(folder_.Wide("file").c_str(), GENERIC_WRITE, 0, given.attributes(),
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "x", 1, &written, nullptr)) << "the creator's handle still writes";
    CloseHandle(file);
    EXPECT_EQ(StatOf(folder_.Native("file")).st_uid, nobody);
    EXPECT_EQ(Octal(ModeOf(folder_.Native("file"))), Octal(0744));

    // Opening an existing file leaves its security alone.
    Sd open_all(u"D:NO_ACCESS_CONTROL");
    file = CreateFileW(folder_.Wide("file").c_str(), GENERIC_READ, FILE_SHARE_READ,
                       open_all.attributes(), OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CloseHandle(file);
    EXPECT_EQ(Octal(ModeOf(folder_.Native("file"))), Octal(0744));

    // Read-only takes the write bits from what the descriptor gives.
    Sd everyone(u"D:(A;;FA;;;WD)");
    file = CreateFileW(folder_.Wide("ro").c_str(), GENERIC_WRITE, 0, everyone.attributes(),
                       CREATE_NEW, FILE_ATTRIBUTE_READONLY, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_EQ(Octal(ModeOf(folder_.Native("ro"))), Octal(0555));

    // A malformed descriptor creates nothing.
    BYTE garbage[64] = {7};
    SECURITY_ATTRIBUTES bad{sizeof bad, garbage, FALSE};
    EXPECT_FALSE(CreateDirectoryW(folder_.Wide("bad").c_str(), &bad));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SECURITY_DESCR));
    EXPECT_EQ(
        CreateFileW(folder_.Wide("bad").c_str(), GENERIC_WRITE, 0, &bad, CREATE_NEW, 0, nullptr),
        INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SECURITY_DESCR));
    EXPECT_NE(::access(folder_.Native("bad").c_str(), F_OK), 0);
}

TEST_F(FileSecurity, AUserOtherThanRootChangesOnlyWhatItOwns) {
    const std::string mine = folder_.Native("mine");
    const std::string roots = folder_.Native("roots");
    ASSERT_EQ(::mkdir(roots.c_str(), 0755), 0);
    const kvtest::ChildResult result = kvtest::RunInChild([&] {
        kvsec::BecomeNobody();
        CHILD_CHECK(CreateDirectoryW(kvwin::FromUtf8(mine).c_str(), nullptr));
        // Its own folder: the mode follows the descriptor.
        CHILD_CHECK(
            Apply(kvwin::FromUtf8(mine), DACL_SECURITY_INFORMATION, u"D:(A;OICI;0x1201bf;;;BU)"));
        CHILD_CHECK(ModeOf(mine) == 01777);
        // Giving it away, or taking a group it is not in, is refused.
        CHILD_CHECK(!Apply(kvwin::FromUtf8(mine), OWNER_SECURITY_INFORMATION, u"O:SY"));
        CHILD_CHECK(GetLastError() == ERROR_INVALID_OWNER);
        CHILD_CHECK(!Apply(kvwin::FromUtf8(mine), GROUP_SECURITY_INFORMATION, u"G:S-1-22-2-0"));
        CHILD_CHECK(GetLastError() == ERROR_INVALID_PRIMARY_GROUP);
        // Root's folder is not its to change.
        CHILD_CHECK(
            !Apply(kvwin::FromUtf8(roots), DACL_SECURITY_INFORMATION, u"D:NO_ACCESS_CONTROL"));
        CHILD_CHECK(GetLastError() == ERROR_ACCESS_DENIED);
        // A creation that asks for an owner it may not give fails and leaves nothing.
        Sd system_owned(u"O:SYD:(A;;FA;;;SY)");
        const std::u16string other = kvwin::FromUtf8(mine + "/other");
        CHILD_CHECK(!CreateDirectoryW(other.c_str(), system_owned.attributes()));
        CHILD_CHECK(GetLastError() == ERROR_INVALID_OWNER);
        CHILD_CHECK(::access((mine + "/other").c_str(), F_OK) != 0);
    });
    ASSERT_TRUE(result.exited) << result.output;
    EXPECT_EQ(result.exit_code, 0) << result.output;
    EXPECT_EQ(ModeOf(roots), 0755u);
}

}  // namespace
