#include "win/messages.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

#include "kvwin/utf.h"
#include "win/errors.h"
#include "win/handles.h"
#include "win/memory.h"

namespace {

constexpr DWORD kFromString = FORMAT_MESSAGE_FROM_STRING;

// Formats a caller's text with an argument array; "<error N>" when the call fails.
std::u16string FromArray(const char16_t* text, const DWORD_PTR* args, DWORD flags = 0) {
    WCHAR buffer[1024];
    const DWORD n =
        FormatMessageW(kFromString | FORMAT_MESSAGE_ARGUMENT_ARRAY | flags, text, 0, 0, buffer,
                       1024, reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(args)));
    if (n == 0)
        return u"<error " + kvwin::FromUtf8(std::to_string(GetLastError())) + u">";
    EXPECT_EQ(buffer[n], u'\0');
    return std::u16string(buffer, n);
}

std::u16string FromVaList(const char16_t* text, ...) {
    va_list args;
    va_start(args, text);
    WCHAR buffer[1024];
    const DWORD n = FormatMessageW(kFromString, text, 0, 0, buffer, 1024, &args);
    va_end(args);
    if (n == 0)
        return u"<error " + kvwin::FromUtf8(std::to_string(GetLastError())) + u">";
    return std::u16string(buffer, n);
}

std::u16string Plain(const char16_t* text, DWORD flags) {
    WCHAR buffer[1024];
    const DWORD n = FormatMessageW(kFromString | flags, text, 0, 0, buffer, 1024, nullptr);
    if (n == 0)
        return u"<error " + kvwin::FromUtf8(std::to_string(GetLastError())) + u">";
    return std::u16string(buffer, n);
}

DWORD_PTR P(const void* p) {
    return reinterpret_cast<DWORD_PTR>(p);
}

TEST(FormatMessage, InsertsFromAnArgumentArrayInAnyOrderAndFormat) {
    const DWORD_PTR args[] = {P(u"disk"), 42, static_cast<DWORD>(-5), P("narrow"), 0xBEEF};
    EXPECT_EQ(FromArray(u"%2!d! files on %1", args), u"42 files on disk");
    EXPECT_EQ(FromArray(u"[%1!-6s!][%1!6s!][%1!.2s!]", args), u"[disk  ][  disk][di]");
    // A DWORD argument printed signed is the 32-bit value, whatever the upper bits hold.
    EXPECT_EQ(FromArray(u"%3!d! %3!u!", args), u"-5 4294967291");
    EXPECT_EQ(FromArray(u"0x%5!08X! 0x%5!x! %4!hs! %4!S!", args),
              u"0x0000BEEF 0xbeef narrow narrow");
    EXPECT_EQ(FromArray(u"%1%1%2!d!", args), u"diskdisk42");
    // '*' takes the width from the insert's own number, the value from the next one.
    const DWORD_PTR star[] = {7, P(u"ab"), 3, 2, P(u"wxyz")};
    EXPECT_EQ(FromArray(u"[%1!*s!][%3!*.*s!]", star), u"[     ab][ wx]");
    // 64-bit values through the array (DWORD_PTR is 64 bits here).
    const DWORD_PTR big[] = {0x123456789ull};
    EXPECT_EQ(FromArray(u"%1!I64u! %1!llx! %1!u!", big), u"4886718345 123456789 591751049");
    // Inserts beyond 9, and a third digit that is plain text.
    DWORD_PTR many[12];
    for (int i = 0; i < 12; ++i)
        many[i] = static_cast<DWORD_PTR>(100 + i);
    many[9] = P(u"ten");
    EXPECT_EQ(FromArray(u"%12!d! %1!d!0 %100", many), u"111 1000 ten0");
}

TEST(FormatMessage, InsertsFromAVaListOfMixedTypes) {
    const long long big = 0x7000000000000001ll;
    EXPECT_EQ(FromVaList(u"%1!d!|%2|%3!I64d!|%4!.2f!|%5!c!|%6!hs!", -12, u"wide", big, 2.5, u'Z',
                         "narrow"),
              u"-12|wide|8070450532247928833|2.50|Z|narrow");
    // The list is read in insert order, not in order of appearance.
    EXPECT_EQ(FromVaList(u"%3!d! %2!s! %1!d!", 1, u"two", 3), u"3 two 1");
    // Doubles and integers interleaved land in their own places.
    EXPECT_EQ(FromVaList(u"%1!g! %2!u! %3!g! %4!u!", 0.5, 7u, 1.25, 9u), u"0.5 7 1.25 9");
}

TEST(FormatMessage, EscapesLineEndsAndTheEndMark) {
    const DWORD_PTR args[] = {P(u"x")};
    EXPECT_EQ(FromArray(u"100%% %1%. %! %n%r%tend", args), u"100% x. ! \r\n\r\tend");
    EXPECT_EQ(FromArray(u"keep this%0 but not this", args), u"keep this");
    EXPECT_EQ(FromArray(u"line one\r\nline two\r\n", args), u"line one\r\nline two\r\n");
    EXPECT_EQ(FromArray(u"trailing %", args), u"trailing %");
}

TEST(FormatMessage, IgnoreInsertsCopiesThemAsTheyStand) {
    EXPECT_EQ(Plain(u"%1 and %2!d! at 50%% %3!*.*s!%n", FORMAT_MESSAGE_IGNORE_INSERTS),
              u"%1 and %2!d! at 50% %3!*.*s!\r\n");
    EXPECT_EQ(Plain(u"%1!broken", FORMAT_MESSAGE_IGNORE_INSERTS), u"%1!broken");
    // Without the flag, inserts need arguments and well-formed specs.
    EXPECT_EQ(Plain(u"no inserts here", 0), u"no inserts here");
    EXPECT_EQ(Plain(u"%1", 0), u"<error 87>");
    const DWORD_PTR args[] = {1};
    EXPECT_EQ(FromArray(u"%1!broken", args), u"<error 87>");
    EXPECT_EQ(FromArray(u"%1!y!", args), u"<error 87>");
}

TEST(FormatMessage, WidthMaskJoinsLinesAndWrapsAtSpaces) {
    const char16_t* text = u"alpha beta gamma\r\ndelta epsilon%nzeta";
    // Width 0 keeps the text's own line breaks.
    EXPECT_EQ(Plain(text, 0), u"alpha beta gamma\r\ndelta epsilon\r\nzeta");
    // The mask: text breaks become spaces, only %n breaks remain.
    EXPECT_EQ(Plain(text, FORMAT_MESSAGE_MAX_WIDTH_MASK),
              u"alpha beta gamma delta epsilon\r\nzeta");
    EXPECT_EQ(Plain(text, 11), u"alpha beta\r\ngamma delta\r\nepsilon\r\nzeta");
    // A word longer than the width is cut; "% " is a space that is never a break point.
    EXPECT_EQ(Plain(u"abcdefghij kl", 4), u"abcd\r\nefgh\r\nij\r\nkl");
    EXPECT_EQ(Plain(u"ab% cd ef", 5), u"ab cd\r\nef");
    EXPECT_EQ(Plain(u"ab% cdef gh", 5), u"ab cd\r\nef gh");
}

TEST(FormatMessage, AllocatesOrFillsTheCallersBuffer) {
    LPWSTR allocated = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | kFromString, u"some text", 0, 0,
                             reinterpret_cast<LPWSTR>(&allocated), 0, nullptr);
    ASSERT_EQ(n, 9u);
    ASSERT_NE(allocated, nullptr);
    EXPECT_EQ(std::u16string(allocated), u"some text");
    EXPECT_EQ(LocalFree(allocated), nullptr);

    // nSize is the least the allocation holds.
    n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | kFromString, u"x", 0, 0,
                       reinterpret_cast<LPWSTR>(&allocated), 4096, nullptr);
    ASSERT_EQ(n, 1u);
    allocated[4095] = u'!';  // writable up to nSize
    LocalFree(allocated);

    // A fixed buffer must hold the text and its terminator.
    WCHAR buffer[10];
    EXPECT_EQ(FormatMessageW(kFromString, u"123456789", 0, 0, buffer, 10, nullptr), 9u);
    EXPECT_EQ(FormatMessageW(kFromString, u"1234567890", 0, 0, buffer, 10, nullptr), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));

    // Allocated texts are limited to 128 KiB.
    std::u16string huge(70000, u'a');
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | kFromString, huge.c_str(), 0, 0,
                             reinterpret_cast<LPWSTR>(&allocated), 0, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(allocated, nullptr);
}

TEST(FormatMessage, RejectsContradictoryOrMissingSources) {
    WCHAR buffer[64];
    EXPECT_EQ(FormatMessageW(0, u"x", 0, 0, buffer, 64, nullptr), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(
        FormatMessageW(kFromString | FORMAT_MESSAGE_FROM_SYSTEM, u"x", 2, 0, buffer, 64, nullptr),
        0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(FormatMessageW(kFromString, nullptr, 0, 0, buffer, 64, nullptr), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(FormatMessageW(kFromString, u"x", 0, 0, nullptr, 64, nullptr), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST(FormatMessage, AnsiFormUsesTheAnsiCodePage) {
    // "Café" in Windows-1252, and a wide insert.
    const char text[] = "Caf\xE9 %1 %2!ls!";
    const DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>("na\xEFve"), P(u"\u00FCber")};
    char buffer[64];
    const DWORD n = FormatMessageA(kFromString | FORMAT_MESSAGE_ARGUMENT_ARRAY, text, 0, 0, buffer,
                                   64, reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(args)));
    EXPECT_EQ(std::string(buffer, n),
              "Caf\xE9 na\xEFve \xFC"
              "ber");
    // nSize counts bytes.
    EXPECT_EQ(FormatMessageA(kFromString, "abcd", 0, 0, buffer, 4, nullptr), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    // System texts come through in the same page.
    LPSTR allocated = nullptr;
    ASSERT_GT(
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                       ERROR_FILE_NOT_FOUND, 0, reinterpret_cast<LPSTR>(&allocated), 0, nullptr),
        0u);
    WCHAR wide[256];
    const DWORD w = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_FILE_NOT_FOUND, 0,
                                   wide, 256, nullptr);
    EXPECT_EQ(kvwin::FromUtf8(allocated), std::u16string(wide, w));
    LocalFree(allocated);
}

}  // namespace
