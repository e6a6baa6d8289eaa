#include "native_path.h"

#include <sys/stat.h>

#include "kvwin/state_root.h"
#include "kvwin/utf.h"
#include "win/handles.h"

namespace kvwin {

bool NativeFileName(LPCWSTR name, std::string& native) {
    if (!name || !*name) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    if (!ToNativePath(WideView(name), native))
        return false;
    // Windows ignores trailing separators on folder names; keep "/" itself.
    while (native.size() > 1 && native.back() == '/')
        native.pop_back();
    return true;
}

std::string ParentFolder(const std::string& native) {
    const size_t slash = native.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return native.substr(0, slash);
}

DWORD MissingFileError(const std::string& native) {
    struct stat st {};
    const std::string parent = ParentFolder(native);
    if (::stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return ERROR_PATH_NOT_FOUND;
    return ERROR_FILE_NOT_FOUND;
}

std::string LastComponent(const std::string& native) {
    const size_t slash = native.rfind('/');
    return slash == std::string::npos ? native : native.substr(slash + 1);
}

}  // namespace kvwin
