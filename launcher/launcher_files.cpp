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
#include "win/modules.h"

namespace {

constexpr size_t kCommandLineChars = 8192;

// The folder `path` sits in, opened without following another user's link, and its name.
kvwin::UniqueFd OpenParentOf(const std::u16string& path, std::string& leaf) {
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

std::u16string LauncherInputFileName(const std::u16string& identifier) {
    return kvwin::Format(u"WmiInput_%s.xml", identifier.c_str());
}

std::u16string LauncherOutputFileName(const std::u16string& identifier) {
    return kvwin::Format(u"WmiOutput_%s.xml", identifier.c_str());
}

std::u16string LauncherCommandLine(const std::u16string& folder, const std::u16string& identifier) {
    WCHAR text[kCommandLineChars];
    kvwin::FormatTo(text, kCommandLineChars, u"-d \"%s\" -id %s", folder.c_str(),
                    identifier.c_str());
    return text;
}

std::u16string LauncherPath() {
    // Beside the agent module that loaded us; failing that, beside the host executable.
    const HMODULE agentModule = GetModuleHandleW(u"Colvane.dll");
    return CombinePath(GetModuleFolder(agentModule), kLauncherExecutableName);
}

bool CreateLauncherFolder(const std::u16string& tempFolder, const std::u16string& identifier,
                          std::u16string& folder) {
    folder = CombinePath(tempFolder, u"Lumbrik_" + identifier);
    std::string leaf;
    const kvwin::UniqueFd parent = OpenParentOf(folder, leaf);
    if (!parent.valid())
        return false;
    if (!kvwin::MakeFolderAt(parent.get(), leaf, 0700, false).valid())
        return kvwin::FailWithErrno();
    return true;
}

bool CreatePrivateFile(const std::u16string& path) {
    std::string leaf;
    const kvwin::UniqueFd parent = OpenParentOf(path, leaf);
    if (!parent.valid())
        return false;
    if (!kvwin::OpenFileAt(parent.get(), leaf, O_WRONLY | O_CREAT | O_EXCL, 0600).valid())
        return kvwin::FailWithErrno();
    return true;
}

bool IsOwnRegularFile(const std::u16string& path) {
    std::string leaf;
    const kvwin::UniqueFd parent = OpenParentOf(path, leaf);
    if (!parent.valid())
        return false;
    struct stat st {};
    return ::fstatat(parent.get(), leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(st.st_mode) && st.st_uid == kvwin::FileSystemUser();
}
