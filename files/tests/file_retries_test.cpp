// Opens that wait for a file another process holds: one trace line before the retries, an
// error line only when the file stays locked, and no retries for any other failure.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

#include "errors/error_description.h"
#include "files/file_operations.h"
#include "files_test_support.h"
#include "kvwin/wide_string.h"
#include "win/errors.h"
#include "win/kernel_objects.h"

namespace {

using filestest::WinPath;

constexpr DWORD kPatienceMs = 60000;

HANDLE Event(const WCHAR* name) {
    return CreateEventW(nullptr, TRUE, FALSE, name);
}

// Runs operation in one child while another child holds path open exclusively. The holder
// lets go once the operation has logged its first line (so the operation surely met the
// lock), or, when holdForGood, only after the operation has finished. Returns what the
// operation printed.
std::string RunAgainstHolder(const WString& path, bool holdForGood,
                             const std::function<std::string()>& operation) {
    const auto results = kvtest::RunInChildren(2, [&](int index) {
        HANDLE held = Event(TEXT("Local\\files-retry-held"));
        HANDLE readerWaits = Event(TEXT("Local\\files-retry-reader-waits"));
        HANDLE readerDone = Event(TEXT("Local\\files-retry-reader-done"));
        if (index == 0) {
            HANDLE file =
                CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            if (file == INVALID_HANDLE_VALUE)
                _exit(2);
            SetEvent(held);
            if (WaitForSingleObject(holdForGood ? readerDone : readerWaits, kPatienceMs) !=
                WAIT_OBJECT_0) {
                _exit(3);
            }
            CloseHandle(file);
            return;
        }
        if (WaitForSingleObject(held, kPatienceMs) != WAIT_OBJECT_0)
            _exit(4);
        // The holder lets go once the first retry has been announced.
        std::thread announced([readerWaits] {
            if (filestest::WaitForLoggedText("Will proceed with retries", kPatienceMs))
                SetEvent(readerWaits);
        });
        std::string report = operation();
        announced.join();
        for (const std::string& line : filestest::Lines())
            report += "\n" + line;
        SetEvent(readerDone);
        fputs(report.c_str(), stdout);
    });
    EXPECT_EQ(results[0].exit_code, 0) << "holder: " << results[0].output;
    EXPECT_EQ(results[1].exit_code, 0);
    return results[1].output;
}

std::string Read(const WString& path) {
    std::vector<uint8_t> bytes;
    uint32_t size = 0;
    const bool ok = ReadFileWithRetries(path.c_str(), bytes, size);
    const DWORD error = GetLastError();
    if (!ok)
        return "failed " + std::to_string(error);
    return "read " + std::string(reinterpret_cast<const char*>(bytes.data()), size);
}

std::string TraceLine(const WString& path) {
    return "8|FileOperation|Failed to perform file operation 'create' on '" + kvwin::ToUtf8(path) +
           "': " + kvwin::ToUtf8(GetErrorText(ERROR_SHARING_VIOLATION)) +
           " (0x00000020). Will proceed with retries";
}

TEST(FileRetries, AFileReleasedByAnotherProcessIsReadAfterOneTraceLine) {
    const WString path = WinPath("shared.txt");
    ASSERT_TRUE(filestest::WriteWholeFile(path, "payload"));
    EXPECT_EQ(RunAgainstHolder(path, false, [&] { return Read(path); }),
              "read payload\n" + TraceLine(path));
}

TEST(FileRetries, AWriteWaitsForTheHolderInTheSameWay) {
    const WString path = WinPath("shared.txt");
    ASSERT_TRUE(filestest::WriteWholeFile(path, "old"));
    const std::string report = RunAgainstHolder(path, false, [&] {
        const bool ok = WriteFileWithRetries(path.c_str(), "new", 3, "pre-", GENERIC_WRITE, 0);
        return std::string(ok ? "written" : "failed");
    });
    EXPECT_EQ(report, "written\n" + TraceLine(path));
    EXPECT_EQ(filestest::ReadWholeFile(path), "pre-new");
}

// The whole retry schedule: about fifteen seconds.
TEST(FileRetries, SlowFileLockedForGoodFailsAfterFifteenSecondsWithTheFirstError) {
    const WString path = WinPath("locked.txt");
    ASSERT_TRUE(filestest::WriteWholeFile(path, "payload"));
    const auto start = std::chrono::steady_clock::now();
    const std::string report = RunAgainstHolder(path, true, [&] { return Read(path); });
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(report, "failed 32\n" + TraceLine(path) +
                          "\n1|FileOperation|Failed to perform file operation 'create' on '" +
                          kvwin::ToUtf8(path) + "' with retries: " +
                          kvwin::ToUtf8(GetErrorText(ERROR_SHARING_VIOLATION)) + " (0x00000020)");
    EXPECT_GE(elapsed, std::chrono::seconds(15));
}

// Every retry is announced by a trace line first, so no line means no retry.
TEST(FileRetries, OtherOpenFailuresFailAtOnceWithoutRetriesOrLogLines) {
    std::vector<uint8_t> bytes;
    uint32_t size = 0;
    EXPECT_FALSE(ReadFileWithRetries(WinPath("missing.txt").c_str(), bytes, size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(ReadFileWithRetries(WinPath("no\\such\\folder.txt").c_str(), bytes, size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(WriteFileWithRetries(WinPath("no\\such\\folder.txt").c_str(), "x", 1, nullptr,
                                      GENERIC_WRITE, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(filestest::Lines().empty());
}

}  // namespace
