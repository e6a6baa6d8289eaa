// LoadLibraryExW, LoadLibraryW and FreeLibrary; the message tables behind module handles.
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <string>

#include "kvwin/ascii_case.h"
#include "kvwin/image_file.h"
#include "kvwin/last_error.h"
#include "kvwin/state_root.h"
#include "kvwin/utf.h"
#include "module_tables.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/modules.h"

namespace kvwin::messages {

namespace {

constexpr uintptr_t kDataFileTag = 1;  // low bits of a data-file handle, as on Windows
constexpr uintptr_t kImageResourceTag = 2;

// Data-file modules by handle value. Guarded by g_lock; the entries themselves are
// immutable and shared with callers.
std::mutex g_lock;
std::map<uintptr_t, std::shared_ptr<const ModuleMessages>>& DataModules() {
    static auto* modules = new std::map<uintptr_t, std::shared_ptr<const ModuleMessages>>();
    return *modules;
}
// Message tables of loaded shared objects, by file path (filled on first use).
std::map<std::string, std::shared_ptr<const ModuleMessages>>& ObjectTables() {
    static auto* tables = new std::map<std::string, std::shared_ptr<const ModuleMessages>>();
    return *tables;
}

std::u16string Folded(std::u16string_view text) {
    std::u16string out;
    for (char16_t c : text)
        out.push_back(c == u'/' ? u'\\' : kvwin::AsciiLower(c));
    while (out.size() > 1 && out.back() == u'\\')
        out.pop_back();
    return out;
}

// The built-in module a name stands for, or null.
const MessageTable* BuiltinModule(std::u16string_view name) {
    const size_t cut = name.find_last_of(u"\\/");
    const std::u16string file =
        Folded(cut == std::u16string_view::npos ? name : name.substr(cut + 1));
    const MessageTable* table = file == u"wmiutils.dll"  ? &WmiTable()
                                : file == u"wininet.dll" ? &InternetTable()
                                                         : nullptr;
    if (!table || cut == std::u16string_view::npos)
        return table;
    WCHAR system[MAX_PATH];
    const UINT n = GetSystemDirectoryW(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return nullptr;
    const std::u16string folder = Folded(name.substr(0, cut));
    const std::u16string system_folder = Folded(std::u16string_view(system, n));
    return folder == system_folder || folder == system_folder + u"\\wbem" ? table : nullptr;
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// Where a bare module name is looked for: beside the executable, beside this library,
// then the current folder.
std::string SearchBareName(const std::string& name) {
    std::vector<std::string> folders;
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0)
        folders.push_back(FolderOf(std::string(exe, static_cast<size_t>(n))));
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&LoadLibraryExW), &info) && info.dli_fname)
        folders.push_back(FolderOf(info.dli_fname));
    folders.push_back(".");
    for (const std::string& folder : folders) {
        const std::string path = folder + "/" + name;
        if (IsFile(path))
            return path;
    }
    return {};
}

// Reads what a module file holds for FormatMessageW.
DWORD OpenDataModule(const std::string& path, std::shared_ptr<ModuleMessages>& out) {
    auto module = std::make_shared<ModuleMessages>();
    if (const DWORD error = module->file.Open(path))
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ERROR_MOD_NOT_FOUND
                                                                              : error;
    const ByteSpan bytes = module->file.bytes();
    switch (DetectImage(bytes)) {
        case ImageKind::MessageTable:
            if (!module->table.ParseCompiled(bytes))
                return ERROR_BAD_EXE_FORMAT;
            break;
        case ImageKind::Pe: {
            std::vector<ImageResource> found;
            const DWORD error = FindPeResources(bytes, kResourceTypeMessageTable, found);
            if (error == ERROR_BAD_FORMAT)
                return ERROR_BAD_EXE_FORMAT;
            for (const ImageResource& r : found)
                module->table.AddLanguage(r.language, r.data);
            break;
        }
        case ImageKind::Elf: {
            ByteSpan section;
            const DWORD error = FindElfSection(bytes, kMessageSection, section);
            if (error == ERROR_BAD_FORMAT)
                return ERROR_BAD_EXE_FORMAT;
            if (error == 0 && !module->table.ParseCompiled(section))
                return ERROR_BAD_EXE_FORMAT;
            break;
        }
        default:
            return ERROR_BAD_EXE_FORMAT;
    }
    out = std::move(module);
    return 0;
}

HMODULE LoadDataModule(std::u16string_view name, DWORD flags) {
    std::shared_ptr<ModuleMessages> module;
    const bool bare = name.find_first_of(u"\\/") == std::u16string_view::npos;
    std::string path;
    if (bare) {
        path = SearchBareName(ToUtf8(name));
    } else if (!ToNativePath(name, path)) {
        return nullptr;
    }
    const MessageTable* builtin = BuiltinModule(name);
    if (builtin && (path.empty() || !IsFile(path))) {
        module = std::make_shared<ModuleMessages>();
        module->table = *builtin;
    } else {
        if (path.empty()) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        if (const DWORD error = OpenDataModule(path, module)) {
            SetLastError(error);
            return nullptr;
        }
    }
    const uintptr_t tag =
        (flags & LOAD_LIBRARY_AS_IMAGE_RESOURCE) ? kImageResourceTag : kDataFileTag;
    const uintptr_t handle = reinterpret_cast<uintptr_t>(module.get()) | tag;
    std::lock_guard<std::mutex> hold(g_lock);
    DataModules()[handle] = std::move(module);
    return reinterpret_cast<HMODULE>(handle);
}

HMODULE BaseOf(void* dl_handle) {
    link_map* map = nullptr;
    if (::dlinfo(dl_handle, RTLD_DI_LINKMAP, &map) != 0 || !map)
        return nullptr;
    HMODULE base = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(map->l_ld), &base);
    return base;
}

HMODULE LoadSharedObject(std::u16string_view name) {
    std::vector<std::string> tries;
    if (name.find_first_of(u"\\/") != std::u16string_view::npos) {
        std::string native;
        if (!ToNativePath(name, native))
            return nullptr;
        tries.push_back(native);
    } else {
        const std::string bare = ToUtf8(name);
        tries.push_back(bare);
        const std::string found = SearchBareName(bare);
        if (!found.empty())
            tries.push_back(found);
        if (bare.size() > 4 && Folded(name.substr(name.size() - 4)) == u".dll") {
            const std::string stem = bare.substr(0, bare.size() - 4);
            tries.push_back("lib" + stem + ".so");
            tries.push_back(stem + ".so");
        }
    }
    for (const std::string& path : tries) {
        void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            continue;
        if (HMODULE base = BaseOf(handle))
            return base;
        ::dlclose(handle);
    }
    SetLastError(IsFile(tries.back()) ? ERROR_BAD_EXE_FORMAT : ERROR_MOD_NOT_FOUND);
    return nullptr;
}

std::string ModulePath(HMODULE module) {
    WCHAR path[4096];
    const DWORD n = GetModuleFileNameW(module, path, 4096);
    if (n == 0 || n >= 4096)
        return {};
    return ToUtf8(std::u16string_view(path, n));
}

}  // namespace

DWORD MessagesOfModule(HMODULE module, std::shared_ptr<const ModuleMessages>& out) {
    out.reset();
    {
        std::lock_guard<std::mutex> hold(g_lock);
        const auto it = DataModules().find(reinterpret_cast<uintptr_t>(module));
        if (it != DataModules().end())
            out = it->second;
    }
    if (!out) {
        const std::string path = ModulePath(module);
        if (path.empty())
            return ERROR_INVALID_HANDLE;
        {
            std::lock_guard<std::mutex> hold(g_lock);
            const auto it = ObjectTables().find(path);
            if (it != ObjectTables().end())
                out = it->second;
        }
        if (!out) {
            std::shared_ptr<ModuleMessages> read;
            if (OpenDataModule(path, read) != 0)
                read = std::make_shared<ModuleMessages>();
            std::lock_guard<std::mutex> hold(g_lock);
            out = ObjectTables().emplace(path, std::move(read)).first->second;
        }
    }
    return out->table.empty() ? ERROR_RESOURCE_TYPE_NOT_FOUND : 0;
}

}  // namespace kvwin::messages

extern "C" {

HMODULE LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags) {
    if (!lpLibFileName || !*lpLibFileName || hFile) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    try {
        const std::u16string_view name = kvwin::WideView(lpLibFileName);
        if (dwFlags & (LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE |
                       LOAD_LIBRARY_AS_IMAGE_RESOURCE))
            return kvwin::messages::LoadDataModule(name, dwFlags);
        return kvwin::messages::LoadSharedObject(name);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

HMODULE LoadLibraryW(LPCWSTR lpLibFileName) {
    return LoadLibraryExW(lpLibFileName, nullptr, 0);
}

BOOL FreeLibrary(HMODULE hLibModule) {
    using namespace kvwin::messages;
    try {
        {
            std::lock_guard<std::mutex> hold(g_lock);
            if (DataModules().erase(reinterpret_cast<uintptr_t>(hLibModule)))
                return TRUE;
        }
        if (!hLibModule)
            return kvwin::FailWith(ERROR_INVALID_HANDLE);
        const std::string path = ModulePath(hLibModule);
        if (path.empty())
            return kvwin::FailWith(ERROR_INVALID_HANDLE);
        if (hLibModule == GetModuleHandleW(nullptr))
            return TRUE;
        // The loader counts references per object: take one to find it, drop it and the
        // caller's.
        void* handle = ::dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
        if (!handle)
            return kvwin::FailWith(ERROR_INVALID_HANDLE);
        ::dlclose(handle);
        ::dlclose(handle);
        return TRUE;
    } catch (...) {
        return kvwin::FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

}  // extern "C"
