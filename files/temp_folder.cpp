#include "files/temp_folder.h"

#include <atomic>
#include <cstddef>

#include "errors/error_description.h"
#include "files/file_operations.h"
#include "files/path_text.h"
#include "files/temp_folder_security.h"
#include "kvwin/format.h"
#include "kvwin/wide_string.h"
#include "log/agent_log.h"
#include "win/environment.h"
#include "win/errors.h"
#include "win/modules.h"
#include "win/shell.h"
#include "win/text.h"

// This file runs during the first load step, before the library's other static objects
// are constructed: it may use only constant-initialised statics, literals and the
// platform layer.

namespace {

constexpr WCHAR kMarkerFormat[] = TEXT("Zor_{A4597EF2-B2F1-4954-A2FF-A65C393439AF}_%d");
constexpr WCHAR kMarkerSet[] = TEXT("OK");
constexpr DWORD kPathChars = 520;

// The test files' handles of the folders this process took. Their files go when the
// handles close, which the platform does only on CloseHandle: so they are closed when the
// library is unloaded or the process exits, the nearest this platform has to "when the
// process ends". Keep is called from any thread; the destructor runs once, at unload.
class TestFileHandles {
  public:
    constexpr TestFileHandles() = default;
    ~TestFileHandles() {
        const size_t count = count_.load() < kCapacity ? count_.load() : kCapacity;
        for (size_t i = 0; i < count; ++i) {
            if (HANDLE handle = handles_[i].exchange(nullptr))
                CloseHandle(handle);
        }
    }
    TestFileHandles(const TestFileHandles&) = delete;
    TestFileHandles& operator=(const TestFileHandles&) = delete;

    // Beyond the capacity a handle simply stays open until the process ends.
    void Keep(HANDLE handle) {
        const size_t index = count_.fetch_add(1);
        if (index < kCapacity)
            handles_[index].store(handle);
    }

  private:
    static constexpr size_t kCapacity = 8;
    std::atomic<HANDLE> handles_[kCapacity] = {};
    std::atomic<size_t> count_{0};
};

// Constant-initialised, so it is usable from the first load step; its destructor is
// registered later, when this file's static objects are set up, and so runs before the
// load steps' own unload work.
constinit TestFileHandles g_testFiles;

bool MarkerIsSet(const WCHAR* markerName) {
    WCHAR value[20] = {};
    const DWORD length = GetEnvironmentVariableW(markerName, value, 20);
    return length > 0 && length < 20 && wcscmp(value, kMarkerSet) == 0;
}

bool TryUserTempFolder(const WCHAR* markerName) {
    WCHAR path[kPathChars] = {};
    const DWORD length = GetTempPathW(kPathChars, path);
    if (length == 0 || length >= kPathChars)
        return false;
    WString folder(path, length);
    RemoveTrailingSeparator(folder);
    return TryUseTempFolder(folder.c_str(), markerName);
}

bool TryCommonAppDataFolder(const WCHAR* markerName) {
    WCHAR path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path)))
        return false;
    WString folder = path;
    RemoveTrailingSeparator(folder);
    folder += TEXT("\\Norvale\\Norvale Agent\\Temp");
    return TryUseTempFolder(folder.c_str(), markerName);
}

bool TryExecutableFolder(const WCHAR* markerName) {
    WCHAR path[kPathChars] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, kPathChars);
    if (length == 0 || length >= kPathChars)
        return false;
    // The executable's path is native here, so '/' ends its folder as well as '\'.
    size_t cut = length;
    while (cut > 0 && !IsPathSeparator(path[cut - 1]))
        --cut;
    if (cut == 0)
        return false;
    WString folder(path, cut - 1);
    folder += TEXT("\\Temp");
    return TryUseTempFolder(folder.c_str(), markerName);
}

}  // namespace

WString TempFolderMarkerName(DWORD processId) {
    return kvwin::Format(kMarkerFormat, static_cast<int>(processId));
}

void InitProcessTempFolder() noexcept {
    try {
        WCHAR marker[64] = {};
        kvwin::FormatTo(marker, kMarkerFormat, static_cast<int>(GetCurrentProcessId()));
        if (MarkerIsSet(marker))
            return;
        if (TryUserTempFolder(marker) || TryCommonAppDataFolder(marker))
            return;
        TryExecutableFolder(marker);
    } catch (...) {
        // Nothing fails the load: TEMP and TMP stay as they were.
    }
}

bool TryUseTempFolder(const WCHAR* folder, const WCHAR* markerName) {
    if (!folder || !*folder || !markerName || !*markerName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    WCHAR testFile[kPathChars] = {};
    if (kvwin::FormatTo(testFile, TEXT("%s\\%s.tmp"), folder, markerName) < 0) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    const auto openTestFile = [&testFile] {
        return CreateFileW(testFile, GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    };
    // The folder is made only when the open finds it missing: it usually exists (the temp
    // path's own call makes it), and the open tells so without a look of its own.
    HANDLE handle = openTestFile();
    if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND) {
        const TempFolderDescriptor descriptor;
        SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), descriptor.get(), FALSE};
        CreateDirectoryPath(folder, &attributes, LogSuppress);
        handle = openTestFile();
    }
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    g_testFiles.Keep(handle);
    SetEnvironmentVariableW(TEXT("TEMP"), folder);
    SetEnvironmentVariableW(TEXT("TMP"), folder);
    SetEnvironmentVariableW(markerName, kMarkerSet);
    return true;
}

WString GetWorkingTempPath() {
    WCHAR path[MAX_PATH] = {};
    const DWORD length = GetTempPathW(MAX_PATH, path);
    if (length == 0 || length >= MAX_PATH) {
        DWORD error = GetLastError();
        if (error == ERROR_SUCCESS)
            error = ERROR_INSUFFICIENT_BUFFER;  // too long: GetTempPathW reports only the size
        ThrowComErrorWithSystemText(HRESULT_FROM_WIN32(error), error, TEXT("Can't find temp path"));
    }
    CreateDirectoryPath(path, TempFolderSecuritySingleton::Instance().Attributes(), LogSuppress);
    return WString(path, length);
}
