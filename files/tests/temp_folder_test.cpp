// The agent temp folder chosen at load, the working temp path and the temp-folder security.
// Each choice runs in a child process: the marker variable carries the process id, so a
// child chooses afresh while this process keeps the choice made when it was loaded.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "files/file_operations.h"
#include "files/temp_folder.h"
#include "files/temp_folder_security.h"
#include "files_test_support.h"
#include "kvwin/wide_string.h"
#include "win/comdef.h"
#include "win/environment.h"
#include "win/errors.h"

namespace {

using filestest::WinPath;

std::string Env(const WCHAR* name) {
    WCHAR value[1024] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, 1024);
    if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND)
        return "<unset>";
    return kvwin::ToUtf8(value);
}

WString Marker() {
    return TempFolderMarkerName(GetCurrentProcessId());
}

// "TEMP=... TMP=... marker=..." of this process.
std::string Chosen() {
    return "TEMP=" + Env(TEXT("TEMP")) + " TMP=" + Env(TEXT("TMP")) +
           " marker=" + Env(Marker().c_str());
}

bool Exists(const WString& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

WString TestFile(const WString& folder) {
    return folder + TEXT("\\") + Marker() + TEXT(".tmp");
}

void Point(const WString& tmp) {
    SetEnvironmentVariableW(TEXT("TMP"), tmp.c_str());
    SetEnvironmentVariableW(TEXT("TEMP"), TEXT("C:\\previous"));
}

std::string InChild(const std::function<void()>& body) {
    const kvtest::ChildResult child = kvtest::RunInChild(body);
    EXPECT_EQ(child.exit_code, 0);
    return child.output;
}

// This process was given its folder when it was loaded, before main.
TEST(TempFolder, ThisProcessChoseItsFolderAtLoad) {
    EXPECT_EQ(Env(Marker().c_str()), "OK");
    EXPECT_EQ(Env(TEXT("TEMP")), Env(TEXT("TMP")));
}

TEST(TempFolder, AWritableTempFolderIsKeptWithoutItsTrailingSeparator) {
    const WString folder = WinPath("usertemp");
    ASSERT_TRUE(CreateDirectoryPath(folder.c_str(), nullptr, 0));
    const std::string report = InChild([&] {
        Point(folder + TEXT("\\"));
        InitProcessTempFolder();
        printf("%s test-file=%d", Chosen().c_str(), Exists(TestFile(folder)));
        fflush(stdout);
        std::exit(0);  // an orderly end closes the test file, which deletes it
    });
    EXPECT_EQ(report, "TEMP=" + kvwin::ToUtf8(folder) + " TMP=" + kvwin::ToUtf8(folder) +
                          " marker=OK test-file=1");
    // The test file of the child is gone with it; the folder stays.
    ASSERT_TRUE(IsDirectory(folder.c_str()));
    WIN32_FIND_DATAW found;
    const WString pattern = folder + TEXT("\\*.tmp");
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE) << kvwin::ToUtf8(found.cFileName);
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
}

TEST(TempFolder, AnUnusableTempFolderGivesWayToTheCommonApplicationDataFolder) {
    const WString file = WinPath("not-a-folder");
    ASSERT_TRUE(filestest::WriteWholeFile(file, "x"));
    const WString agent = TEXT("C:\\ProgramData\\Norvale\\Norvale Agent\\Temp");
    const std::string report = InChild([&] {
        Point(file + TEXT("\\"));
        InitProcessTempFolder();
        printf("%s test-file=%d", Chosen().c_str(), Exists(TestFile(agent)));
    });
    EXPECT_EQ(report, "TEMP=" + kvwin::ToUtf8(agent) + " TMP=" + kvwin::ToUtf8(agent) +
                          " marker=OK test-file=1");
    EXPECT_TRUE(IsDirectory(agent.c_str()));
}

TEST(TempFolder, ASecondChoiceInTheSameProcessChangesNothing) {
    const WString first = WinPath("first"), second = WinPath("second");
    ASSERT_TRUE(CreateDirectoryPath(first.c_str(), nullptr, 0));
    ASSERT_TRUE(CreateDirectoryPath(second.c_str(), nullptr, 0));
    const std::string report = InChild([&] {
        Point(first);
        InitProcessTempFolder();
        SetEnvironmentVariableW(TEXT("TMP"), second.c_str());
        InitProcessTempFolder();
        printf("%s second-test-file=%d", Chosen().c_str(), Exists(TestFile(second)));
    });
    EXPECT_EQ(report, "TEMP=" + kvwin::ToUtf8(first) + " TMP=" + kvwin::ToUtf8(second) +
                          " marker=OK second-test-file=0");
}

// The library itself makes the choice when it is loaded, and a second load keeps it.
TEST(TempFolder, LoadingTheLibraryChoosesOnceAndReloadingKeepsTheChoice) {
    const WString first = WinPath("byload"), second = WinPath("reload");
    ASSERT_TRUE(CreateDirectoryPath(first.c_str(), nullptr, 0));
    ASSERT_TRUE(CreateDirectoryPath(second.c_str(), nullptr, 0));
    const std::string report = InChild([&] {
        Point(first);
        void* library = ::dlopen(KAVREL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            printf("dlopen: %s", ::dlerror());
            return;
        }
        std::string seen = Chosen();
        ::dlclose(library);
        SetEnvironmentVariableW(TEXT("TMP"), second.c_str());
        library = ::dlopen(KAVREL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        seen += " | " + Chosen() + " second-test-file=" + std::to_string(Exists(TestFile(second)));
        if (library)
            ::dlclose(library);
        printf("%s", seen.c_str());
    });
    const std::string chosen = "TEMP=" + kvwin::ToUtf8(first) + " TMP=" + kvwin::ToUtf8(first);
    EXPECT_EQ(report, chosen + " marker=OK | TEMP=" + kvwin::ToUtf8(first) +
                          " TMP=" + kvwin::ToUtf8(second) + " marker=OK second-test-file=0");
}

TEST(TryUseTempFolder, RefusesFoldersThatCannotHoldTheTestFile) {
    const WString marker = TEXT("Kavrel_Files_Test_Marker");
    ASSERT_TRUE(SetEnvironmentVariableW(TEXT("TEMP"), TEXT("C:\\before")));
    EXPECT_FALSE(TryUseTempFolder(TEXT("Q:\\no\\such\\drive"), marker.c_str()));
    EXPECT_FALSE(TryUseTempFolder(TEXT(""), marker.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    const WString deep = WinPath(std::string(500, 'd'));
    EXPECT_FALSE(TryUseTempFolder(deep.c_str(), marker.c_str()));
    EXPECT_EQ(Env(TEXT("TEMP")), "C:\\before");
    EXPECT_EQ(Env(marker.c_str()), "<unset>");
    EXPECT_TRUE(filestest::Lines().empty());

    const WString folder = WinPath("direct");
    EXPECT_TRUE(TryUseTempFolder(folder.c_str(), marker.c_str()));
    EXPECT_EQ(Env(TEXT("TEMP")), kvwin::ToUtf8(folder));
    EXPECT_EQ(Env(marker.c_str()), "OK");
    EXPECT_TRUE(Exists(folder + TEXT("\\Kavrel_Files_Test_Marker.tmp")));
}

TEST(WorkingTempPath, IsTheTempPathWithItsSeparatorAndTheFolderIsCreated) {
    const WString folder = WinPath("work\\temp\\");
    ASSERT_TRUE(SetEnvironmentVariableW(TEXT("TMP"), folder.c_str()));
    EXPECT_EQ(GetWorkingTempPath(), folder);
    EXPECT_TRUE(IsDirectory(folder.c_str()));
}

TEST(WorkingTempPath, ATempPathBeyondMaxPathRaisesADescribedError) {
    const WString folder = WinPath(std::string(300, 't'));
    ASSERT_TRUE(SetEnvironmentVariableW(TEXT("TMP"), folder.c_str()));
    try {
        GetWorkingTempPath();
        ADD_FAILURE() << "no error raised";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(WString(static_cast<const WCHAR*>(error.Description())),
                  TEXT("Can't find temp path ") +
                      WString(_com_error(ERROR_INSUFFICIENT_BUFFER).ErrorMessage()));
    }
}

TEST(TempFolderSecurity, HoldsNonInheritableAttributesWithTheFolderDescriptor) {
    SECURITY_ATTRIBUTES* attributes = TempFolderSecuritySingleton::Instance().Attributes();
    EXPECT_EQ(attributes->nLength, 24u);
    EXPECT_EQ(attributes->bInheritHandle, FALSE);
    EXPECT_NE(attributes->lpSecurityDescriptor, nullptr);
}

}  // namespace
