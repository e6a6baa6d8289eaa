// Helpers of the file tests: paths on C: (the test's state root), raw bytes, the lines
// the agent log recorded.
#pragma once

#include <string>
#include <vector>

#include "kvtest/log_capture.h"
#include "kvtest/test_env.h"
#include "kvwin/utf.h"
#include "kvwin/wide_string.h"
#include "win/files.h"

namespace filestest {

// "C:\<relative>", which the platform keeps under the test's state root.
inline WString WinPath(const std::string& relative) {
    return kvwin::FromUtf8("C:\\" + relative);
}

inline std::string NativePath(const std::string& relative) {
    std::string native = kvtest::TestStateRoot() + "/" + relative;
    for (char& c : native) {
        if (c == '\\')
            c = '/';
    }
    return native;
}

inline bool WriteBytes(const WString& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    return CloseHandle(file) && ok;
}

inline std::string ReadBytes(const WString& path) {
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

using kvtest::ClearLoggedLines;
using kvtest::Lines;
using kvtest::WaitForLoggedText;

}  // namespace filestest
