#include "log/log_rotation.h"

#include "kvwin/wide_string.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/text.h"

namespace {

size_t FileNameStart(const WString& path) {
    const size_t separator = path.find_last_of(TEXT("\\/"));
    return separator == WString::npos ? 0 : separator + 1;
}

uint64_t FileTimeValue(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Closes a find handle on every path out.
class FindHandle {
  public:
    explicit FindHandle(HANDLE handle) : m_handle(handle) {}
    ~FindHandle() {
        if (m_handle != INVALID_HANDLE_VALUE)
            FindClose(m_handle);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    HANDLE get() const { return m_handle; }

  private:
    HANDLE m_handle;
};

}  // namespace

WString NumberedLogPath(const WString& logPath, uint32_t n) {
    const WString number = [n] {
        WString digits;
        uint32_t v = n;
        do {
            digits.insert(digits.begin(), static_cast<WCHAR>(TEXT('0') + v % 10));
            v /= 10;
        } while (v);
        return digits;
    }();
    WString result = logPath.substr(0, FileNameStart(logPath));
    for (size_t i = result.size(); i < logPath.size(); ++i) {
        if (logPath[i] == TEXT('.'))
            result.append(number);
        result.push_back(logPath[i]);
    }
    return result;
}

bool RotateLogFile(const WString& folder, const WString& logPath, const WString& pattern,
                   uint32_t maxFiles) {
    uint32_t count = 0;
    WString oldest;
    uint64_t oldestTime = UINT64_MAX;
    {
        WIN32_FIND_DATAW found{};
        FindHandle find(FindFirstFileW(pattern.c_str(), &found));
        if (find.get() != INVALID_HANDLE_VALUE) {
            do {
                ++count;
                const WString path = folder + TEXT("\\") + found.cFileName;
                const uint64_t written = FileTimeValue(found.ftLastWriteTime);
                if (_wcsicmp(path.c_str(), logPath.c_str()) != 0 && written < oldestTime) {
                    oldestTime = written;
                    oldest = path;
                }
            } while (count < maxFiles && FindNextFileW(find.get(), &found));
        }
    }

    if (count >= maxFiles) {
        if (!oldest.empty()) {
            if (!DeleteFileW(oldest.c_str()))
                return false;
            --count;
        }
        if (count >= maxFiles)
            return true;  // nothing could go: keep appending to the current file
    }

    // A folder holding a hundred thousand numbered copies is not a log folder any more.
    for (uint32_t n = 1; n < 100000; ++n) {
        const WString target = NumberedLogPath(logPath, n);
        if (MoveFileW(logPath.c_str(), target.c_str()))
            return true;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    return false;
}
