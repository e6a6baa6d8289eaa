#include "log/install_log.h"

#include "entry/singleton/singleton.h"
#include "files/file_operations.h"
#include "kvwin/format.h"
#include "kvwin/utf.h"
#include "kvwin/wide_string.h"
#include "log/log_reentry.h"
#include "platform/os_detector.h"
#include "win/files.h"
#include "win/handles.h"
#include "win/shell.h"
#include "win/systime.h"

namespace {

constexpr size_t kMaxLineBytes = 16644;

class InstallLogName {
  public:
    InstallLogName() {
        const bool vista = OSDetector::GetOSCode() >= 20;
        WCHAR folder[MAX_PATH] = {};
        if (FAILED(SHGetFolderPathW(nullptr, vista ? CSIDL_COMMON_APPDATA : CSIDL_COMMON_DOCUMENTS,
                                    nullptr, 0, folder)))
            return;
        WString path =
            kvwin::Format(TEXT("%ls\\%ls\\InstallLogs\\%ls.log"), folder,
                          vista ? TEXT("Norvale\\Norvale Agent") : TEXT("Quillon\\Quillon Agent"),
                          TEXT("ZORHUBC"));
        if (path.size() >= 520)
            return;
        m_path = path;
        // A warning about the folder must not come back here while the name is being made.
        const InstallLogReentryGuard guard;
        CreateDirectoryPath(m_path.substr(0, m_path.find_last_of(TEXT('\\'))).c_str(), nullptr, 0);
    }

    const WString& Path() const { return m_path; }

  private:
    WString m_path;
};

}  // namespace

const WString& InstallLogPath() {
    return Utility::SingletonT<InstallLogName, 255>::Instance().Path();
}

void WriteInstallLogLine(const WCHAR* tag, const WCHAR* source, const WCHAR* message) {
    const WString& path = InstallLogPath();
    if (path.empty())
        return;
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    struct Closer {
        HANDLE h;
        ~Closer() { CloseHandle(h); }
    } closer{file};
    if (!SetFilePointerChecked(file, 0, FILE_END))
        return;

    SYSTEMTIME now{};
    GetLocalTime(&now);
    const std::string text = message ? kvwin::ToUtf8(message) : std::string();
    std::string line;
    if (tag && source) {
        line = kvwin::Format("%04ld-%02ld-%02ld %02ld:%02ld:%02ld P:%-6d T:%-6d %hs %hs: %hs\r\n",
                             now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                             GetCurrentProcessId(), GetCurrentThreadId(), kvwin::ToUtf8(tag),
                             kvwin::ToUtf8(source), text);
    } else {
        line = kvwin::Format("%04ld-%02ld-%02ld %02ld:%02ld:%02ld P:%-6d T:%-6d %hs\r\n", now.wYear,
                             now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                             GetCurrentProcessId(), GetCurrentThreadId(), text);
    }
    if (line.size() > kMaxLineBytes)
        line.resize(kMaxLineBytes);  // an overlong line keeps its beginning
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}
