// Helpers of the file tests: paths on C: (the test's state root), raw bytes, logged lines.
#pragma once

#include <string>
#include <vector>

#include "kvtest/test_env.h"
#include "kvwin/utf.h"
#include "pending_log_and_errors.h"
#include "win/files.h"

namespace filestest {

// "C:\<relative>", which the platform keeps under the test's state root.
inline std::u16string WinPath(const std::string& relative) {
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

inline bool WriteBytes(const std::u16string& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    return CloseHandle(file) && ok;
}

inline std::string ReadBytes(const std::u16string& path) {
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

// The logged lines as "severity|source|message" (with "|error" for Win32 lines), in order,
// leaving out the suppressed ones.
inline std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    for (const pending::LoggedLine& line : pending::LoggedLines()) {
        std::string text = std::to_string(line.severity) + "|" + kvwin::ToUtf8(line.source) + "|" +
                           kvwin::ToUtf8(line.message);
        if (line.win32)
            text += "|" + std::to_string(line.error);
        lines.push_back(text);
    }
    return lines;
}

}  // namespace filestest
