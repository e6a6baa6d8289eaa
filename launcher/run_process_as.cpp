// RunProccesAs: the launcher's process start, as the session user when impersonating.
#include "launcher/run_process_as.h"

#include <cstring>
#include <string>

#include "kvwin/ascii_case.h"
#include "kvwin/format.h"
#include "kvwin/wide_string.h"
#include "log/agent_log.h"
#include "platform/token_security.h"
#include "win/environment.h"
#include "win/kernel_objects.h"
#include "win/messages.h"
#include "win/sysinfo.h"

namespace {

constexpr const WCHAR* kSource = TEXT("RunProccesAs");
constexpr const WCHAR* kCommonSource = TEXT("InventoryCommon");
constexpr DWORD kUserNameChars = 260;
constexpr size_t kErrorTextChars = 8192;
// TOKEN_DUPLICATE | TOKEN_QUERY | READ_CONTROL.
constexpr DWORD kThreadTokenAccess = 0x2000A;

// "<code> - <system text>", the text with its own line end, empty when the system has none.
WString ErrorText(DWORD code) {
    WCHAR message[kErrorTextChars] = {};
    if (FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                       message, kErrorTextChars, nullptr) == 0) {
        message[0] = 0;
    }
    WCHAR text[kErrorTextChars];
    kvwin::FormatTo(text, kErrorTextChars, TEXT("%u - %s"), code, message);
    return text;
}

// Whether the thread runs as the system account: the name compared, case ignored, over
// max(its length, 6) characters with "system" — so "SYSTEM" matches and nothing longer.
bool IsSystemAccount(const WCHAR* name) {
    return kvwin::EqualsAsciiNoCase(WStringView(name), WStringView(TEXT("system")));
}

void EnablePrivilege(HANDLE token, const WCHAR* name) {
    TOKEN_PRIVILEGES privileges{};
    if (!LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid))
        return;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
}

// Owns an environment block from CreateEnvironmentBlock.
class EnvironmentBlockHolder {
  public:
    EnvironmentBlockHolder() = default;
    ~EnvironmentBlockHolder() {
        if (m_block)
            DestroyEnvironmentBlock(m_block);
    }
    EnvironmentBlockHolder(const EnvironmentBlockHolder&) = delete;
    EnvironmentBlockHolder& operator=(const EnvironmentBlockHolder&) = delete;
    LPVOID* Receive() { return &m_block; }
    LPVOID Get() const { return m_block; }

  private:
    LPVOID m_block = nullptr;
};

}  // namespace

bool RunProccesAs(const WCHAR* applicationName, const WCHAR* commandLine, bool wait,
                  PROCESS_INFORMATION& processInfo) {
    try {
        WCHAR userName[kUserNameChars] = {};
        DWORD size = kUserNameChars;
        if (GetUserNameW(userName, &size) != 1)
            std::memcpy(userName, TEXT("USER_NAME_ERROR"), sizeof(TEXT("USER_NAME_ERROR")));

        // Declared in the order they are released at the end: the environment block, the
        // thread token, the primary token (destruction runs backwards).
        HandleHolder primaryToken;
        HandleHolder threadToken;
        EnvironmentBlockHolder environment;
        if (!IsSystemAccount(userName) &&
            OpenThreadToken(GetCurrentThread(), kThreadTokenAccess, TRUE, threadToken.Receive())) {
            if (!DuplicateTokenEx(threadToken.Get(), MAXIMUM_ALLOWED, nullptr,
                                  SecurityImpersonation, TokenPrimary, primaryToken.Receive())) {
                const WString error = ErrorText(GetLastError());
                CEReportEventF(LogError, kSource, TEXT("Failed to duplicate tokent. Error=[%s]"),
                               error.c_str());
                return false;
            }
            EnablePrivilege(primaryToken.Get(), SE_ASSIGNPRIMARYTOKEN_NAME);
            EnablePrivilege(primaryToken.Get(), SE_INCREASE_QUOTA_NAME);
            if (!CreateEnvironmentBlock(environment.Receive(), primaryToken.Get(), TRUE)) {
                const WString error = ErrorText(GetLastError());
                CEReportEventF(LogError, kCommonSource,
                               TEXT("Failed to create env block. Error=[%s]"), error.c_str());
            }
        }

        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
        WCHAR desktop[] = TEXT("");
        startup.lpDesktop = desktop;
        processInfo = PROCESS_INFORMATION{};

        // The system may write into the command line: it gets a copy of its own.
        WString writableCommandLine(commandLine ? commandLine : TEXT(""));
        BOOL created = FALSE;
        if (primaryToken.Get()) {
            created = CreateProcessAsUserW(primaryToken.Get(), applicationName,
                                           writableCommandLine.data(), nullptr, nullptr, FALSE,
                                           CREATE_UNICODE_ENVIRONMENT, environment.Get(), nullptr,
                                           &startup, &processInfo);
        } else {
            created = CreateProcessW(applicationName, writableCommandLine.data(), nullptr, nullptr,
                                     FALSE, CREATE_UNICODE_ENVIRONMENT, nullptr, nullptr, &startup,
                                     &processInfo);
        }
        if (!created) {
            const WString error = ErrorText(GetLastError());
            CEReportEventF(
                LogError, kCommonSource,
                TEXT("Failed to launch Application Name=[%s], Command Line=[%s], Error=[%s]"),
                applicationName, commandLine, error.c_str());
            return false;
        }
        if (wait) {
            WaitForSingleObject(processInfo.hProcess, INFINITE);
            DWORD exitCode = 0;
            GetExitCodeProcess(processInfo.hProcess, &exitCode);
            CEReportEventF(LogTrace, kSource, TEXT("Proccess exit code is: %d"),
                           static_cast<int>(exitCode));
            CloseHandle(processInfo.hProcess);
            CloseHandle(processInfo.hThread);
            processInfo = PROCESS_INFORMATION{};
        }
        return true;
    } catch (...) {
        // Only an allocation can fail here; the child, if any, is already accounted for.
        return false;
    }
}
