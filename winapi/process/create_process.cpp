// CreateProcessW, CreateProcessAsUserW and the questions a process handle answers.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "../security/token_state.h"
#include "child_process.h"
#include "command_line_words.h"
#include "kvwin/environment_block.h"
#include "kvwin/file_object.h"
#include "kvwin/last_error.h"
#include "kvwin/security_token.h"
#include "kvwin/state_root.h"
#include "kvwin/utf.h"
#include "process_command_line.h"
#include "win/kernel_objects.h"
#include "win/processes.h"

namespace kvwin {

namespace {

bool IsNativeAbsolute(const std::string& path) {
    return !path.empty() && path[0] == '/';
}

std::string CurrentFolder() {
    std::vector<char> buffer(4096);
    while (!::getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE)
            return ".";
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

// A program that cannot be run is refused before the fork, with the error Windows gives.
bool CheckProgram(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno != ENOENT)
            return FailWithErrno();
        const size_t slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
        struct stat folder_info {};
        return FailWith(::stat(folder.c_str(), &folder_info) == 0 ? ERROR_FILE_NOT_FOUND
                                                                  : ERROR_PATH_NOT_FOUND);
    }
    if (S_ISDIR(info.st_mode) || ::access(path.c_str(), X_OK) != 0)
        return FailWith(ERROR_ACCESS_DENIED);
    return TRUE;
}

// A bare program name, looked for in PATH.
bool SearchPath(const std::string& name, std::string& found) {
    const std::optional<std::string> path = LookupEnvironmentVariable("PATH");
    std::string folders = path ? *path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        const std::string folder = end > start ? folders.substr(start, end - start) : ".";
        const std::string candidate = folder + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) {
            found = candidate;
            return true;
        }
        start = end + 1;
    }
    return false;
}

bool ResolveProgram(LPCWSTR application, const std::vector<std::u16string>& words,
                    std::string& program) {
    std::u16string name;
    if (application) {
        name = application;
    } else if (!words.empty()) {
        name = words[0];
    }
    if (name.empty())
        return FailWith(ERROR_FILE_NOT_FOUND);
    if (!application && name.find_first_of(u"\\/") == std::u16string::npos) {
        if (!SearchPath(ToUtf8(name), program))
            return FailWith(ERROR_FILE_NOT_FOUND);
        return TRUE;
    }
    if (!ToNativePath(name, program))
        return FALSE;
    if (!IsNativeAbsolute(program))
        program = CurrentFolder() + "/" + program;
    return CheckProgram(program);
}

// The child's environment: the block given (UTF-16 or UTF-8) or ours, without the
// per-drive "=C:" entries, and with the command line for the child's GetCommandLineW.
std::vector<std::string> ChildEnvironment(LPVOID block, bool unicode, LPCWSTR command_line) {
    std::vector<std::string> entries;
    if (!block) {
        for (auto& [name, value] : EnvironmentSnapshot())
            entries.push_back(name + "=" + value);
    } else if (unicode) {
        for (auto* entry = static_cast<const WCHAR*>(block); *entry;) {
            const size_t length = WideLength(entry);
            entries.push_back(ToUtf8(std::u16string_view(entry, length)));
            entry += length + 1;
        }
    } else {
        for (auto* entry = static_cast<const char*>(block); *entry;) {
            const size_t length = std::strlen(entry);
            entries.emplace_back(entry, length);
            entry += length + 1;
        }
    }
    const std::string marker = std::string(kCommandLineVariable) + "=";
    std::vector<std::string> kept;
    for (std::string& entry : entries) {
        if (entry.empty() || entry[0] == '=' || entry.find('=') == std::string::npos)
            continue;
        if (entry.compare(0, marker.size(), marker) == 0)
            continue;
        kept.push_back(std::move(entry));
    }
    if (command_line)
        kept.push_back(marker + ToUtf8(command_line));
    return kept;
}

// The account a token stands for, if a primary token that may be used to start a process.
bool AccountForNewProcess(HANDLE token, TokenAccount& account) {
    std::shared_ptr<TokenObject> object = TokenFromHandle(token);
    if (!object)
        return FALSE;
    if (!object->Grants(TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY))
        return FailWith(ERROR_ACCESS_DENIED);
    if (object->state()->type != TokenPrimary)
        return FailWith(ERROR_BAD_TOKEN_TYPE);
    return TokenAccountOf(token, account);
}

// Who the child becomes. Only root can make a child someone else; any process may start
// one as itself.
bool ChooseIdentity(const TokenAccount* token_account, ChildLaunch& launch) {
    const bool root = ::geteuid() == 0;
    if (token_account) {
        if (root) {
            launch.change_identity = true;
            launch.uid = token_account->uid;
            launch.gid = token_account->gid;
            launch.groups = token_account->groups;
            return TRUE;
        }
        if (token_account->uid != ::geteuid())
            return FailWith(ERROR_PRIVILEGE_NOT_HELD);
        return TRUE;
    }
    // The process's own identity. An impersonating thread has changed its own groups (and
    // file-system ids, which execve resets); the child must not inherit them.
    if (root && CurrentThreadToken()) {
        HANDLE process_token = nullptr;
        TokenAccount own;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &process_token))
            return FALSE;
        const bool known = TokenAccountOf(process_token, own);
        CloseHandle(process_token);
        if (!known)
            return FALSE;
        launch.change_identity = true;
        launch.uid = own.uid;
        launch.gid = own.gid;
        launch.groups = own.groups;
    }
    return TRUE;
}

void UseStandardHandles(const STARTUPINFOW& startup, ChildLaunch& launch) {
    const HANDLE handles[3] = {startup.hStdInput, startup.hStdOutput, startup.hStdError};
    for (int i = 0; i < 3; ++i) {
        auto file = std::dynamic_pointer_cast<FileObject>(LookupHandle(handles[i]));
        if (file)
            launch.std_fds[i] = file->fd();
    }
}

BOOL CreateChild(HANDLE token, LPCWSTR application, LPWSTR command_line, BOOL inherit_handles,
                 DWORD flags, LPVOID environment, LPCWSTR directory, LPSTARTUPINFOW startup,
                 LPPROCESS_INFORMATION information) {
    if (!startup || !information || startup->cb < sizeof(STARTUPINFOW) ||
        (!application && !command_line)) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    if (flags & (CREATE_SUSPENDED | DEBUG_PROCESS | DEBUG_ONLY_THIS_PROCESS))
        return FailWith(ERROR_NOT_SUPPORTED);
    try {
        ChildLaunch launch;
        TokenAccount account;
        if (token && !AccountForNewProcess(token, account))
            return FALSE;
        if (!ChooseIdentity(token ? &account : nullptr, launch))
            return FALSE;

        const std::u16string text = command_line ? command_line : u"";
        const std::vector<std::u16string> words = SplitCommandLine(text, !application);
        if (!ResolveProgram(application, words, launch.program))
            return FALSE;
        // argv: the program first, as a Linux program expects, then the words.
        launch.arguments.push_back(application ? launch.program : ToUtf8(words[0]));
        for (size_t i = application ? 0 : 1; i < words.size(); ++i)
            launch.arguments.push_back(ToUtf8(words[i]));
        launch.environment =
            ChildEnvironment(environment, flags & CREATE_UNICODE_ENVIRONMENT, command_line);
        if (directory && *directory) {
            if (!ToNativePath(directory, launch.directory))
                return FALSE;
            struct stat info {};
            if (::stat(launch.directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
                return FailWith(ERROR_DIRECTORY);
        }
        launch.keep_descriptors = inherit_handles != FALSE;
        if (inherit_handles && (startup->dwFlags & STARTF_USESTDHANDLES))
            UseStandardHandles(*startup, launch);
        launch.new_process_group = (flags & CREATE_NEW_PROCESS_GROUP) != 0;

        std::shared_ptr<ChildState> state = StartChild(launch);
        if (!state)
            return FALSE;
        HANDLE process = InsertHandle(std::make_shared<ChildObject>(state, HandleKind::Process));
        HANDLE thread = InsertHandle(std::make_shared<ChildObject>(state, HandleKind::Other));
        if (!process || !thread) {
            // The child runs all the same, reaped by its own thread; only the handles failed.
            if (process)
                CloseHandle(process);
            return FailWith(ERROR_NOT_ENOUGH_MEMORY);
        }
        information->hProcess = process;
        information->hThread = thread;
        information->dwProcessId = static_cast<DWORD>(state->pid);
        information->dwThreadId = static_cast<DWORD>(state->pid);
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

}  // namespace

}  // namespace kvwin

using namespace kvwin;

extern "C" {

BOOL CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                    LPSECURITY_ATTRIBUTES /*lpProcessAttributes*/,
                    LPSECURITY_ATTRIBUTES /*lpThreadAttributes*/, BOOL bInheritHandles,
                    DWORD dwCreationFlags, LPVOID lpEnvironment, LPCWSTR lpCurrentDirectory,
                    LPSTARTUPINFOW lpStartupInfo, LPPROCESS_INFORMATION lpProcessInformation) {
    return CreateChild(nullptr, lpApplicationName, lpCommandLine, bInheritHandles, dwCreationFlags,
                       lpEnvironment, lpCurrentDirectory, lpStartupInfo, lpProcessInformation);
}

BOOL CreateProcessAsUserW(HANDLE hToken, LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                          LPSECURITY_ATTRIBUTES /*lpProcessAttributes*/,
                          LPSECURITY_ATTRIBUTES /*lpThreadAttributes*/, BOOL bInheritHandles,
                          DWORD dwCreationFlags, LPVOID lpEnvironment, LPCWSTR lpCurrentDirectory,
                          LPSTARTUPINFOW lpStartupInfo,
                          LPPROCESS_INFORMATION lpProcessInformation) {
    if (!hToken)
        return FailWith(ERROR_INVALID_HANDLE);
    return CreateChild(hToken, lpApplicationName, lpCommandLine, bInheritHandles, dwCreationFlags,
                       lpEnvironment, lpCurrentDirectory, lpStartupInfo, lpProcessInformation);
}

BOOL GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
    if (hProcess == GetCurrentProcess()) {
        if (!lpExitCode)
            return FailWith(ERROR_INVALID_PARAMETER);
        *lpExitCode = STILL_ACTIVE;
        return TRUE;
    }
    auto child = LookupHandleAs<ChildObject>(hProcess, HandleKind::Process);
    if (!child)
        return FALSE;
    if (!lpExitCode)
        return FailWith(ERROR_INVALID_PARAMETER);
    *lpExitCode = child->state()->exit_code.load(std::memory_order_acquire);
    return TRUE;
}

DWORD GetProcessId(HANDLE Process) {
    if (Process == GetCurrentProcess())
        return GetCurrentProcessId();
    auto child = LookupHandleAs<ChildObject>(Process, HandleKind::Process);
    return child ? static_cast<DWORD>(child->state()->pid) : 0;
}

}  // extern "C"
