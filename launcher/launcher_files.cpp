// The launcher's files, command line and path, as both sides build them.
#include "launcher/launcher_files.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#endif

#include "files/module_paths.h"
#include "files/path_text.h"
#include "kvwin/format.h"
#include "kvwin/wide_string.h"
#include "win/files.h"
#include "win/modules.h"

#ifndef _WIN32
#include "kvwin/last_error.h"
#include "kvwin/safe_open.h"
#include "kvwin/state_root.h"
#endif

namespace {

constexpr size_t kCommandLineChars = 8192;

#ifndef _WIN32
// The folder `path` sits in, opened without following another user's link, and its name.
kvwin::UniqueFd OpenParentOf(const WString& path, std::string& leaf) {
    std::string native;
    if (!kvwin::ToNativePath(path, native))
        return kvwin::UniqueFd();
    while (native.size() > 1 && native.back() == '/')
        native.pop_back();
    kvwin::UniqueFd parent = kvwin::OpenParentSafely(native, leaf);
    if (!parent.valid())
        kvwin::FailWithErrno();
    return parent;
}
#endif

}  // namespace

WString LauncherInputFileName(const WString& identifier) {
    return kvwin::Format(TEXT("WmiInput_%s.xml"), identifier.c_str());
}

WString LauncherOutputFileName(const WString& identifier) {
    return kvwin::Format(TEXT("WmiOutput_%s.xml"), identifier.c_str());
}

WString LauncherCommandLine(const WString& folder, const WString& identifier) {
    WCHAR text[kCommandLineChars];
    kvwin::FormatTo(text, kCommandLineChars, TEXT("-d \"%s\" -id %s"), folder.c_str(),
                    identifier.c_str());
    return text;
}

WString LauncherPath() {
    // Beside the agent module that loaded us; failing that, beside the host executable.
    const HMODULE agentModule = GetModuleHandleW(TEXT("Colvane.dll"));
    return CombinePath(GetModuleFolder(agentModule), kLauncherExecutableName);
}

#ifdef _WIN32
// On Windows the user's temp folder is the user's alone (its ACL admits the user, the system
// and administrators), and what is made in it inherits that; a new name is never a link
// another user could have planted there.
bool CreateLauncherFolder(const WString& tempFolder, const WString& identifier, WString& folder) {
    folder = CombinePath(tempFolder, TEXT("Lumbrik_") + identifier);
    return CreateDirectoryW(folder.c_str(), nullptr) != FALSE;
}

bool CreatePrivateFile(const WString& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

bool IsOwnRegularFile(const WString& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}
#else
// Here the temp folder's parent may be shared: each step opens the folder it works in
// without following a link another user planted, creates exclusively, and reads only a
// regular file that the launcher's user owns.
bool CreateLauncherFolder(const WString& tempFolder, const WString& identifier, WString& folder) {
    folder = CombinePath(tempFolder, TEXT("Lumbrik_") + identifier);
    std::string leaf;
    const kvwin::UniqueFd parent = OpenParentOf(folder, leaf);
    if (!parent.valid())
        return false;
    if (!kvwin::MakeFolderAt(parent.get(), leaf, 0700, false).valid())
        return kvwin::FailWithErrno();
    return true;
}

bool CreatePrivateFile(const WString& path) {
    std::string leaf;
    const kvwin::UniqueFd parent = OpenParentOf(path, leaf);
    if (!parent.valid())
        return false;
    if (!kvwin::OpenFileAt(parent.get(), leaf, O_WRONLY | O_CREAT | O_EXCL, 0600).valid())
        return kvwin::FailWithErrno();
    return true;
}

bool IsOwnRegularFile(const WString& path) {
    std::string leaf;
    const kvwin::UniqueFd parent = OpenParentOf(path, leaf);
    if (!parent.valid())
        return false;
    struct stat st {};
    return ::fstatat(parent.get(), leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(st.st_mode) && st.st_uid == kvwin::FileSystemUser();
}
#endif
