// Scripting.FileSystemObject: paths, existence checks, the objects for files, folders and
// drives, and the copy, move, delete and create operations.
//
// Name operations (GetFileName, GetParentFolderName, BuildPath, ...) work on the text alone,
// as on Windows. Operations that take a file pattern accept '*' and '?' in its last
// component. Folder trees are walked at most kMaxDepth folders deep; deeper folders fail the
// call with "Path/File access error" rather than recursing further.
#include <random>
#include <vector>

#include "file_system.h"
#include "kvwin/state_root.h"
#include "kvwin/utf.h"
#include "win/version.h"

namespace kvscripting {
namespace {

constexpr WORD kGet = DISPATCH_PROPERTYGET;
constexpr WORD kMethod = DISPATCH_METHOD;
constexpr int kMaxDepth = 64;

constexpr auto& ReturnBool = kvwin::SetVariantBool;

bool IsFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}
bool IsFile(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The paths a pattern names: itself, or the matches of a wildcard in its last part.
// `folders` picks folders or files. Returns false with the error to raise when nothing matches.
bool Expand(const std::u16string& pattern, bool folders, std::vector<std::u16string>& paths,
            HRESULT& error) {
    const std::u16string full = AbsolutePath(pattern);
    const HRESULT missing = folders ? kPathNotFound : kFileNotFound;
    if (!HasWildcard(FileNamePart(full))) {
        DWORD a = AttributesOf(full);
        if (folders ? !IsFolder(a) : !IsFile(a)) {
            error = missing;
            return false;
        }
        paths.push_back(full);
        return true;
    }
    const std::u16string parent = ParentPart(full);
    if (!IsFolder(AttributesOf(parent))) {
        error = kPathNotFound;
        return false;
    }
    ForEachEntry(full, [&](const WIN32_FIND_DATAW& entry) {
        if (((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == folders)
            paths.push_back(JoinPath(parent, entry.cFileName));
    });
    if (paths.empty()) {
        error = missing;
        return false;
    }
    return true;
}

// The target of a copy or move of `source`: into `destination` when it ends with a separator
// or the source named several entries, otherwise `destination` itself.
std::u16string TargetOf(const std::u16string& source, const std::u16string& destination,
                        bool into) {
    if (into)
        return JoinPath(AbsolutePath(destination), FileNamePart(source));
    return AbsolutePath(destination);
}

HRESULT DeleteOneFile(const std::u16string& path, bool force) {
    DWORD a = AttributesOf(path);
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY)) {
        if (!force)
            return kPermissionDenied;
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    if (!DeleteFileW(path.c_str()))
        return HRESULT_FROM_WIN32(GetLastError());
    return S_OK;
}

HRESULT DeleteTree(const std::u16string& folder, bool force, int depth) {
    if (depth > kMaxDepth)
        return kPathFileAccess;
    std::vector<std::pair<std::u16string, DWORD>> entries;
    ForEachEntry(JoinPath(folder, u"*"), [&](const WIN32_FIND_DATAW& entry) {
        entries.emplace_back(JoinPath(folder, entry.cFileName), entry.dwFileAttributes);
    });
    for (const auto& [path, attributes] : entries) {
        HRESULT hr;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            hr = DeleteTree(path, force, depth + 1);
        else if (attributes & FILE_ATTRIBUTE_DIRECTORY)  // a link to a folder: the link goes
            hr = DeleteFileW(path.c_str()) ? S_OK : HRESULT_FROM_WIN32(GetLastError());
        else
            hr = DeleteOneFile(path, force);
        if (FAILED(hr))
            return hr;
    }
    if (!RemoveDirectoryW(folder.c_str()))
        return HRESULT_FROM_WIN32(GetLastError());
    return S_OK;
}

HRESULT CopyOneFile(const std::u16string& from, const std::u16string& to, bool overwrite) {
    DWORD a = AttributesOf(to);
    if (IsFolder(a))
        return kPermissionDenied;
    if (a != INVALID_FILE_ATTRIBUTES) {
        if (!overwrite)
            return kFileExists;
        if (a & FILE_ATTRIBUTE_READONLY)
            return kPermissionDenied;
    }
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE))
        return HRESULT_FROM_WIN32(GetLastError());
    return S_OK;
}

HRESULT CopyTree(const std::u16string& from, const std::u16string& to, bool overwrite, int depth) {
    if (depth > kMaxDepth)
        return kPathFileAccess;
    DWORD a = AttributesOf(to);
    if (IsFile(a))
        return kFileExists;
    if (a == INVALID_FILE_ATTRIBUTES && !CreateDirectoryW(to.c_str(), nullptr))
        return HRESULT_FROM_WIN32(GetLastError());
    std::vector<std::pair<std::u16string, bool>> entries;
    ForEachEntry(JoinPath(from, u"*"), [&](const WIN32_FIND_DATAW& entry) {
        entries.emplace_back(entry.cFileName,
                             (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    });
    for (const auto& [name, folder] : entries) {
        HRESULT hr = folder
                         ? CopyTree(JoinPath(from, name), JoinPath(to, name), overwrite, depth + 1)
                         : CopyOneFile(JoinPath(from, name), JoinPath(to, name), overwrite);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

// Fails the call with hr: a script error code as it is, a Win32 one through the table.
HRESULT Raise(kvwin::DispatchCall& call, HRESULT hr) {
    if (HRESULT_FACILITY(hr) == FACILITY_WIN32)
        return FailWithLastError(call, DWORD(HRESULT_CODE(hr)));
    if (hr == E_OUTOFMEMORY)
        return FailWith(call, kOutOfMemory);
    return FailWith(call, hr);
}

// ---- the operations, shared with File and Folder --------------------------------------------

// DeleteFile and DeleteFolder: every file, or every folder with its tree, that the pattern
// names; read-only files only when forced.
HRESULT DeleteMatches(kvwin::DispatchCall& call, bool folders) {
    std::u16string pattern;
    bool force = false;
    if (!ArgText(call, 0, pattern) || !ArgBool(call, 1, false, force))
        return FailWith(call, kInvalidArgument);
    std::vector<std::u16string> paths;
    HRESULT error = S_OK;
    if (!Expand(pattern, folders, paths, error))
        return FailWith(call, error);
    for (const auto& p : paths) {
        if (folders && FileNamePart(p).empty())
            return FailWith(call, kPermissionDenied);  // never a whole drive
        HRESULT hr = folders ? DeleteTree(p, force, 0) : DeleteOneFile(p, force);
        if (FAILED(hr))
            return Raise(call, hr);
    }
    return S_OK;
}

HRESULT DeleteFileOp(kvwin::DispatchCall& call) {
    return DeleteMatches(call, false);
}
HRESULT DeleteFolderOp(kvwin::DispatchCall& call) {
    return DeleteMatches(call, true);
}

HRESULT CopyOrMove(kvwin::DispatchCall& call, bool folders, bool move) {
    std::u16string source, destination;
    bool overwrite = true;
    if (!ArgText(call, 0, source) || !ArgText(call, 1, destination) ||
        (!move && !ArgBool(call, 2, true, overwrite)))
        return FailWith(call, kInvalidArgument);
    std::vector<std::u16string> paths;
    HRESULT error = S_OK;
    if (!Expand(source, folders, paths, error))
        return FailWith(call, error);
    const bool into = EndsWithSeparator(destination) || HasWildcard(FileNamePart(source));
    if (into && !IsFolder(AttributesOf(AbsolutePath(destination))))
        return FailWith(call, kPathNotFound);
    for (const auto& p : paths) {
        const std::u16string target = TargetOf(p, destination, into);
        HRESULT hr = S_OK;
        if (move) {
            if (AttributesOf(target) != INVALID_FILE_ATTRIBUTES)
                return FailWith(call, kFileExists);
            if (!MoveFileExW(p.c_str(), target.c_str(), MOVEFILE_COPY_ALLOWED))
                hr = HRESULT_FROM_WIN32(GetLastError());
        } else if (folders) {
            if (target == p || target.starts_with(p + SeparatorOf(p)))
                return FailWith(call, kPermissionDenied);  // a folder into itself
            hr = CopyTree(p, target, overwrite, 0);
        } else {
            hr = CopyOneFile(p, target, overwrite);
        }
        if (FAILED(hr))
            return Raise(call, hr);
    }
    return S_OK;
}

class FileSystem final : public kvwin::DispatchObject<FileSystem, IDispatch> {
  public:
    std::u16string_view TypeName() const override { return u"FileSystemObject"; }
    static std::span<const kvwin::DispatchMember<FileSystem>> DispatchMembers();
    std::u16string_view ErrorSource() const override { return u"Microsoft VBScript runtime error"; }

    template <HRESULT (*Op)(kvwin::DispatchCall&)>
    static HRESULT Run(FileSystem&, kvwin::DispatchCall& call) {
        return Op(call);
    }
    template <std::u16string (*Part)(std::u16string_view)>
    static HRESULT NamePart(FileSystem&, kvwin::DispatchCall& call) {
        std::u16string path;
        if (!ArgText(call, 0, path))
            return kvwin::SetVariantText(call.Result(), u"");
        return kvwin::SetVariantText(call.Result(), Part(path));
    }
    static HRESULT Drives(FileSystem&, kvwin::DispatchCall& call) {
        return ReturnDrives(call.Result());
    }
    static HRESULT BuildPath(FileSystem&, kvwin::DispatchCall& call) {
        std::u16string base, name;
        if (!ArgText(call, 0, base) || !ArgText(call, 1, name))
            return FailWith(call, kInvalidArgument);
        return kvwin::SetVariantText(call.Result(), JoinPath(base, name));
    }
    static HRESULT GetTempName(FileSystem&, kvwin::DispatchCall& call) {
        static thread_local std::mt19937 random{std::random_device{}()};
        const char16_t* digits = u"0123456789ABCDEF";
        std::u16string name = u"rad";
        for (int i = 0; i < 5; ++i)
            name += digits[random() % 16];
        return kvwin::SetVariantText(call.Result(), name + u".tmp");
    }
    static HRESULT DriveExists(FileSystem&, kvwin::DispatchCall& call) {
        std::u16string pattern;
        ArgText(call, 0, pattern);
        bool found = false;
        if (!pattern.empty() && (pattern.size() == 1 || pattern[1] == u':')) {
            for (const auto& d : kvwin::DriveTable())
                found = found || d.letter == char(pattern[0] & ~0x20);
        }
        return ReturnBool(call.Result(), found);
    }
    static HRESULT FileExists(FileSystem&, kvwin::DispatchCall& call) {
        std::u16string path;
        return ReturnBool(call.Result(),
                          ArgText(call, 0, path) && !path.empty() && IsFile(AttributesOf(path)));
    }
    static HRESULT FolderExists(FileSystem&, kvwin::DispatchCall& call) {
        std::u16string path;
        return ReturnBool(call.Result(), ArgText(call, 0, path) && !path.empty() &&
                                             IsFolder(AttributesOf(AbsolutePath(path))));
    }
    static HRESULT GetAbsolutePathName(FileSystem&, kvwin::DispatchCall& call) {
        std::u16string path;
        if (!ArgText(call, 0, path))
            return FailWith(call, kInvalidArgument);
        return kvwin::SetVariantText(call.Result(), AbsolutePath(path));
    }
    static HRESULT GetDrive(FileSystem&, kvwin::DispatchCall& call) {
        std::u16string pattern;
        if (!ArgText(call, 0, pattern) || pattern.empty())
            return FailWith(call, kInvalidArgument);
        const char letter = char(pattern[0] & ~0x20);
        if (pattern.size() > 1 && pattern[1] != u':')
            return FailWith(call, kInvalidArgument);
        for (const auto& d : kvwin::DriveTable()) {
            if (d.letter == letter)
                return ReturnDrive(call.Result(), letter);
        }
        return FailWith(call, kDeviceUnavailable);
    }
    static HRESULT GetFile(FileSystem&, kvwin::DispatchCall& call) {
        std::u16string path;
        if (!ArgText(call, 0, path) || path.empty())
            return FailWith(call, kInvalidArgument);
        path = AbsolutePath(path);
        if (!IsFile(AttributesOf(path)))
            return FailWith(call, kFileNotFound);
        return ReturnFile(call.Result(), std::move(path));
    }
    static HRESULT GetFolder(FileSystem&, kvwin::DispatchCall& call) {
        std::u16string path;
        if (!ArgText(call, 0, path) || path.empty())
            return FailWith(call, kInvalidArgument);
        path = AbsolutePath(path);
        if (!IsFolder(AttributesOf(path)))
            return FailWith(call, kPathNotFound);
        return ReturnFolder(call.Result(), std::move(path));
    }
    static HRESULT GetSpecialFolder(FileSystem&, kvwin::DispatchCall& call) {
        long which = 0;
        if (!ArgLong(call, 0, 0, which) || which < 0 || which > 2)
            return FailWith(call, kInvalidArgument);
        WCHAR buffer[MAX_PATH + 1] = {};
        DWORD n = which == 0   ? GetWindowsDirectoryW(buffer, MAX_PATH)
                  : which == 1 ? GetSystemDirectoryW(buffer, MAX_PATH)
                               : GetTempPathW(MAX_PATH, buffer);
        if (n == 0 || n > MAX_PATH)
            return FailWith(call, kPathNotFound);
        std::u16string path = AbsolutePath(std::u16string(buffer, n));
        return ReturnFolder(call.Result(), std::move(path));
    }
    static HRESULT GetFileVersion(FileSystem&, kvwin::DispatchCall& call) {
        std::u16string path;
        if (!ArgText(call, 0, path))
            return FailWith(call, kInvalidArgument);
        path = AbsolutePath(path);
        if (!IsFile(AttributesOf(path)))
            return FailWith(call, kFileNotFound);
        DWORD handle = 0;
        DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
        std::vector<unsigned char> block(size);
        void* fixed = nullptr;
        UINT length = 0;
        if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, block.data()) ||
            !VerQueryValueW(block.data(), u"\\", &fixed, &length) ||
            length < sizeof(VS_FIXEDFILEINFO))
            return kvwin::SetVariantText(call.Result(), u"");  // a file without a version
        const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
        std::string text = std::to_string(info->dwFileVersionMS >> 16) + "." +
                           std::to_string(info->dwFileVersionMS & 0xFFFF) + "." +
                           std::to_string(info->dwFileVersionLS >> 16) + "." +
                           std::to_string(info->dwFileVersionLS & 0xFFFF);
        return kvwin::SetVariantText(call.Result(), kvwin::FromUtf8(text));
    }
    static HRESULT CreateFolder(FileSystem&, kvwin::DispatchCall& call) {
        std::u16string path;
        if (!ArgText(call, 0, path) || path.empty())
            return FailWith(call, kInvalidArgument);
        path = AbsolutePath(path);
        if (AttributesOf(path) != INVALID_FILE_ATTRIBUTES)
            return FailWith(call, kFileExists);
        if (!CreateDirectoryW(path.c_str(), nullptr))
            return FailWithLastError(call, GetLastError());
        return ReturnFolder(call.Result(), std::move(path));
    }
    static HRESULT CreateTextFile(FileSystem&, kvwin::DispatchCall& call) {
        std::u16string path;
        bool overwrite = true, unicode = false;
        if (!ArgText(call, 0, path) || path.empty() || !ArgBool(call, 1, true, overwrite) ||
            !ArgBool(call, 2, false, unicode))
            return FailWith(call, kInvalidArgument);
        return OpenTextStream(call, AbsolutePath(path), IoMode::Writing, true, overwrite,
                              unicode ? Tristate::True : Tristate::False);
    }
    static HRESULT OpenTextFile(FileSystem&, kvwin::DispatchCall& call) {
        std::u16string path;
        long mode = 1, format = 0;
        bool create = false;
        if (!ArgText(call, 0, path) || path.empty() || !ArgLong(call, 1, 1, mode) ||
            !ArgBool(call, 2, false, create) || !ArgLong(call, 3, 0, format))
            return FailWith(call, kInvalidArgument);
        if ((mode != 1 && mode != 2 && mode != 8) || format < -2 || format > 0)
            return FailWith(call, kInvalidArgument);
        return OpenTextStream(call, AbsolutePath(path), IoMode(mode), create, true,
                              Tristate(format));
    }

  private:
    ~FileSystem() override = default;
    ModuleRef module_ref_;
};

std::u16string BaseName(std::u16string_view path) {
    std::u16string name = FileNamePart(path);
    size_t dot = name.rfind(u'.');
    return dot == std::u16string::npos ? name : name.substr(0, dot);
}

std::u16string ExtensionName(std::u16string_view path) {
    std::u16string name = FileNamePart(path);
    size_t dot = name.rfind(u'.');
    return dot == std::u16string::npos ? std::u16string() : name.substr(dot + 1);
}

HRESULT CopyFileOp(kvwin::DispatchCall& call) {
    return CopyOrMove(call, false, false);
}
HRESULT MoveFileOp(kvwin::DispatchCall& call) {
    return CopyOrMove(call, false, true);
}
HRESULT CopyFolderOp(kvwin::DispatchCall& call) {
    return CopyOrMove(call, true, false);
}
HRESULT MoveFolderOp(kvwin::DispatchCall& call) {
    return CopyOrMove(call, true, true);
}

using Fso = FileSystem;
const kvwin::DispatchMember<Fso> kMembers[] = {
    {u"Drives", 10010, kGet, 0, 0, &Fso::Drives},
    {u"BuildPath", 10000, kMethod, 2, 2, &Fso::BuildPath},
    {u"GetDriveName", 10004, kMethod, 1, 1, &Fso::NamePart<DriveName>},
    {u"GetParentFolderName", 10005, kMethod, 1, 1, &Fso::NamePart<ParentPart>},
    {u"GetFileName", 10006, kMethod, 1, 1, &Fso::NamePart<FileNamePart>},
    {u"GetBaseName", 10007, kMethod, 1, 1, &Fso::NamePart<BaseName>},
    {u"GetExtensionName", 10008, kMethod, 1, 1, &Fso::NamePart<ExtensionName>},
    {u"GetAbsolutePathName", 10002, kMethod, 1, 1, &Fso::GetAbsolutePathName},
    {u"GetTempName", 10003, kMethod, 0, 0, &Fso::GetTempName},
    {u"DriveExists", 10015, kMethod, 1, 1, &Fso::DriveExists},
    {u"FileExists", 10016, kMethod, 1, 1, &Fso::FileExists},
    {u"FolderExists", 10017, kMethod, 1, 1, &Fso::FolderExists},
    {u"GetDrive", 10011, kMethod, 1, 1, &Fso::GetDrive},
    {u"GetFile", 10012, kMethod, 1, 1, &Fso::GetFile},
    {u"GetFolder", 10013, kMethod, 1, 1, &Fso::GetFolder},
    {u"GetSpecialFolder", 10014, kMethod, 1, 1, &Fso::GetSpecialFolder},
    {u"DeleteFile", 1200, kMethod, 1, 2, &Fso::Run<DeleteFileOp>},
    {u"DeleteFolder", 1201, kMethod, 1, 2, &Fso::Run<DeleteFolderOp>},
    {u"MoveFile", 1204, kMethod, 2, 2, &Fso::Run<MoveFileOp>},
    {u"MoveFolder", 1205, kMethod, 2, 2, &Fso::Run<MoveFolderOp>},
    {u"CopyFile", 1202, kMethod, 2, 3, &Fso::Run<CopyFileOp>},
    {u"CopyFolder", 1203, kMethod, 2, 3, &Fso::Run<CopyFolderOp>},
    {u"CreateFolder", 1120, kMethod, 1, 1, &Fso::CreateFolder},
    {u"CreateTextFile", 1101, kMethod, 1, 3, &Fso::CreateTextFile},
    {u"OpenTextFile", 1100, kMethod, 1, 4, &Fso::OpenTextFile},
    {u"GetFileVersion", 10018, kMethod, 1, 1, &Fso::GetFileVersion},
};

}  // namespace

std::span<const kvwin::DispatchMember<FileSystem>> FileSystem::DispatchMembers() {
    return kMembers;
}

HRESULT RunFileSystemMethod(std::u16string_view name, kvwin::DispatchCall& call,
                            std::vector<VARIANT>& reversed_args) {
    HRESULT(*op)
    (kvwin::DispatchCall&) = name == u"DeleteFile"     ? DeleteFileOp
                             : name == u"DeleteFolder" ? DeleteFolderOp
                             : name == u"CopyFile"     ? CopyFileOp
                             : name == u"CopyFolder"   ? CopyFolderOp
                             : name == u"MoveFile"     ? MoveFileOp
                             : name == u"MoveFolder"   ? MoveFolderOp
                                                       : nullptr;
    if (!op)
        return E_UNEXPECTED;
    DISPPARAMS params{reversed_args.data(), nullptr, UINT(reversed_args.size()), 0};
    kvwin::DispatchCall inner(DISPATCH_METHOD, &params, nullptr);
    HRESULT hr = op(inner);
    if (FAILED(hr) && inner.Error() == hr)
        return call.Fail(hr, inner.Description());
    return hr;
}

HRESULT CreateFileSystem(IUnknown* outer, REFIID riid, void** ppv) {
    return kvwin::CreateComInstance<FileSystem>(outer, riid, ppv);
}

}  // namespace kvscripting
