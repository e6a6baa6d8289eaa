// Scripting.FileSystemObject through IDispatch: what scripts cannot see directly (bytes on
// disk, EXCEPINFO contents, native paths, dates against the C library). The script-level
// behaviour is in components/jscript/tests/scripts/filesystem.js.
#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <fstream>
#include <sstream>

#include "kvtest/held_memory_bound.h"
#include "kvtest/test_env.h"
#include "kvwin/utf.h"
#include "scripting_test_support.h"

namespace scriptingtest {
namespace {

std::string Bytes(const std::string& native) {
    std::ifstream in(native, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

_variant_t Text(const std::u16string& text) {
    return _variant_t(text.c_str());
}

IDispatchPtr Object(const Outcome& o) {
    EXPECT_EQ(o.hr, S_OK) << kvwin::ToUtf8(o.description);
    EXPECT_EQ(o.result.vt, VT_DISPATCH);
    return o.result.vt == VT_DISPATCH ? IDispatchPtr(o.result.pdispVal) : IDispatchPtr();
}

TEST(FileSystemObject, WritesAnsiAndUnicodeBytesUnderTheStateRoot) {
    ScopedApartment apartment;
    IDispatchPtr fso = Create(u"Scripting.FileSystemObject");
    const std::string root = kvtest::TestStateRoot();

    IDispatchPtr ascii = Object(Method(fso, u"CreateTextFile", {u"C:\\a.txt"}));
    ASSERT_TRUE(ascii);
    EXPECT_EQ(Method(ascii, u"WriteLine", {u"é€"}).hr, S_OK);
    EXPECT_EQ(Method(ascii, u"Close").hr, S_OK);
    EXPECT_EQ(Bytes(root + "/a.txt"), "\xE9\x80\r\n");  // Windows-1252

    IDispatchPtr wide =
        Object(Method(fso, u"CreateTextFile", {u"C:\\w.txt", _variant_t(true), _variant_t(true)}));
    ASSERT_TRUE(wide);
    EXPECT_EQ(Method(wide, u"Write", {u"Ω"}).hr, S_OK);
    wide = nullptr;  // the last reference closes the file
    EXPECT_EQ(Bytes(root + "/w.txt"), std::string("\xFF\xFE\xA9\x03", 4));
}

TEST(FileSystemObject, FailuresCarryTheScriptErrorNumberAndText) {
    ScopedApartment apartment;
    IDispatchPtr fso = Create(u"Scripting.FileSystemObject");
    struct Case {
        const char16_t* method;
        std::vector<_variant_t> args;
        HRESULT code;
        const char16_t* text;
    } cases[] = {
        {u"GetFile", {u"C:\\none.txt"}, HRESULT(0x800A0035), u"File not found"},
        {u"GetFolder", {u"C:\\none"}, HRESULT(0x800A004C), u"Path not found"},
        {u"CreateFolder", {u"C:\\"}, HRESULT(0x800A003A), u"File already exists"},
        {u"OpenTextFile",
         {u"C:\\x.txt", _variant_t(3L)},
         HRESULT(0x800A0005),
         u"Invalid procedure call or argument"},
        {u"DeleteFolder", {u"C:\\"}, HRESULT(0x800A0046), u"Permission denied"},
    };
    for (const auto& c : cases) {
        Outcome o = Method(fso, c.method, c.args);
        EXPECT_EQ(o.hr, DISP_E_EXCEPTION) << kvwin::ToUtf8(c.method);
        EXPECT_EQ(o.scode, c.code) << kvwin::ToUtf8(c.method);
        EXPECT_EQ(o.description, c.text) << kvwin::ToUtf8(c.method);
    }
}

// Reading streams' texts count against the bound on what objects hold for scripts: one more
// open stream past it fails with "Out of memory"; a closed or released one gives its room back.
TEST(FileSystemObject, ReadingStreamsShareTheHeldMemoryBound) {
    ScopedApartment apartment;
    const size_t before = kvwin::HeldMemoryInUse();
    kvtest::ScopedHeldMemoryBound bound(before + 1000000);
    std::ofstream(kvtest::TestStateRoot() + "/big.txt") << std::string(300000, 'a') << "\nend";
    IDispatchPtr fso = Create(u"Scripting.FileSystemObject");
    IDispatchPtr first = Object(Method(fso, u"OpenTextFile", {u"C:\\big.txt"}));
    ASSERT_TRUE(first);
    Outcome second = Method(fso, u"OpenTextFile", {u"C:\\big.txt"});
    EXPECT_EQ(second.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(second.scode, HRESULT(0x800A0007));
    // What a stream already holds stays readable.
    EXPECT_EQ(Method(first, u"SkipLine").hr, S_OK);
    EXPECT_EQ(std::u16string(Method(first, u"ReadLine").result.bstrVal), u"end");
    EXPECT_EQ(Method(first, u"Close").hr, S_OK);
    first = Object(Method(fso, u"OpenTextFile", {u"C:\\big.txt"}));
    first = nullptr;
    fso = nullptr;
    EXPECT_EQ(kvwin::HeldMemoryInUse(), before);
}

TEST(FileSystemObject, NativePathsKeepTheirSeparatorsAndDatesAreLocal) {
    ScopedApartment apartment;
    IDispatchPtr fso = Create(u"Scripting.FileSystemObject");
    const std::string dir = kvtest::MakeTempFolder("fso");
    const std::u16string native = kvwin::FromUtf8(dir);
    std::ofstream(dir + "/data file.bin") << "12345";
    struct timespec times[2] = {{0, UTIME_OMIT}, {1700000000, 0}};  // 2023-11-14 22:13:20 UTC
    ASSERT_EQ(utimensat(AT_FDCWD, (dir + "/data file.bin").c_str(), times, 0), 0);

    IDispatchPtr file = Object(Method(fso, u"GetFile", {Text(native + u"/sub/../data file.bin")}));
    ASSERT_TRUE(file);
    Outcome path = Invoke(file, u"Path", DISPATCH_PROPERTYGET);
    EXPECT_EQ(std::u16string(path.result.bstrVal), native + u"/data file.bin");
    EXPECT_EQ(Invoke(file, u"Size", DISPATCH_PROPERTYGET).result.lVal, 5);

    Outcome modified = Invoke(file, u"DateLastModified", DISPATCH_PROPERTYGET);
    ASSERT_EQ(modified.result.vt, VT_DATE);
    time_t when = 1700000000;
    struct tm local {};
    localtime_r(&when, &local);
    const double expected = 45244.0 + (local.tm_mday - 14) +
                            (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) / 86400.0;
    EXPECT_NEAR(modified.result.date, expected, 1.0 / 86400);

    // The object reads the file system when asked: gone is gone.
    ASSERT_EQ(Method(fso, u"DeleteFile", {Text(native + u"/data file.bin")}).hr, S_OK);
    EXPECT_EQ(Invoke(file, u"Size", DISPATCH_PROPERTYGET).scode, HRESULT(0x800A0035));
    EXPECT_EQ(Method(fso, u"FolderExists", {Text(native)}).result.boolVal, VARIANT_TRUE);
}

}  // namespace
}  // namespace scriptingtest
