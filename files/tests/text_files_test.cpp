// Text files: what bytes ReadTextFile takes in which encoding, and what SaveEncodedTextFile
// writes.
#include <gtest/gtest.h>

#include "errors/error_description.h"
#include "files/file_operations.h"
#include "files_test_support.h"
#include "win/errors.h"
#include "win/text.h"

namespace {

using filestest::ReadBytes;
using filestest::WinPath;

std::u16string ReadText(const std::string& bytes, UINT codePage) {
    const std::u16string path = WinPath("in.txt");
    EXPECT_TRUE(filestest::WriteBytes(path, bytes));
    std::u16string text = u"untouched";
    EXPECT_TRUE(ReadTextFile(path.c_str(), text, codePage));
    return text;
}

std::string Saved(const char16_t* text, UINT codePage) {
    const std::u16string path = WinPath("out.txt");
    EXPECT_TRUE(SaveEncodedTextFile(path.c_str(), text, codePage)) << GetLastError();
    return ReadBytes(path);
}

TEST(ReadTextFile, AUtf16MarkMakesTheRestUtf16WhateverTheCodePage) {
    EXPECT_EQ(ReadText(std::string("\xFF\xFE"
                                   "A\0\r\0\n\0",
                                   8),
                       CP_UTF8),
              u"A\n");
    EXPECT_EQ(ReadText(std::string("\xFF\xFE"
                                   "A\0\0\0B\0",
                                   8),
                       1252),
              std::u16string(u"A\0B", 3));
    EXPECT_EQ(ReadText(std::string("\xFF\xFE"
                                   "A\0B",
                                   5),
                       1252),
              u"A");  // odd last byte
    EXPECT_EQ(ReadText("\xFF\xFE", 1252), u"");
    EXPECT_EQ(ReadText(std::string("\xFF\xFE\xAC\x20", 4), CP_UTF8), u"\u20AC");
}

TEST(ReadTextFile, AUtf8MarkOverridesTheCodePage) {
    EXPECT_EQ(ReadText("\xEF\xBB\xBF"
                       "A",
                       1252),
              u"A");
    EXPECT_EQ(ReadText("\xEF\xBB\xBF"
                       "\xC3\xA9",
                       1252),
              u"\u00E9");
    EXPECT_EQ(ReadText("\xEF\xBB\xBF", 1252), u"");
}

TEST(ReadTextFile, OtherFilesAreTextInTheCodePageUpToTheFirstZeroByte) {
    EXPECT_EQ(ReadText("caf\xE9", 1252), u"caf\u00E9");
    EXPECT_EQ(ReadText("caf\xC3\xA9", CP_UTF8), u"caf\u00E9");
    EXPECT_EQ(ReadText(std::string("ab\0cd", 5), 1252), u"ab");
    EXPECT_EQ(ReadText("", 1252), u"");
    // Code page 1200 is no 8-bit page: a UTF-16 file is known by its mark alone.
    EXPECT_EQ(ReadText("text", 1200), u"");
}

TEST(ReadTextFile, OnlyCarriageReturnLineFeedPairsBecomeLineFeeds) {
    EXPECT_EQ(ReadText("a\r\nb\r\rc\n\r\r\n", 1252), u"a\nb\r\rc\n\r\n");
}

TEST(ReadTextFile, AFailedReadLeavesTheTextAlone) {
    std::u16string text = u"kept";
    EXPECT_FALSE(ReadTextFile(WinPath("missing.txt").c_str(), text, CP_UTF8));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(text, u"kept");
}

TEST(SaveEncodedTextFile, WritesMarksAndCarriageReturnsPerCodePage) {
    EXPECT_EQ(Saved(u"a\nb", CP_UTF8),
              "\xEF\xBB\xBF"
              "a\r\nb");
    EXPECT_EQ(Saved(u"a\nb", 1200), std::string("\xFF\xFE"
                                                "a\0\r\0\n\0b\0",
                                                10));
    EXPECT_EQ(Saved(u"caf\u00E9\r\n\n", 1252), "caf\xE9\r\n\r\n");
    EXPECT_EQ(Saved(u"\u20AC", CP_UTF8), "\xEF\xBB\xBF\xE2\x82\xAC");
    EXPECT_EQ(Saved(u"", CP_UTF8), "\xEF\xBB\xBF");
    EXPECT_EQ(Saved(nullptr, CP_UTF8), "\xEF\xBB\xBF");
    EXPECT_EQ(Saved(u"", 1252), "");
    EXPECT_EQ(Saved(u"", 1200), "\xFF\xFE");
    EXPECT_TRUE(filestest::Lines().empty());
}

TEST(SaveEncodedTextFile, ATextTheCodePageCannotTakeIsSavedAsUtf16WithAWarning) {
    constexpr UINT kNoSuchCodePage = 54321;
    EXPECT_EQ(Saved(u"x\n", kNoSuchCodePage), std::string("\xFF\xFE"
                                                          "x\0\r\0\n\0",
                                                          8));
    const std::vector<std::string> lines = filestest::Lines();
    ASSERT_EQ(lines.size(), 1u);
    // ERROR_INVALID_PARAMETER as an HRESULT, 0x80070057, printed signed.
    EXPECT_EQ(lines[0],
              "2|SaveEncodedTextFile|Failed to convert unicode data to multibyte, saving as "
              "16-bit unicode: " +
                  kvwin::ToUtf8(GetErrorText(ERROR_INVALID_PARAMETER)) + " (-2147024809)");
}

TEST(SaveEncodedTextFile, ReadsBackThroughReadTextFileInEveryEncoding) {
    const std::u16string path = WinPath("round.txt");
    const std::u16string text = u"line one\nline \u00FE two\r\nend";
    for (UINT codePage : {UINT{CP_UTF8}, UINT{1200}, UINT{1252}}) {
        ASSERT_TRUE(SaveEncodedTextFile(path.c_str(), text.c_str(), codePage));
        std::u16string read;
        ASSERT_TRUE(ReadTextFile(path.c_str(), read, codePage));
        EXPECT_EQ(read, u"line one\nline \u00FE two\nend") << codePage;
    }
}

}  // namespace
