#include "files/path_text.h"

namespace {

bool IsUncPath(std::u16string_view path) {
    return path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1]);
}

bool StartsWithDrive(std::u16string_view path) {
    return path.size() >= 2 && path[1] == u':' &&
           ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
}

size_t NextSeparator(std::u16string_view path, size_t from) {
    for (size_t i = from; i < path.size(); ++i) {
        if (IsPathSeparator(path[i]))
            return i;
    }
    return path.size();
}

// The last separator at or after `from` that a character follows; npos when there is none.
size_t LastSplitPoint(std::u16string_view path, size_t from) {
    for (size_t i = path.size(); i-- > from;) {
        if (IsPathSeparator(path[i]) && i + 1 < path.size())
            return i;
    }
    return std::u16string_view::npos;
}

}  // namespace

size_t GetPathRootEnd(std::u16string_view path, bool keepSeparator) {
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

std::u16string GetFileNamePart(std::u16string_view path) {
    const size_t rootEnd = GetPathRootEnd(path, false);
    const size_t split = LastSplitPoint(path, rootEnd);
    if (split == std::u16string_view::npos)
        return std::u16string(path.substr(rootEnd));
    return std::u16string(path.substr(split + 1));
}

std::u16string GetParentFolder(std::u16string_view path) {
    const size_t split = LastSplitPoint(path, GetPathRootEnd(path, false));
    if (split == std::u16string_view::npos)
        return std::u16string(path.substr(0, GetPathRootEnd(path, true)));
    return std::u16string(path.substr(0, split));
}

std::u16string CombinePath(std::u16string_view folder, std::u16string_view name) {
    if (name.empty())
        return std::u16string(folder);
    if (folder.empty() || IsUncPath(name) || StartsWithDrive(name))
        return std::u16string(name);
    std::u16string joined;
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
    if (!IsPathSeparator(joined.back()) && joined.back() != u':')
        joined += u'\\';
    joined += name;
    return joined;
}

void EnsureTrailingSeparator(std::u16string& path) {
    if (!path.empty() && !IsPathSeparator(path.back()))
        path += u'\\';
}

void RemoveTrailingSeparator(std::u16string& path) {
    if (!path.empty() && IsPathSeparator(path.back()))
        path.pop_back();
}
