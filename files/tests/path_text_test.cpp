// Path text: roots of every kind, file-name parts, parents and joining.
#include <gtest/gtest.h>

#include "files/path_text.h"
#include "kvwin/utf.h"

namespace {

TEST(PathText, RootEndsForEveryKindOfRoot) {
    struct Case {
        const char16_t* path;
        size_t skipping, keeping;
    } const cases[] = {
        {u"\\\\server\\share\\x", 15, 14},
        {u"//server/share/x", 15, 14},
        {u"\\\\server", 8, 8},
        {u"C:\\x", 3, 3},
        {u"C:/x", 3, 3},
        {u"C:x", 2, 2},
        {u"C:", 2, 2},
        {u"\\x", 1, 1},
        {u"x\\y", 0, 0},
        {u"", 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetPathRootEnd(c.path, false), c.skipping) << kvwin::ToUtf8(c.path);
        EXPECT_EQ(GetPathRootEnd(c.path, true), c.keeping) << kvwin::ToUtf8(c.path);
    }
}

TEST(PathText, FileNamePartKeepsATrailingSeparatorAndNeverReachesIntoTheRoot) {
    EXPECT_EQ(GetFileNamePart(u"C:\\a\\b\\"), u"b\\");
    EXPECT_EQ(GetFileNamePart(u"C:/a/b"), u"b");
    EXPECT_EQ(GetFileNamePart(u"C:\\"), u"");
    EXPECT_EQ(GetFileNamePart(u"C:x"), u"x");
    EXPECT_EQ(GetFileNamePart(u"\\\\server\\share\\x"), u"x");
    EXPECT_EQ(GetFileNamePart(u"\\\\server\\share"), u"");
    EXPECT_EQ(GetFileNamePart(u"name"), u"name");
}

TEST(PathText, ParentFolderStopsAtTheRoot) {
    EXPECT_EQ(GetParentFolder(u"C:\\a\\b\\"), u"C:\\a");
    EXPECT_EQ(GetParentFolder(u"C:\\a"), u"C:\\");
    EXPECT_EQ(GetParentFolder(u"C:\\"), u"C:\\");
    EXPECT_EQ(GetParentFolder(u"\\\\server\\share\\x"), u"\\\\server\\share");
    EXPECT_EQ(GetParentFolder(u"\\\\server\\share"), u"\\\\server\\share");
    EXPECT_EQ(GetParentFolder(u"\\x"), u"\\");
    EXPECT_EQ(GetParentFolder(u"a/b"), u"a");
    EXPECT_EQ(GetParentFolder(u"a"), u"");
    EXPECT_EQ(GetParentFolder(u"/usr/lib/x.so"), u"/usr/lib");
}

TEST(PathText, CombinePathJoinsRootsAndSeparatorsAsWindowsDoes) {
    EXPECT_EQ(CombinePath(u"C:\\dir", u"x"), u"C:\\dir\\x");
    EXPECT_EQ(CombinePath(u"C:\\dir\\", u"x"), u"C:\\dir\\x");
    EXPECT_EQ(CombinePath(u"C:\\dir/", u"x"), u"C:\\dir/x");
    EXPECT_EQ(CombinePath(u"C:\\dir", u"\\x"), u"C:\\x");
    EXPECT_EQ(CombinePath(u"C:", u"x"), u"C:x");
    EXPECT_EQ(CombinePath(u"C:\\dir", u"D:\\y"), u"D:\\y");
    EXPECT_EQ(CombinePath(u"C:\\dir", u"\\\\server\\share"), u"\\\\server\\share");
    EXPECT_EQ(CombinePath(u"\\\\server\\share\\dir", u"\\x"), u"\\\\server\\share\\x");
    EXPECT_EQ(CombinePath(u"\\\\server\\share", u"\\x"), u"\\\\server\\share\\x");
    EXPECT_EQ(CombinePath(u"C:\\dir", u""), u"C:\\dir");
    EXPECT_EQ(CombinePath(u"", u"x"), u"x");
}

TEST(PathText, TrailingSeparatorsAreAddedAndRemovedOneAtATime) {
    std::u16string path = u"C:\\dir";
    EnsureTrailingSeparator(path);
    EXPECT_EQ(path, u"C:\\dir\\");
    EnsureTrailingSeparator(path);
    EXPECT_EQ(path, u"C:\\dir\\");
    path = u"/tmp/";
    EnsureTrailingSeparator(path);
    EXPECT_EQ(path, u"/tmp/");
    path.clear();
    EnsureTrailingSeparator(path);
    EXPECT_EQ(path, u"");

    path = u"C:\\dir\\\\";
    RemoveTrailingSeparator(path);
    EXPECT_EQ(path, u"C:\\dir\\");
    path = u"/tmp/";
    RemoveTrailingSeparator(path);
    EXPECT_EQ(path, u"/tmp");
    path.clear();
    RemoveTrailingSeparator(path);
    EXPECT_EQ(path, u"");
}

}  // namespace
