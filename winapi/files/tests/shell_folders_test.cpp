// Well-known folders and path canonicalisation.
#include <gtest/gtest.h>

#include <string>

#include "win/errors.h"
#include "win/files.h"
#include "win/shell.h"

namespace {

std::u16string Canonical(const char16_t* path) {
    WCHAR out[MAX_PATH] = {};
    EXPECT_TRUE(PathCanonicalizeW(out, path))
        << "for a path of length " << std::u16string(path).size();
    return out;
}

TEST(PathCanonicalize, RemovesDotSegmentsAndKeepsTheRoot) {
    EXPECT_EQ(Canonical(u"C:\\a\\b\\..\\c"), u"C:\\a\\c");
    EXPECT_EQ(Canonical(u"C:\\a\\.\\b"), u"C:\\a\\b");
    EXPECT_EQ(Canonical(u"C:\\a\\b\\."), u"C:\\a\\b");
    EXPECT_EQ(Canonical(u"C:\\a\\b\\.."), u"C:\\a");
    EXPECT_EQ(Canonical(u"C:\\a\\.."), u"C:\\");
    EXPECT_EQ(Canonical(u"C:\\..\\..\\x"), u"C:\\x");
    EXPECT_EQ(Canonical(u"C:\\a\\b\\"), u"C:\\a\\b\\");
    EXPECT_EQ(Canonical(u"\\\\server\\share\\a\\..\\b"), u"\\\\server\\share\\b");
    EXPECT_EQ(Canonical(u"C:\\a..b\\.c"), u"C:\\a..b\\.c");
}

TEST(PathCanonicalize, RejectsNullsAndResultsBeyondMaxPath) {
    WCHAR out[MAX_PATH];
    EXPECT_FALSE(PathCanonicalizeW(out, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    const std::u16string longPath = u"C:\\" + std::u16string(MAX_PATH, u'x');
    EXPECT_FALSE(PathCanonicalizeW(out, longPath.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_EQ(out[0], u'\0');
}

TEST(ShellFolders, CommonFoldersLieOnTheStateRootDriveAndAreCreatedOnRequest) {
    WCHAR path[MAX_PATH];
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, path), S_OK);
    EXPECT_EQ(std::u16string(path), u"C:\\ProgramData");
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_COMMON_DOCUMENTS, nullptr, 0, path), S_OK);
    EXPECT_EQ(GetFileAttributesW(path), INVALID_FILE_ATTRIBUTES);
    ASSERT_EQ(
        SHGetFolderPathW(nullptr, CSIDL_COMMON_DOCUMENTS | CSIDL_FLAG_CREATE, nullptr, 0, path),
        S_OK);
    EXPECT_NE(GetFileAttributesW(path) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(SHGetFolderPathW(nullptr, 0x7f, nullptr, 0, path), E_INVALIDARG);
    EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, nullptr), E_INVALIDARG);
}

}  // namespace
