// Path text: roots of every kind, file-name parts, parents and joining.
#include <gtest/gtest.h>

#include "files/path_text.h"
#include "kvwin/utf.h"
#include "kvwin/wide_string.h"

namespace {

TEST(PathText, RootEndsForEveryKindOfRoot) {
    struct Case {
        const WCHAR* path;
        size_t skipping, keeping;
    } const cases[] = {
        {TEXT("\\\\server\\share\\x"), 15, 14},
        {TEXT("//server/share/x"), 15, 14},
        {TEXT("\\\\server"), 8, 8},
        {TEXT("C:\\x"), 3, 3},
        {TEXT("C:/x"), 3, 3},
        {TEXT("C:x"), 2, 2},
        {TEXT("C:"), 2, 2},
        {TEXT("\\x"), 1, 1},
        {TEXT("x\\y"), 0, 0},
        {TEXT(""), 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetPathRootEnd(c.path, false), c.skipping) << kvwin::ToUtf8(c.path);
        EXPECT_EQ(GetPathRootEnd(c.path, true), c.keeping) << kvwin::ToUtf8(c.path);
    }
}

TEST(PathText, FileNamePartKeepsATrailingSeparatorAndNeverReachesIntoTheRoot) {
    EXPECT_EQ(GetFileNamePart(TEXT("C:\\a\\b\\")), TEXT("b\\"));
    EXPECT_EQ(GetFileNamePart(TEXT("C:/a/b")), TEXT("b"));
    EXPECT_EQ(GetFileNamePart(TEXT("C:\\")), TEXT(""));
    EXPECT_EQ(GetFileNamePart(TEXT("C:x")), TEXT("x"));
    EXPECT_EQ(GetFileNamePart(TEXT("\\\\server\\share\\x")), TEXT("x"));
    EXPECT_EQ(GetFileNamePart(TEXT("\\\\server\\share")), TEXT(""));
    EXPECT_EQ(GetFileNamePart(TEXT("name")), TEXT("name"));
}

TEST(PathText, ParentFolderStopsAtTheRoot) {
    EXPECT_EQ(GetParentFolder(TEXT("C:\\a\\b\\")), TEXT("C:\\a"));
    EXPECT_EQ(GetParentFolder(TEXT("C:\\a")), TEXT("C:\\"));
    EXPECT_EQ(GetParentFolder(TEXT("C:\\")), TEXT("C:\\"));
    EXPECT_EQ(GetParentFolder(TEXT("\\\\server\\share\\x")), TEXT("\\\\server\\share"));
    EXPECT_EQ(GetParentFolder(TEXT("\\\\server\\share")), TEXT("\\\\server\\share"));
    EXPECT_EQ(GetParentFolder(TEXT("\\x")), TEXT("\\"));
    EXPECT_EQ(GetParentFolder(TEXT("a/b")), TEXT("a"));
    EXPECT_EQ(GetParentFolder(TEXT("a")), TEXT(""));
    EXPECT_EQ(GetParentFolder(TEXT("/usr/lib/x.so")), TEXT("/usr/lib"));
}

TEST(PathText, CombinePathJoinsRootsAndSeparatorsAsWindowsDoes) {
    EXPECT_EQ(CombinePath(TEXT("C:\\dir"), TEXT("x")), TEXT("C:\\dir\\x"));
    EXPECT_EQ(CombinePath(TEXT("C:\\dir\\"), TEXT("x")), TEXT("C:\\dir\\x"));
    EXPECT_EQ(CombinePath(TEXT("C:\\dir/"), TEXT("x")), TEXT("C:\\dir/x"));
    EXPECT_EQ(CombinePath(TEXT("C:\\dir"), TEXT("\\x")), TEXT("C:\\x"));
    EXPECT_EQ(CombinePath(TEXT("C:"), TEXT("x")), TEXT("C:x"));
    EXPECT_EQ(CombinePath(TEXT("C:\\dir"), TEXT("D:\\y")), TEXT("D:\\y"));
    EXPECT_EQ(CombinePath(TEXT("C:\\dir"), TEXT("\\\\server\\share")), TEXT("\\\\server\\share"));
    EXPECT_EQ(CombinePath(TEXT("\\\\server\\share\\dir"), TEXT("\\x")),
              TEXT("\\\\server\\share\\x"));
    EXPECT_EQ(CombinePath(TEXT("\\\\server\\share"), TEXT("\\x")), TEXT("\\\\server\\share\\x"));
    EXPECT_EQ(CombinePath(TEXT("C:\\dir"), TEXT("")), TEXT("C:\\dir"));
    EXPECT_EQ(CombinePath(TEXT(""), TEXT("x")), TEXT("x"));
}

TEST(PathText, TrailingSeparatorsAreAddedAndRemovedOneAtATime) {
    WString path = TEXT("C:\\dir");
    EnsureTrailingSeparator(path);
    EXPECT_EQ(path, TEXT("C:\\dir\\"));
    EnsureTrailingSeparator(path);
    EXPECT_EQ(path, TEXT("C:\\dir\\"));
    path = TEXT("/tmp/");
    EnsureTrailingSeparator(path);
    EXPECT_EQ(path, TEXT("/tmp/"));
    path.clear();
    EnsureTrailingSeparator(path);
    EXPECT_EQ(path, TEXT(""));

    path = TEXT("C:\\dir\\\\");
    RemoveTrailingSeparator(path);
    EXPECT_EQ(path, TEXT("C:\\dir\\"));
    path = TEXT("/tmp/");
    RemoveTrailingSeparator(path);
    EXPECT_EQ(path, TEXT("/tmp"));
    path.clear();
    RemoveTrailingSeparator(path);
    EXPECT_EQ(path, TEXT(""));
}

}  // namespace
