#include "files/retrying_open.h"

#include "errors/error_description.h"
#include "log/agent_log.h"
#include "win/errors.h"
#include "win/systime.h"

namespace {

// Held open by someone else (or, for a moment, by a scanner): worth waiting for.
bool IsRetryable(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
}

// Logs one line about the open; a description that cannot be had costs only the line.
void LogOpenFailure(uint32_t severity, const WCHAR* format, const WCHAR* path, DWORD error) {
    try {
        CEReportEventF(severity, TEXT("FileOperation"), format, TEXT("create"), path,
                       GetErrorText(error), error);
    } catch (...) {
    }
}

}  // namespace

FileHandle OpenWithRetries(const WCHAR* path, DWORD access, DWORD shareMode, DWORD disposition,
                           DWORD flagsAndAttributes) {
    const auto open = [&] {
        return FileHandle(CreateFileLong(path, access, shareMode, nullptr, disposition,
                                         flagsAndAttributes, nullptr));
    };
    FileHandle file = open();
    if (file.valid())
        return file;
    const DWORD firstError = GetLastError();
    if (!IsRetryable(firstError))
        return file;
    // The operation's name is "create" for reads and writes alike: it is the open that waits.
    LogOpenFailure(LogTrace,
                   TEXT("Failed to perform file operation '%ls' on '%ls': %ls (0x%08X). Will ")
                       TEXT("proceed with retries"),
                   path, firstError);
    for (int attempt = 0; attempt < kOpenRetries; ++attempt) {
        Sleep(kOpenRetryPauseMs);
        file = open();
        if (file.valid())
            return file;
    }
    LogOpenFailure(
        LogError,
        TEXT("Failed to perform file operation '%ls' on '%ls' with retries: %ls (0x%08X)"), path,
        firstError);
    SetLastError(firstError);
    return file;
}
