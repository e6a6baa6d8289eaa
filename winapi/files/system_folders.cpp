// The temporary folder and the Windows folders.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "kvwin/environment_lock.h"
#include "kvwin/last_error.h"
#include "kvwin/safe_open.h"
#include "kvwin/state_root.h"
#include "kvwin/utf.h"
#include "win/files.h"

namespace {

// Copies text with its terminator when it fits; returns the length written, or the size
// needed (terminator included) when it does not.
DWORD CopyOut(const std::u16string& text, LPWSTR buffer, DWORD size) {
    if (!buffer || size <= text.size())
        return static_cast<DWORD>(text.size() + 1);
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = u'\0';
    return static_cast<DWORD>(text.size());
}

std::u16string WithSeparator(std::u16string path) {
    if (path.empty() || (path.back() != u'\\' && path.back() != u'/')) {
        path.push_back(path.find(u'\\') != std::u16string::npos ||
                               path.find(u'/') == std::u16string::npos
                           ? u'\\'
                           : u'/');
    }
    return path;
}

// /tmp and /var/tmp, however written: every user may add to them.
bool IsSharedSystemTemp(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path == "/tmp" || path == "/var/tmp";
}

// <state root>/Temp/<uid>: Temp/ is sticky and open to all, each user's folder is theirs
// alone (0700). A name another user took first is passed over for the next ("<uid>-1", ...),
// so no one can hand a user a folder they do not own. Empty, with the last error, when
// none can be made.
std::u16string PrivateTempFolder() {
    try {
        std::string leaf;
        kvwin::UniqueFd root = kvwin::OpenParentSafely(kvwin::StateRoot() + "/Temp", leaf);
        if (!root.valid() && errno == ENOENT) {
            // A fresh state root: made here as the other parts of the layer make it.
            std::string name;
            const kvwin::UniqueFd above = kvwin::OpenParentSafely(kvwin::StateRoot(), name);
            if (above.valid() && kvwin::MakeFolderAt(above.get(), name, 0755, true).valid())
                root = kvwin::OpenParentSafely(kvwin::StateRoot() + "/Temp", leaf);
        }
        kvwin::UniqueFd temp;
        if (root.valid()) {
            bool created = false;
            temp = kvwin::MakeFolderAt(root.get(), leaf, 01777, true, &created);
        }
        if (!temp.valid() || !kvwin::IsFolderTrusted(temp.get())) {
            kvwin::FailWithErrno(temp.valid() ? EACCES : errno);
            return std::u16string();
        }
        const uid_t me = kvwin::FileSystemUser();
        for (int n = 0; n < 16; ++n) {
            std::string name = std::to_string(me);
            if (n)
                name += "-" + std::to_string(n);
            const kvwin::UniqueFd mine = kvwin::MakeFolderAt(temp.get(), name, 0700, true);
            struct stat st {};
            if (mine.valid() && kvwin::StatDescriptor(mine.get(), &st) == 0 && st.st_uid == me &&
                !(st.st_mode & (S_IRWXG | S_IRWXO))) {
                return kvwin::FromNativePath(kvwin::StateRoot() + "/Temp/" + name);
            }
        }
        kvwin::FailWith(ERROR_ACCESS_DENIED);
    } catch (...) {
        kvwin::FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
    return std::u16string();
}

}  // namespace

extern "C" {

DWORD GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) {
    std::u16string path;
    // Windows' order, then the Linux variable; a variable naming the machine's shared temp
    // folder is passed over, as is none at all: the user's own folder under the state root
    // stands in, as a per-user temp folder does on Windows.
    for (const char* name : {"TMP", "TEMP", "USERPROFILE", "TMPDIR"}) {
        if (auto value = kvwin::GetEnvUtf8(name); value && !value->empty()) {
            if (!IsSharedSystemTemp(*value))
                path = kvwin::FromUtf8(*value);
            break;
        }
    }
    if (path.empty()) {
        path = PrivateTempFolder();
        if (path.empty())
            return 0;
    }
    return CopyOut(WithSeparator(path), lpBuffer, nBufferLength);
}

UINT GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) {
    return CopyOut(u"C:\\Windows", lpBuffer, uSize);
}

UINT GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize) {
    return CopyOut(u"C:\\Windows\\System32", lpBuffer, uSize);
}

}  // extern "C"
