// Text files: what bytes ReadTextFile takes in which encoding, and what SaveEncodedTextFile
// writes.
#include <gtest/gtest.h>

#include "errors/error_description.h"
#include "files/file_operations.h"
#include "files_test_support.h"
#include "kvwin/wide_string.h"
#include "win/errors.h"
#include "win/text.h"

namespace {

using filestest::ReadWholeFile;
using filestest::WinPath;

WString ReadText(const std::string& bytes, UINT codePage) {
    const WString path = WinPath("in.txt");
    EXPECT_TRUE(filestest::WriteWholeFile(path, bytes));
    WString text = TEXT("untouched");
    EXPECT_TRUE(ReadTextFile(path.c_str(), text, codePage));
    return text;
}

std::string Saved(const WCHAR* text, UINT codePage) {
    const WString path = WinPath("out.txt");
    EXPECT_TRUE(SaveEncodedTextFile(path.c_str(), text, codePage)) << GetLastError();
    return ReadWholeFile(path);
}

TEST(ReadTextFile, AUtf16MarkMakesTheRestUtf16WhateverTheCodePage) {
    EXPECT_EQ(ReadText(std::string("\xFF\xFE"
                                   "A\0\r\0\n\0",
                                   8),
                       CP_UTF8),
              TEXT("A\n"));
    EXPECT_EQ(ReadText(std::string("\xFF\xFE"
                                   "A\0\0\0B\0",
                                   8),
                       1252),
              WString(TEXT("A\0B"), 3));
    EXPECT_EQ(ReadText(std::string("\xFF\xFE"
                                   "A\0B",
                                   5),
                       1252),
              TEXT("A"));  // odd last byte
    EXPECT_EQ(ReadText("\xFF\xFE", 1252), TEXT(""));
    EXPECT_EQ(ReadText(std::string("\xFF\xFE\xAC\x20", 4), CP_UTF8), TEXT("\u20AC"));
}

TEST(ReadTextFile, AUtf8MarkOverridesTheCodePage) {
    EXPECT_EQ(ReadText("\xEF\xBB\xBF"
                       "A",
                       1252),
              TEXT("A"));
    EXPECT_EQ(ReadText("\xEF\xBB\xBF"
                       "\xC3\xA9",
                       1252),
              TEXT("\u00E9"));
    EXPECT_EQ(ReadText("\xEF\xBB\xBF", 1252), TEXT(""));
}

TEST(ReadTextFile, OtherFilesAreTextInTheCodePageUpToTheFirstZeroByte) {
    EXPECT_EQ(ReadText("caf\xE9", 1252), TEXT("caf\u00E9"));
    EXPECT_EQ(ReadText("caf\xC3\xA9", CP_UTF8), TEXT("caf\u00E9"));
    EXPECT_EQ(ReadText(std::string("ab\0cd", 5), 1252), TEXT("ab"));
    EXPECT_EQ(ReadText("", 1252), TEXT(""));
    // Code page 1200 is no 8-bit page: a UTF-16 file is known by its mark alone.
    EXPECT_EQ(ReadText("text", 1200), TEXT(""));
}

TEST(ReadTextFile, OnlyCarriageReturnLineFeedPairsBecomeLineFeeds) {
    EXPECT_EQ(ReadText("a\r\nb\r\rc\n\r\r\n", 1252), TEXT("a\nb\r\rc\n\r\n"));
}

TEST(ReadTextFile, AFailedReadLeavesTheTextAlone) {
    WString text = TEXT("kept");
    EXPECT_FALSE(ReadTextFile(WinPath("missing.txt").c_str(), text, CP_UTF8));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(text, TEXT("kept"));
}

TEST(SaveEncodedTextFile, WritesMarksAndCarriageReturnsPerCodePage) {
    EXPECT_EQ(Saved(TEXT("a\nb"), CP_UTF8),
              "\xEF\xBB\xBF"
              "a\r\nb");
    EXPECT_EQ(Saved(TEXT("a\nb"), 1200), std::string("\xFF\xFE"
                                                     "a\0\r\0\n\0b\0",
                                                     10));
    EXPECT_EQ(Saved(TEXT("caf\u00E9\r\n\n"), 1252), "caf\xE9\r\n\r\n");
    EXPECT_EQ(Saved(TEXT("\u20AC"), CP_UTF8), "\xEF\xBB\xBF\xE2\x82\xAC");
    EXPECT_EQ(Saved(TEXT(""), CP_UTF8), "\xEF\xBB\xBF");
    EXPECT_EQ(Saved(nullptr, CP_UTF8), "\xEF\xBB\xBF");
    EXPECT_EQ(Saved(TEXT(""), 1252), "");
    EXPECT_EQ(Saved(TEXT(""), 1200), "\xFF\xFE");
    EXPECT_TRUE(filestest::Lines().empty());
}

TEST(SaveEncodedTextFile, ATextTheCodePageCannotTakeIsSavedAsUtf16WithAWarning) {
    constexpr UINT kNoSuchCodePage = 54321;
    EXPECT_EQ(Saved(TEXT("x\n"), kNoSuchCodePage), std::string("\xFF\xFE"
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
    const WString path = WinPath("round.txt");
    const WString text = TEXT("line one\nline \u00FE two\r\nend");
    for (UINT codePage : {UINT{CP_UTF8}, UINT{1200}, UINT{1252}}) {
        ASSERT_TRUE(SaveEncodedTextFile(path.c_str(), text.c_str(), codePage));
        WString read;
        ASSERT_TRUE(ReadTextFile(path.c_str(), read, codePage));
        EXPECT_EQ(read, TEXT("line one\nline \u00FE two\nend")) << codePage;
    }
}

}  // namespace
