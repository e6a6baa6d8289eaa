// Small helpers for the file tests: paths under the test's state root, whole-file writes.
#pragma once

#include <string>

#include "kvtest/test_env.h"
#include "kvwin/utf.h"
#include "win/files.h"

namespace filetest {

// A Windows path "C:\<relative>" and the native path it stands for.
inline std::u16string WinPath(const std::string& relative) {
    std::string path = "C:\\" + relative;
    return kvwin::FromUtf8(path);
}

inline std::string NativePath(const std::string& relative) {
    std::string native = kvtest::TestStateRoot() + "/" + relative;
    for (char& c : native) {
        if (c == '\\')
            c = '/';
    }
    return native;
}

inline HANDLE Open(const std::u16string& path, DWORD access, DWORD share, DWORD disposition,
                   DWORD flags = 0) {
    return CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
}

inline bool WriteAll(const std::u16string& path, const std::string& text) {
    HANDLE h = Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                    written == text.size();
    CloseHandle(h);
    return ok;
}

inline std::string ReadAll(const std::u16string& path) {
    HANDLE h = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE)
        return "<open failed>";
    std::string text;
    char buffer[256];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got)
        text.append(buffer, got);
    CloseHandle(h);
    return text;
}

}  // namespace filetest
