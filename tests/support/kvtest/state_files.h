// Files a test makes on C:, which the platform keeps under the test's state root: the two
// names of a path, and whole-file writes and reads through the file API.
#pragma once

#include <string>

#include "kvtest/test_env.h"
#include "kvwin/utf.h"
#include "win/files.h"

namespace kvtest {

// "C:\<relative>".
inline std::u16string WinPath(const std::string& relative) {
    return kvwin::FromUtf8("C:\\" + relative);
}

// The native path "C:\<relative>" stands for.
inline std::string NativePath(const std::string& relative) {
    std::string native = TestStateRoot() + "/" + relative;
    for (char& c : native) {
        if (c == '\\')
            c = '/';
    }
    return native;
}

// Creates or replaces the file with `bytes`; false when any step fails.
inline bool WriteWholeFile(const std::u16string& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    return CloseHandle(file) && ok;
}

// The file's bytes, or "<open failed>".
inline std::string ReadWholeFile(const std::u16string& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<open failed>";
    std::string bytes;
    char buffer[512];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

}  // namespace kvtest
