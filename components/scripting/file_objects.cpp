// The File, Folder, Files, Folders, Drive and Drives objects of Scripting.FileSystemObject.
//
// A File or Folder holds its absolute path only; every property reads the file system when
// asked, so an object sees later changes, and one for a path deleted since fails with "File
// not found"/"Path not found" as on Windows. Collections are snapshots taken when asked for.
#include <sys/statvfs.h>

#include <vector>

#include "file_system.h"
#include "kvwin/state_root.h"
#include "kvwin/variant_enumerator.h"

namespace kvscripting {
namespace {

constexpr WORD kGet = DISPATCH_PROPERTYGET;
constexpr WORD kPut = DISPATCH_PROPERTYPUT;
constexpr WORD kMethod = DISPATCH_METHOD;

// The attributes a script may change: ReadOnly, Hidden, System, Archive.
constexpr DWORD kSettableAttributes = 0x27;
// Deepest folder tree Size walks; deeper parts are not counted.
constexpr int kMaxDepth = 64;

using kvwin::ReturnObject;

HRESULT ReturnDate(VARIANT* result, const FILETIME& time) {
    if (result) {
        result->vt = VT_DATE;
        result->date = DateFromFileTime(time);
    }
    return S_OK;
}

HRESULT ReturnNumber(VARIANT* result, unsigned long long n) {
    if (result) {
        if (n <= 0x7FFFFFFFull) {
            result->vt = VT_I4;
            result->lVal = LONG(n);
        } else {
            result->vt = VT_R8;
            result->dblVal = double(n);
        }
    }
    return S_OK;
}

// The names in one folder: files or sub-folders, "." and ".." left out.
std::vector<std::u16string> ListFolder(const std::u16string& folder, bool folders) {
    std::vector<std::u16string> names;
    ForEachEntry(JoinPath(folder, u"*"), [&](const WIN32_FIND_DATAW& entry) {
        if (((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == folders)
            names.emplace_back(entry.cFileName);
    });
    return names;
}

unsigned long long TreeSize(const std::u16string& folder, int depth) {
    unsigned long long total = 0;
    ForEachEntry(JoinPath(folder, u"*"), [&](const WIN32_FIND_DATAW& entry) {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (depth < kMaxDepth && !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                total += TreeSize(JoinPath(folder, entry.cFileName), depth + 1);
        } else {
            total +=
                (static_cast<unsigned long long>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
        }
    });
    return total;
}

// ---- File and Folder ------------------------------------------------------------------------

// What File and Folder share; `kFolder` tells which one this is.
template <class T, bool kFolder>
class Entry : public kvwin::DispatchObject<T, IDispatch> {
  public:
    explicit Entry(std::u16string path) : path_(std::move(path)) {}
    std::u16string_view ErrorSource() const override { return u"Microsoft VBScript runtime error"; }

    // Fails the call as a missing file or folder does; true when the entry is there.
    bool Read(kvwin::DispatchCall& call, WIN32_FIND_DATAW& entry) const {
        if (IsRoot()) {  // a root has no directory entry of its own
            entry = WIN32_FIND_DATAW{};
            entry.dwFileAttributes = AttributesOf(path_);
            if (entry.dwFileAttributes != INVALID_FILE_ATTRIBUTES)
                return true;
        } else if (FindEntry(path_, entry) &&
                   ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == kFolder) {
            return true;
        }
        FailWith(call, kFolder ? kPathNotFound : kFileNotFound);
        return false;
    }
    bool IsRoot() const { return kFolder && FileNamePart(path_).empty(); }
    const std::u16string& path() const { return path_; }
    void set_path(std::u16string path) { path_ = std::move(path); }

    static HRESULT Path(T& self, kvwin::DispatchCall& call) {
        return kvwin::SetVariantText(call.Result(), self.path_);
    }
    static HRESULT Name(T& self, kvwin::DispatchCall& call) {
        WIN32_FIND_DATAW entry;
        if (!self.Read(call, entry))
            return call.Error();
        if (!call.IsPut())
            return kvwin::SetVariantText(call.Result(), FileNamePart(self.path_));
        VARIANT text;
        VariantInit(&text);
        if (!call.PutValue() || FAILED(VariantChangeType(&text, call.PutValue(), 0, VT_BSTR)))
            return FailWith(call, kInvalidArgument);
        std::u16string name(text.bstrVal, SysStringLen(text.bstrVal));
        VariantClear(&text);
        if (name.empty() || name.find_first_of(u"\\/:*?\"<>|") != std::u16string::npos)
            return FailWith(call, kInvalidArgument);
        std::u16string target = JoinPath(ParentPart(self.path_), name);
        if (AttributesOf(target) != INVALID_FILE_ATTRIBUTES)
            return FailWith(call, kFileExists);
        if (!MoveFileW(self.path_.c_str(), target.c_str()))
            return FailWithLastError(call, GetLastError());
        self.path_ = std::move(target);
        return S_OK;
    }
    static HRESULT ShortName(T& self, kvwin::DispatchCall& call) {
        return kvwin::SetVariantText(call.Result(), FileNamePart(self.path_));
    }
    static HRESULT Drive(T& self, kvwin::DispatchCall& call) {
        std::u16string drive = DriveName(self.path_);
        if (drive.empty())
            return S_OK;  // a native path has no drive: Empty
        return ReturnDrive(call.Result(), char(drive[0]));
    }
    static HRESULT ParentFolder(T& self, kvwin::DispatchCall& call) {
        std::u16string parent = ParentPart(self.path_);
        if (parent.empty() || self.IsRoot())
            return S_OK;  // a root's parent is Nothing
        return ReturnFolder(call.Result(), std::move(parent));
    }
    static HRESULT Attributes(T& self, kvwin::DispatchCall& call) {
        WIN32_FIND_DATAW entry;
        if (!self.Read(call, entry))
            return call.Error();
        if (call.IsPut()) {
            long value = 0;
            if (!PutLong(call, value))
                return FailWith(call, kInvalidArgument);
            DWORD keep = entry.dwFileAttributes & ~kSettableAttributes & ~FILE_ATTRIBUTE_NORMAL;
            DWORD wanted = keep | (DWORD(value) & kSettableAttributes);
            if (!SetFileAttributesW(self.path_.c_str(), wanted ? wanted : FILE_ATTRIBUTE_NORMAL))
                return FailWithLastError(call, GetLastError());
            return S_OK;
        }
        // Scripts see 0 (Normal) rather than FILE_ATTRIBUTE_NORMAL, as the Windows object answers.
        return kvwin::SetVariantLong(call.Result(),
                                     LONG(entry.dwFileAttributes & ~FILE_ATTRIBUTE_NORMAL));
    }
    template <FILETIME WIN32_FIND_DATAW::*kTime>
    static HRESULT Date(T& self, kvwin::DispatchCall& call) {
        WIN32_FIND_DATAW entry;
        if (!self.Read(call, entry))
            return call.Error();
        if (self.IsRoot())
            return S_OK;
        return ReturnDate(call.Result(), entry.*kTime);
    }
    static HRESULT Size(T& self, kvwin::DispatchCall& call) {
        WIN32_FIND_DATAW entry;
        if (!self.Read(call, entry))
            return call.Error();
        if (kFolder)
            return ReturnNumber(call.Result(), TreeSize(self.path_, 0));
        return ReturnNumber(
            call.Result(),
            (static_cast<unsigned long long>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow);
    }
    static HRESULT Type(T& self, kvwin::DispatchCall& call) {
        if (kFolder)
            return kvwin::SetVariantText(call.Result(), u"File folder");
        std::u16string name = FileNamePart(self.path_);
        size_t dot = name.rfind(u'.');
        if (dot == std::u16string::npos || dot + 1 == name.size())
            return kvwin::SetVariantText(call.Result(), u"File");
        std::u16string ext = name.substr(dot + 1);
        for (auto& c : ext)
            c = (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
        return kvwin::SetVariantText(call.Result(), ext + u" File");
    }
    static HRESULT Delete(T& self, kvwin::DispatchCall& call);
    static HRESULT Copy(T& self, kvwin::DispatchCall& call);
    static HRESULT Move(T& self, kvwin::DispatchCall& call);

  protected:
    ~Entry() override = default;
    std::u16string path_;

  private:
    ModuleRef module_ref_;
};

// Delete, Copy and Move run the FileSystemObject's own DeleteFile, CopyFolder, ... on the
// entry's path.
template <class T, bool kFolder>
HRESULT RunOn(T& self, kvwin::DispatchCall& call, std::u16string_view method, bool with_target) {
    std::vector<VARIANT> args;  // in Invoke's order: last argument first
    VARIANT v;
    if (with_target) {
        bool overwrite = true;
        if (!ArgBool(call, 1, true, overwrite))
            return FailWith(call, kInvalidArgument);
        std::u16string target;
        if (!ArgText(call, 0, target))
            return FailWith(call, kInvalidArgument);
        if (method != u"Move" && method != u"MoveFolder" && method != u"MoveFile") {
            v.vt = VT_BOOL;
            v.boolVal = overwrite ? VARIANT_TRUE : VARIANT_FALSE;
            args.push_back(v);
        }
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocStringLen(target.data(), UINT(target.size()));
        args.push_back(v);
    } else {
        bool force = false;
        if (!ArgBool(call, 0, false, force))
            return FailWith(call, kInvalidArgument);
        v.vt = VT_BOOL;
        v.boolVal = force ? VARIANT_TRUE : VARIANT_FALSE;
        args.push_back(v);
    }
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(self.path().data(), UINT(self.path().size()));
    args.push_back(v);
    std::u16string full(method);
    full += kFolder ? u"Folder" : u"File";
    HRESULT hr = RunFileSystemMethod(full, call, args);
    for (auto& a : args)
        VariantClear(&a);
    if (SUCCEEDED(hr) && method == u"Move") {
        std::u16string target;
        ArgText(call, 0, target);
        const bool into = EndsWithSeparator(target);
        target = AbsolutePath(target);
        self.set_path(into ? JoinPath(target, FileNamePart(self.path())) : target);
    }
    return hr;
}

template <class T, bool kFolder>
HRESULT Entry<T, kFolder>::Delete(T& self, kvwin::DispatchCall& call) {
    return RunOn<T, kFolder>(self, call, u"Delete", false);
}
template <class T, bool kFolder>
HRESULT Entry<T, kFolder>::Copy(T& self, kvwin::DispatchCall& call) {
    return RunOn<T, kFolder>(self, call, u"Copy", true);
}
template <class T, bool kFolder>
HRESULT Entry<T, kFolder>::Move(T& self, kvwin::DispatchCall& call) {
    return RunOn<T, kFolder>(self, call, u"Move", true);
}

class File final : public Entry<File, false> {
  public:
    using Entry::Entry;
    static std::span<const kvwin::DispatchMember<File>> DispatchMembers();

    static HRESULT OpenAsTextStream(File& self, kvwin::DispatchCall& call) {
        long mode = 1, format = 0;
        if (!ArgLong(call, 0, 1, mode) || !ArgLong(call, 1, 0, format))
            return FailWith(call, kInvalidArgument);
        if (mode != 1 && mode != 2 && mode != 8)
            return FailWith(call, kInvalidArgument);
        WIN32_FIND_DATAW entry;
        if (!self.Read(call, entry))
            return call.Error();
        return OpenTextStream(call, self.path_, IoMode(mode), false, true, Tristate(format));
    }

  private:
    ~File() override = default;
};

const kvwin::DispatchMember<File> kFileMembers[] = {
    {u"Path", 0, kGet, 0, 0, &File::Path},
    {u"Name", 1000, kGet | kPut, 0, 0, &File::Name},
    {u"ShortPath", 1002, kGet, 0, 0, &File::Path},
    {u"ShortName", 1001, kGet, 0, 0, &File::ShortName},
    {u"Drive", 1004, kGet, 0, 0, &File::Drive},
    {u"ParentFolder", 1005, kGet, 0, 0, &File::ParentFolder},
    {u"Attributes", 1003, kGet | kPut, 0, 0, &File::Attributes},
    {u"DateCreated", 1006, kGet, 0, 0, &File::Date<&WIN32_FIND_DATAW::ftCreationTime>},
    {u"DateLastModified", 1008, kGet, 0, 0, &File::Date<&WIN32_FIND_DATAW::ftLastWriteTime>},
    {u"DateLastAccessed", 1007, kGet, 0, 0, &File::Date<&WIN32_FIND_DATAW::ftLastAccessTime>},
    {u"Size", 1009, kGet, 0, 0, &File::Size},
    {u"Type", 1010, kGet, 0, 0, &File::Type},
    {u"Delete", 1200, kMethod, 0, 1, &File::Delete},
    {u"Copy", 1202, kMethod, 1, 2, &File::Copy},
    {u"Move", 1204, kMethod, 1, 1, &File::Move},
    {u"OpenAsTextStream", 1100, kMethod, 0, 2, &File::OpenAsTextStream},
};

std::span<const kvwin::DispatchMember<File>> File::DispatchMembers() {
    return kFileMembers;
}

class Folder final : public Entry<Folder, true> {
  public:
    using Entry::Entry;
    static std::span<const kvwin::DispatchMember<Folder>> DispatchMembers();

    static HRESULT IsRootFolder(Folder& self, kvwin::DispatchCall& call) {
        return kvwin::SetVariantBool(call.Result(), self.IsRoot());
    }
    static HRESULT SubFolders(Folder& self, kvwin::DispatchCall& call);
    static HRESULT Files(Folder& self, kvwin::DispatchCall& call);
    static HRESULT CreateTextFile(Folder& self, kvwin::DispatchCall& call) {
        std::u16string name;
        bool overwrite = true, unicode = false;
        if (!ArgText(call, 0, name) || !ArgBool(call, 1, true, overwrite) ||
            !ArgBool(call, 2, false, unicode))
            return FailWith(call, kInvalidArgument);
        return OpenTextStream(call, AbsolutePath(JoinPath(self.path_, name)), IoMode::Writing, true,
                              overwrite, unicode ? Tristate::True : Tristate::False);
    }

  private:
    ~Folder() override = default;
};

// Files and Folders of one folder: a snapshot of the names, looked up by name.
class EntryCollection final : public kvwin::DispatchObject<EntryCollection, IDispatch> {
  public:
    std::u16string_view TypeName() const override { return folders_ ? u"Folders" : u"Files"; }
    EntryCollection(std::u16string folder, bool folders)
        : folder_(std::move(folder)), folders_(folders), names_(ListFolder(folder_, folders)) {}
    static std::span<const kvwin::DispatchMember<EntryCollection>> DispatchMembers();
    std::u16string_view ErrorSource() const override { return u"Microsoft VBScript runtime error"; }

    static HRESULT Count(EntryCollection& self, kvwin::DispatchCall& call) {
        return ReturnNumber(call.Result(), self.names_.size());
    }
    static HRESULT Item(EntryCollection& self, kvwin::DispatchCall& call) {
        std::u16string name;
        if (!ArgText(call, 0, name))
            return FailWith(call, kInvalidArgument);
        for (const auto& n : self.names_) {
            if (kvwin::EqualsAsciiNoCase(n, name) || n == name) {
                std::u16string path = JoinPath(self.folder_, n);
                return self.folders_ ? ReturnFolder(call.Result(), std::move(path))
                                     : ReturnFile(call.Result(), std::move(path));
            }
        }
        return FailWith(call, self.folders_ ? kPathNotFound : kFileNotFound);
    }
    static HRESULT Add(EntryCollection& self, kvwin::DispatchCall& call) {
        std::u16string name;
        if (!self.folders_ || !ArgText(call, 0, name) || name.empty())
            return FailWith(call, kInvalidArgument);
        std::u16string path = JoinPath(self.folder_, name);
        if (AttributesOf(path) != INVALID_FILE_ATTRIBUTES)
            return FailWith(call, kFileExists);
        if (!CreateDirectoryW(path.c_str(), nullptr))
            return FailWithLastError(call, GetLastError());
        self.names_.push_back(name);
        return ReturnFolder(call.Result(), std::move(path));
    }
    static HRESULT NewEnum(EntryCollection& self, kvwin::DispatchCall& call) {
        std::vector<_variant_t> items(self.names_.size());
        HRESULT hr = S_OK;
        for (size_t i = 0; i < items.size(); ++i) {
            std::u16string path = JoinPath(self.folder_, self.names_[i]);
            HRESULT one = self.folders_ ? ReturnFolder(&items[i], std::move(path))
                                        : ReturnFile(&items[i], std::move(path));
            if (FAILED(one))
                hr = one;
        }
        return SUCCEEDED(hr) ? kvwin::ReturnEnumerator(call.Result(), std::move(items)) : hr;
    }

  private:
    ~EntryCollection() override = default;
    std::u16string folder_;
    bool folders_;
    std::vector<std::u16string> names_;
    ModuleRef module_ref_;
};

const kvwin::DispatchMember<EntryCollection> kCollectionMembers[] = {
    {u"Item", 0, kGet | kMethod, 1, 1, &EntryCollection::Item},
    {u"Count", 1, kGet, 0, 0, &EntryCollection::Count},
    {u"Add", 2, kMethod, 1, 1, &EntryCollection::Add},
    {u"_NewEnum", DISPID_NEWENUM, kGet | kMethod, 0, 0, &EntryCollection::NewEnum},
};

std::span<const kvwin::DispatchMember<EntryCollection>> EntryCollection::DispatchMembers() {
    return kCollectionMembers;
}

HRESULT Folder::SubFolders(Folder& self, kvwin::DispatchCall& call) {
    WIN32_FIND_DATAW entry;
    if (!self.Read(call, entry))
        return call.Error();
    return ReturnObject(call.Result(), new EntryCollection(self.path_, true));
}

HRESULT Folder::Files(Folder& self, kvwin::DispatchCall& call) {
    WIN32_FIND_DATAW entry;
    if (!self.Read(call, entry))
        return call.Error();
    return ReturnObject(call.Result(), new EntryCollection(self.path_, false));
}

const kvwin::DispatchMember<Folder> kFolderMembers[] = {
    {u"Path", 0, kGet, 0, 0, &Folder::Path},
    {u"Name", 1000, kGet | kPut, 0, 0, &Folder::Name},
    {u"ShortPath", 1002, kGet, 0, 0, &Folder::Path},
    {u"ShortName", 1001, kGet, 0, 0, &Folder::ShortName},
    {u"Drive", 1004, kGet, 0, 0, &Folder::Drive},
    {u"ParentFolder", 1005, kGet, 0, 0, &Folder::ParentFolder},
    {u"Attributes", 1003, kGet | kPut, 0, 0, &Folder::Attributes},
    {u"DateCreated", 1006, kGet, 0, 0, &Folder::Date<&WIN32_FIND_DATAW::ftCreationTime>},
    {u"DateLastModified", 1008, kGet, 0, 0, &Folder::Date<&WIN32_FIND_DATAW::ftLastWriteTime>},
    {u"DateLastAccessed", 1007, kGet, 0, 0, &Folder::Date<&WIN32_FIND_DATAW::ftLastAccessTime>},
    {u"Size", 1009, kGet, 0, 0, &Folder::Size},
    {u"Type", 1010, kGet, 0, 0, &Folder::Type},
    {u"IsRootFolder", 10000, kGet, 0, 0, &Folder::IsRootFolder},
    {u"SubFolders", 10002, kGet, 0, 0, &Folder::SubFolders},
    {u"Files", 10003, kGet, 0, 0, &Folder::Files},
    {u"CreateTextFile", 10004, kMethod, 1, 3, &Folder::CreateTextFile},
    {u"Delete", 1200, kMethod, 0, 1, &Folder::Delete},
    {u"Copy", 1202, kMethod, 1, 2, &Folder::Copy},
    {u"Move", 1204, kMethod, 1, 1, &Folder::Move},
};

std::span<const kvwin::DispatchMember<Folder>> Folder::DispatchMembers() {
    return kFolderMembers;
}

// ---- Drive and Drives -----------------------------------------------------------------------

std::string NativeFolderOf(char letter) {
    for (const auto& d : kvwin::DriveTable()) {
        if (d.letter == letter)
            return d.folder;
    }
    return {};
}

class Drive final : public kvwin::DispatchObject<Drive, IDispatch> {
  public:
    explicit Drive(char letter) : letter_(letter) {}
    static std::span<const kvwin::DispatchMember<Drive>> DispatchMembers();
    std::u16string_view ErrorSource() const override { return u"Microsoft VBScript runtime error"; }

    std::u16string Root() const { return {char16_t(letter_), u':', u'\\'}; }

    static HRESULT Path(Drive& self, kvwin::DispatchCall& call) {
        return kvwin::SetVariantText(call.Result(), std::u16string{char16_t(self.letter_), u':'});
    }
    static HRESULT Letter(Drive& self, kvwin::DispatchCall& call) {
        return kvwin::SetVariantText(call.Result(), std::u16string{char16_t(self.letter_)});
    }
    static HRESULT RootFolder(Drive& self, kvwin::DispatchCall& call) {
        return ReturnFolder(call.Result(), self.Root());
    }
    template <int kWhich>  // 0 available, 1 free, 2 total
    static HRESULT Space(Drive& self, kvwin::DispatchCall& call) {
        struct statvfs fs {};
        std::string folder = NativeFolderOf(self.letter_);
        if (folder.empty() || statvfs(folder.c_str(), &fs) != 0)
            return FailWith(call, kDeviceUnavailable);
        unsigned long long blocks = kWhich == 0   ? fs.f_bavail
                                    : kWhich == 1 ? fs.f_bfree
                                                  : fs.f_blocks;
        if (call.Result()) {
            call.Result()->vt = VT_R8;
            call.Result()->dblVal = double(blocks) * double(fs.f_frsize);
        }
        return S_OK;
    }
    static HRESULT DriveType(Drive&, kvwin::DispatchCall& call) {
        if (call.Result()) {
            call.Result()->vt = VT_I4;
            call.Result()->lVal = 2;  // Fixed
        }
        return S_OK;
    }
    static HRESULT FileSystem(Drive&, kvwin::DispatchCall& call) {
        return kvwin::SetVariantText(call.Result(), u"NTFS");
    }
    static HRESULT SerialNumber(Drive& self, kvwin::DispatchCall& call) {
        struct statvfs fs {};
        std::string folder = NativeFolderOf(self.letter_);
        if (folder.empty() || statvfs(folder.c_str(), &fs) != 0)
            return FailWith(call, kDeviceUnavailable);
        return kvwin::SetVariantLong(call.Result(), LONG(fs.f_fsid & 0xFFFFFFFFu));
    }
    static HRESULT Empty(Drive&, kvwin::DispatchCall& call) {
        return kvwin::SetVariantText(call.Result(), u"");
    }
    static HRESULT IsReady(Drive& self, kvwin::DispatchCall& call) {
        if (call.Result()) {
            call.Result()->vt = VT_BOOL;
            call.Result()->boolVal =
                NativeFolderOf(self.letter_).empty() ? VARIANT_FALSE : VARIANT_TRUE;
        }
        return S_OK;
    }

  private:
    ~Drive() override = default;
    char letter_;
    ModuleRef module_ref_;
};

const kvwin::DispatchMember<Drive> kDriveMembers[] = {
    {u"Path", 0, kGet, 0, 0, &Drive::Path},
    {u"DriveLetter", 10000, kGet, 0, 0, &Drive::Letter},
    {u"ShareName", 10001, kGet, 0, 0, &Drive::Empty},
    {u"DriveType", 10002, kGet, 0, 0, &Drive::DriveType},
    {u"RootFolder", 10003, kGet, 0, 0, &Drive::RootFolder},
    {u"AvailableSpace", 10005, kGet, 0, 0, &Drive::Space<0>},
    {u"FreeSpace", 10004, kGet, 0, 0, &Drive::Space<1>},
    {u"TotalSize", 10006, kGet, 0, 0, &Drive::Space<2>},
    {u"VolumeName", 10007, kGet | kPut, 0, 0, &Drive::Empty},
    {u"FileSystem", 10008, kGet, 0, 0, &Drive::FileSystem},
    {u"SerialNumber", 10009, kGet, 0, 0, &Drive::SerialNumber},
    {u"IsReady", 10010, kGet, 0, 0, &Drive::IsReady},
};

std::span<const kvwin::DispatchMember<Drive>> Drive::DispatchMembers() {
    return kDriveMembers;
}

class Drives final : public kvwin::DispatchObject<Drives, IDispatch> {
  public:
    static std::span<const kvwin::DispatchMember<Drives>> DispatchMembers();
    std::u16string_view ErrorSource() const override { return u"Microsoft VBScript runtime error"; }

    static HRESULT Count(Drives&, kvwin::DispatchCall& call) {
        return ReturnNumber(call.Result(), kvwin::DriveTable().size());
    }
    static HRESULT Item(Drives&, kvwin::DispatchCall& call) {
        std::u16string name;
        if (!ArgText(call, 0, name) || name.empty())
            return FailWith(call, kInvalidArgument);
        const char letter = char(name[0] & ~0x20);
        if (NativeFolderOf(letter).empty())
            return FailWith(call, kDeviceUnavailable);
        return ReturnDrive(call.Result(), letter);
    }
    static HRESULT NewEnum(Drives&, kvwin::DispatchCall& call) {
        std::vector<_variant_t> items;
        for (const auto& d : kvwin::DriveTable()) {
            _variant_t v;
            if (SUCCEEDED(ReturnDrive(&v, d.letter)))
                items.push_back(std::move(v));
        }
        return kvwin::ReturnEnumerator(call.Result(), std::move(items));
    }

  private:
    ~Drives() override = default;
    ModuleRef module_ref_;
};

const kvwin::DispatchMember<Drives> kDrivesMembers[] = {
    {u"Item", 0, kGet | kMethod, 1, 1, &Drives::Item},
    {u"Count", 1, kGet, 0, 0, &Drives::Count},
    {u"_NewEnum", DISPID_NEWENUM, kGet | kMethod, 0, 0, &Drives::NewEnum},
};

std::span<const kvwin::DispatchMember<Drives>> Drives::DispatchMembers() {
    return kDrivesMembers;
}

}  // namespace

HRESULT ReturnFile(VARIANT* result, std::u16string path) {
    return ReturnObject(result, new (std::nothrow) File(std::move(path)));
}

HRESULT ReturnFolder(VARIANT* result, std::u16string path) {
    return ReturnObject(result, new (std::nothrow) Folder(std::move(path)));
}

HRESULT ReturnDrive(VARIANT* result, char letter) {
    return ReturnObject(result, new (std::nothrow) Drive(letter));
}

HRESULT ReturnDrives(VARIANT* result) {
    return ReturnObject(result, new (std::nothrow) Drives());
}

}  // namespace kvscripting
