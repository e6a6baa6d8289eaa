// The launcher's files, command line and path, as both sides build them.
#include "launcher/launcher_files.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "files/module_paths.h"
#include "files/path_text.h"
#include "kvwin/format.h"
#include "kvwin/last_error.h"
#include "kvwin/safe_open.h"
#include "kvwin/state_root.h"
#include "kvwin/wide_string.h"
#include "win/modules.h"

namespace {

constexpr size_t kCommandLineChars = 8192;

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
