#include "files/path_text.h"
#include "kvwin/wide_string.h"

namespace {

bool IsUncPath(WStringView path) {
    return path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1]);
}

bool StartsWithDrive(WStringView path) {
    return path.size() >= 2 && path[1] == TEXT(':') &&
           ((path[0] >= TEXT('A') && path[0] <= TEXT('Z')) ||
            (path[0] >= TEXT('a') && path[0] <= TEXT('z')));
}

size_t NextSeparator(WStringView path, size_t from) {
    for (size_t i = from; i < path.size(); ++i) {
        if (IsPathSeparator(path[i]))
            return i;
    }
    return path.size();
}

// The last separator at or after `from` that a character follows; npos when there is none.
size_t LastSplitPoint(WStringView path, size_t from) {
    for (size_t i = path.size(); i-- > from;) {
        if (IsPathSeparator(path[i]) && i + 1 < path.size())
            return i;
    }
    return WStringView::npos;
}

}  // namespace

size_t GetPathRootEnd(WStringView path, bool keepSeparator) {
    size_t end = 0;
    if (IsUncPath(path)) {
        const size_t serverEnd = NextSeparator(path, 2);
        end = serverEnd < path.size() ? NextSeparator(path, serverEnd + 1) : path.size();
    } else if (StartsWithDrive(path)) {
        end = path.size() > 2 && IsPathSeparator(path[2]) ? 3 : 2;
    } else if (!path.empty() && IsPathSeparator(path[0])) {
        end = 1;
    }
    if (!keepSeparator && end < path.size() && IsPathSeparator(path[end]))
        ++end;
    return end;
}

WString GetFileNamePart(WStringView path) {
    const size_t rootEnd = GetPathRootEnd(path, false);
    const size_t split = LastSplitPoint(path, rootEnd);
    if (split == WStringView::npos)
        return WString(path.substr(rootEnd));
    return WString(path.substr(split + 1));
}

WString GetParentFolder(WStringView path) {
    const size_t split = LastSplitPoint(path, GetPathRootEnd(path, false));
    if (split == WStringView::npos)
        return WString(path.substr(0, GetPathRootEnd(path, true)));
    return WString(path.substr(0, split));
}

WString CombinePath(WStringView folder, WStringView name) {
    if (name.empty())
        return WString(folder);
    if (folder.empty() || IsUncPath(name) || StartsWithDrive(name))
        return WString(name);
    WString joined;
    if (IsPathSeparator(name[0])) {
        joined = folder.substr(0, GetPathRootEnd(folder, false));
        // A root that ends in a separator takes the name without its own; a root without
        // one ("C:", "\\server\share", none at all) keeps the name's.
        if (!joined.empty() && IsPathSeparator(joined.back()))
            name.remove_prefix(1);
        joined += name;
        return joined;
    }
    joined = folder;
    if (!IsPathSeparator(joined.back()) && joined.back() != TEXT(':'))
        joined += TEXT('\\');
    joined += name;
    return joined;
}

void EnsureTrailingSeparator(WString& path) {
    if (!path.empty() && !IsPathSeparator(path.back()))
        path += TEXT('\\');
}

void RemoveTrailingSeparator(WString& path) {
    if (!path.empty() && IsPathSeparator(path.back()))
        path.pop_back();
}
