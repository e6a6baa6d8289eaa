// The launcher's own reading of its command line.
#include <gtest/gtest.h>

#include "kvwin/utf.h"
#include "launcher_arguments.h"

namespace {

constexpr const char16_t* kId = u"{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";

TEST(LauncherArguments, ReadsTheFolderAsWrittenAndTheIdentifier) {
    struct Case {
        std::u16string line;
        std::u16string folder;
    };
    const std::u16string id = kId;
    const Case cases[] = {
        // The library's own form: the backslash before the closing quote is the folder's.
        {u"-d \"C:\\Windows\\Temp\\\" -id " + id, u"C:\\Windows\\Temp\\"},
        {u"-d \"C:\\Program Data\\Temp\\\" -id " + id, u"C:\\Program Data\\Temp\\"},
        {u"-id " + id + u" -d /tmp/x/", u"/tmp/x/"},
        // Typed in a shell: the program's name comes first.
        {u"/opt/agent/Lumbrik.exe  -d\t\"/tmp/a b/\"   -id " + id, u"/tmp/a b/"},
    };
    for (const Case& c : cases) {
        LauncherArguments arguments;
        std::string problem;
        ASSERT_TRUE(ParseLauncherArguments(c.line, arguments, problem))
            << kvwin::ToUtf8(c.line) << ": " << problem;
        EXPECT_EQ(arguments.folder, c.folder) << kvwin::ToUtf8(c.line);
        EXPECT_EQ(arguments.identifier, id);
    }
}

TEST(LauncherArguments, RefusesWhatCannotNameTheTwoFiles) {
    const std::u16string id = kId;
    const std::pair<std::u16string, std::string> cases[] = {
        {u"", "no folder given"},
        {u"-d \"C:\\Temp\\\"", "no call identifier given"},
        {u"-id " + id, "no folder given"},
        {u"-d \"C:\\Temp\\ -id " + id, "a quote is not closed"},
        {u"-d \"C:\\Temp\\\" -id", "-id needs a value"},
        {u"-d \"\" -id " + id, "no folder given"},
        {u"-d a -d b -id " + id, "-d is given twice"},
        {u"-d a -x -id " + id, "unknown argument '-x'"},
        {u"-d a -id {..\\..\\etc\\passwd}", "is not a GUID in registry form"},
        {u"-d a -id 0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0", "is not a GUID in registry form"},
    };
    for (const auto& [line, reason] : cases) {
        LauncherArguments arguments;
        std::string problem;
        EXPECT_FALSE(ParseLauncherArguments(line, arguments, problem)) << kvwin::ToUtf8(line);
        EXPECT_NE(problem.find(reason), std::string::npos)
            << kvwin::ToUtf8(line) << " gave: " << problem;
    }
}

}  // namespace
