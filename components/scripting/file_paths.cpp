// Path text, error numbers and argument reading for Scripting.FileSystemObject.
#include <unistd.h>

#include <climits>
#include <cmath>
#include <vector>

#include "file_system.h"
#include "kvwin/state_root.h"
#include "kvwin/utf.h"
#include "win/systime.h"

namespace kvscripting {

std::u16string_view ErrorText(HRESULT code) {
    switch (code) {
        case kInvalidArgument:
            return u"Invalid procedure call or argument";
        case kOutOfMemory:
            return u"Out of memory";
        case kFileNotFound:
            return u"File not found";
        case kBadFileMode:
            return u"Bad file mode";
        case kFileExists:
            return u"File already exists";
        case kInputPastEnd:
            return u"Input past end of file";
        case kDeviceUnavailable:
            return u"Device unavailable";
        case kPermissionDenied:
            return u"Permission denied";
        case kPathFileAccess:
            return u"Path/File access error";
        case kPathNotFound:
            return u"Path not found";
        default:
            return u"";
    }
}

HRESULT FailWith(kvwin::DispatchCall& call, HRESULT code) {
    return call.Fail(code, std::u16string(ErrorText(code)));
}

HRESULT FailWithLastError(kvwin::DispatchCall& call, DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
            return FailWith(call, kFileNotFound);
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_NETPATH:
            return FailWith(call, kPathNotFound);
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_DIR_NOT_EMPTY:
            return FailWith(call, kPermissionDenied);
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return FailWith(call, kFileExists);
        case ERROR_INVALID_DRIVE:
            return FailWith(call, kDeviceUnavailable);
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return FailWith(call, kOutOfMemory);
        default:
            return FailWith(call, kPathFileAccess);
    }
}

namespace {

const VARIANT* Deref(const VARIANT* v) {
    while (v && (v->vt & VT_BYREF) && (v->vt & ~VT_BYREF) == VT_VARIANT && v->pvarVal)
        v = v->pvarVal;
    return v;
}

bool Coerce(const VARIANT* v, VARTYPE vt, VARIANT& out) {
    VariantInit(&out);
    return v && SUCCEEDED(VariantChangeType(&out, v, 0, vt));
}

}  // namespace

bool ArgText(const kvwin::DispatchCall& call, UINT i, std::u16string& text) {
    const VARIANT* v = Deref(call.Arg(i));
    VARIANT out;
    if (!v || v->vt == VT_NULL || !Coerce(v, VT_BSTR, out))
        return false;
    text.assign(out.bstrVal ? out.bstrVal : u"", out.bstrVal ? SysStringLen(out.bstrVal) : 0);
    VariantClear(&out);
    return true;
}

bool ArgLong(const kvwin::DispatchCall& call, UINT i, long fallback, long& value) {
    const VARIANT* v = Deref(call.Arg(i));
    if (!v || v->vt == VT_EMPTY) {
        value = fallback;
        return true;
    }
    VARIANT out;
    if (!Coerce(v, VT_I4, out))
        return false;
    value = out.lVal;
    return true;
}

bool ArgBool(const kvwin::DispatchCall& call, UINT i, bool fallback, bool& value) {
    long n = 0;
    if (!ArgLong(call, i, fallback ? -1 : 0, n))
        return false;
    value = n != 0;
    return true;
}

bool PutLong(const kvwin::DispatchCall& call, long& value) {
    VARIANT out;
    if (!Coerce(Deref(call.PutValue()), VT_I4, out))
        return false;
    value = out.lVal;
    return true;
}

// ---- paths ----------------------------------------------------------------------------------

namespace {

bool HasDriveLetter(std::u16string_view path) {
    return path.size() >= 2 && path[1] == u':' &&
           ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
}

std::u16string CurrentFolder() {
    std::vector<char> buffer(PATH_MAX + 1);
    if (!getcwd(buffer.data(), buffer.size()))
        return u"/";
    return kvwin::FromNativePath(buffer.data());
}

}  // namespace

char16_t SeparatorOf(std::u16string_view path) {
    return !path.empty() && path[0] == u'/' ? u'/' : u'\\';
}

std::u16string DriveName(std::u16string_view path) {
    if (!HasDriveLetter(path))
        return u"";
    return {char16_t(path[0] & ~0x20), u':'};  // upper case, as Windows answers
}

std::u16string AbsolutePath(std::u16string_view path) {
    std::u16string full;
    if (HasDriveLetter(path)) {
        full = path;
        if (full.size() == 2 || !IsSeparator(full[2]))
            full.insert(2, 1, u'\\');
    } else if (path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\') {
        return std::u16string(path);  // a network path; the layer refuses it where used
    } else if (!path.empty() && path[0] == u'/') {
        full = path;
    } else {
        std::u16string current = CurrentFolder();
        if (!path.empty() && path[0] == u'\\')
            full = DriveName(current) + std::u16string(path);
        else
            full = JoinPath(current, path);
    }
    // Split into a root and components; resolve "." and "..".
    std::u16string root;
    size_t start = 0;
    if (HasDriveLetter(full)) {
        root = DriveName(full) + u"\\";
        start = 3;
    } else {
        root = u"/";
        start = 1;
    }
    const char16_t sep = root == u"/" ? u'/' : u'\\';
    std::vector<std::u16string> parts;
    size_t i = start;
    while (i <= full.size()) {
        size_t j = i;
        while (j < full.size() && !IsSeparator(full[j]))
            ++j;
        std::u16string part = full.substr(i, j - i);
        if (part == u"..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != u".") {
            parts.push_back(std::move(part));
        }
        i = j + 1;
    }
    std::u16string out = root;
    for (size_t k = 0; k < parts.size(); ++k) {
        if (k)
            out += sep;
        out += parts[k];
    }
    return out;
}

bool EndsWithSeparator(std::u16string_view path) {
    return !path.empty() && IsSeparator(path.back());
}

std::u16string FileNamePart(std::u16string_view path) {
    size_t end = path.size();
    while (end > 0 && IsSeparator(path[end - 1]))
        --end;
    size_t begin = end;
    while (begin > 0 && !IsSeparator(path[begin - 1]) && !(begin == 2 && path[1] == u':'))
        --begin;
    return std::u16string(path.substr(begin, end - begin));
}

std::u16string ParentPart(std::u16string_view path) {
    size_t end = path.size();
    while (end > 0 && IsSeparator(path[end - 1]))
        --end;
    const size_t name_end = end;
    while (end > 0 && !IsSeparator(path[end - 1]) && !(end == 2 && path[1] == u':'))
        --end;
    if (end == 0 || end == name_end)  // no parent, or the path is a root
        return u"";
    // Drop the separators before the name, but keep a root's ("C:\", "/").
    size_t keep = end;
    while (keep > 0 && IsSeparator(path[keep - 1]))
        --keep;
    if (keep == 0 || (keep == 2 && path[1] == u':'))
        keep = end;
    return std::u16string(path.substr(0, keep));
}

std::u16string JoinPath(std::u16string_view base, std::u16string_view name) {
    std::u16string out(base);
    if (out.empty())
        return std::u16string(name);
    if (name.empty())
        return out;
    const bool base_sep = IsSeparator(out.back());
    const bool name_sep = IsSeparator(name.front());
    if (base_sep && name_sep)
        out.pop_back();
    else if (!base_sep && !name_sep && !(out.size() == 2 && out[1] == u':'))
        out += SeparatorOf(base);
    out += name;
    return out;
}

bool HasWildcard(std::u16string_view name) {
    return name.find_first_of(u"*?") != std::u16string_view::npos;
}

// ---- file facts -----------------------------------------------------------------------------

DWORD AttributesOf(std::u16string_view path) {
    std::u16string text(path);
    return GetFileAttributesW(text.c_str());
}

bool FindEntry(std::u16string_view path, WIN32_FIND_DATAW& entry) {
    std::u16string text(path);
    while (text.size() > 1 && IsSeparator(text.back()) && !(text.size() == 3 && text[1] == u':'))
        text.pop_back();
    if (HasWildcard(FileNamePart(text)))
        return false;
    HANDLE find = FindFirstFileW(text.c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    FindClose(find);
    return true;
}

void ForEachEntry(const std::u16string& pattern,
                  const std::function<void(const WIN32_FIND_DATAW&)>& visit) {
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(pattern.c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return;
    struct Closer {
        HANDLE find;
        ~Closer() { FindClose(find); }
    } closer{find};
    do {
        const std::u16string_view name(entry.cFileName);
        if (name != u"." && name != u"..")
            visit(entry);
    } while (FindNextFileW(find, &entry));
}

double DateFromFileTime(const FILETIME& time) {
    FILETIME local{};
    if (!FileTimeToLocalFileTime(&time, &local))
        local = time;
    const unsigned long long ticks =
        (static_cast<unsigned long long>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
    // Days since 1601-01-01, moved to the automation epoch 1899-12-30 (109205 days later).
    const double days = static_cast<double>(ticks) / 864000000000.0 - 109205.0;
    if (days >= 0)
        return days;
    // Before the epoch the day counts down and its time of day still counts up.
    const double day = std::floor(days);
    return day - (days - day);
}

}  // namespace kvscripting
