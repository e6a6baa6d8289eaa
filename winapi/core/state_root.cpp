// The state root, the drive table and the mapping of Windows paths to native ones.
#include "kvwin/state_root.h"

#include <unistd.h>

#include <algorithm>
#include <optional>

#include "../security/accounts.h"
#include "kvwin/ascii_case.h"
#include "kvwin/environment_lock.h"
#include "kvwin/utf.h"
#include "win/handles.h"

namespace kvwin {

namespace {

std::string TrimTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string HomeDirectory() {
    if (auto home = GetEnvUtf8("HOME"); home && !home->empty())
        return *home;
    if (auto account = kvwin::FindUser(::geteuid()); account && !account->home.empty())
        return account->home;
    return "/tmp";
}

bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

}  // namespace

std::string StateRoot() {
    if (auto root = GetEnvUtf8("KAVREL_ROOT"); root && !root->empty()) {
        return TrimTrailingSlashes(*root);
    }
    if (::geteuid() == 0)
        return "/var/lib/kavrel";
    if (auto xdg = GetEnvUtf8("XDG_DATA_HOME"); xdg && !xdg->empty() && (*xdg)[0] == '/') {
        return TrimTrailingSlashes(*xdg) + "/kavrel";
    }
    return TrimTrailingSlashes(HomeDirectory()) + "/.local/share/kavrel";
}

std::string RegistryDirectory() {
    return StateRoot() + "/registry";
}

std::string NamedObjectDirectory() {
    return StateRoot() + "/objects";
}

namespace {

// The folder drive `letter` (upper case) maps to, as DriveTable lists it; nullopt for none.
std::optional<std::string> DriveFolder(char letter) {
    if (letter == 'C')
        return StateRoot();
    std::string name = "KAVREL_DRIVE_";
    name.push_back(letter);
    if (auto folder = GetEnvUtf8(name); folder && !folder->empty() && (*folder)[0] == '/')
        return TrimTrailingSlashes(*folder);
    return std::nullopt;
}

}  // namespace

std::vector<DriveMapping> DriveTable() {
    std::vector<DriveMapping> drives;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        if (std::optional<std::string> folder = DriveFolder(letter))
            drives.push_back({letter, std::move(*folder)});
    }
    return drives;
}

bool ToNativePath(std::u16string_view path, std::string& native) {
    if (path.starts_with(u"\\\\?\\UNC\\")) {
        SetLastError(ERROR_BAD_NETPATH);
        return false;
    }
    if (path.starts_with(u"\\\\?\\") || path.starts_with(u"\\\\.\\")) {
        path.remove_prefix(4);
    } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        SetLastError(ERROR_BAD_NETPATH);
        return false;
    }

    std::string prefix;
    // A drive letter is ASCII: compared without the C library's character tables, which
    // nothing else a process does at load reads.
    if (path.size() >= 2 && path[1] == u':' && IsAsciiLetter(path[0])) {
        // Only the path's own drive is looked up, not the whole table.
        std::optional<std::string> folder = DriveFolder(static_cast<char>(AsciiUpper(path[0])));
        if (!folder) {
            SetLastError(ERROR_INVALID_DRIVE);
            return false;
        }
        prefix = *folder == "/" ? "" : std::move(*folder);
        path.remove_prefix(2);
        // "C:" alone and "C:x" (drive-relative) both mean the drive's root folder here.
        if (path.empty() || !IsSeparator(path[0]))
            prefix.push_back('/');
    }

    std::string rest = ToUtf8(path);
    std::replace(rest.begin(), rest.end(), '\\', '/');
    native = prefix + rest;
    if (native.empty() && !prefix.empty())
        native = "/";
    return true;
}

std::u16string FromNativePath(std::string_view native) {
    std::string best_folder;
    char best_letter = 0;
    for (const DriveMapping& drive : DriveTable()) {
        const std::string& folder = drive.folder;
        const bool under =
            native == folder || (native.size() > folder.size() && native.starts_with(folder) &&
                                 (native[folder.size()] == '/' || folder == "/"));
        if (under && folder.size() > best_folder.size()) {
            best_folder = folder;
            best_letter = drive.letter;
        }
    }
    if (!best_letter)
        return FromUtf8(native);
    std::string rest(native.substr(best_folder == "/" ? 0 : best_folder.size()));
    std::replace(rest.begin(), rest.end(), '/', '\\');
    if (rest.empty())
        rest = "\\";
    std::u16string out;
    out.push_back(static_cast<char16_t>(best_letter));
    out.push_back(u':');
    return out + FromUtf8(rest);
}

std::string DescribeStateLocations() {
    std::string text;
    const auto root_var = GetEnvUtf8("KAVREL_ROOT");
    text += "state root:     " + StateRoot() +
            (root_var && !root_var->empty() ? "  (from KAVREL_ROOT)\n" : "  (default)\n");
    text += "registry:       " + RegistryDirectory() + "\n";
    text += "named objects:  " + NamedObjectDirectory() + "\n";
    for (const DriveMapping& drive : DriveTable()) {
        text += std::string("drive ") + drive.letter + ":       " + drive.folder + "\n";
    }
    return text;
}

}  // namespace kvwin
