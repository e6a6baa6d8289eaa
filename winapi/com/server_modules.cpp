// Finding, loading and unloading in-process server modules.
#include "server_modules.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cctype>
#include <map>
#include <mutex>
#include <vector>

#include "kvwin/com_runtime.h"
#include "kvwin/state_root.h"
#include "kvwin/utf.h"

namespace kvwin {

std::string ComponentDirectory() {
    // The layer's own folder: it cannot change while the layer is loaded. Kept until exit, so
    // a call from another library's exit handler still finds it.
    static const std::string* const folder = new std::string([] {
        Dl_info info{};
        if (!dladdr(reinterpret_cast<void*>(&ComponentDirectory), &info) || !info.dli_fname)
            return std::string(".");
        std::string path = info.dli_fname;
        size_t slash = path.rfind('/');
        return slash == std::string::npos ? std::string(".")
               : slash == 0               ? std::string("/")
                                          : path.substr(0, slash);
    }());
    return *folder;
}

size_t LoadedServerModuleCount() {
    return com_detail::ServerModuleCount();
}

}  // namespace kvwin

namespace kvwin::com_detail {

namespace {

// Guards the table. Calls into a module (DllGetClassObject) are made without it, holding
// a shared_ptr instead, so a server may activate other classes while it is being asked.
std::mutex& TableMutex() {
    static std::mutex m;
    return m;
}
std::map<std::string, std::shared_ptr<ServerModule>>& Table() {
    static auto* table = new std::map<std::string, std::shared_ptr<ServerModule>>();
    return *table;
}

// The loaded module's path for each bare server name (no folder), which can only resolve to
// the layer's own folder: activating a built-in component again finds its module without
// building and testing file names. An entry whose module was unloaded is resolved again.
// Names come from registrations, so the number kept is bounded: a full table starts over.
std::map<std::u16string, std::string>& BareNames() {
    static auto* names = new std::map<std::u16string, std::string>();
    return *names;
}
constexpr size_t kMaxBareNames = 256;

bool IsBareName(const std::u16string& server) {
    return server.find_first_of(u"\\/:") == std::u16string::npos;
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool EndsWithNoCase(const std::string& s, const std::string& suffix) {
    if (s.size() < suffix.size())
        return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        char a = s[s.size() - suffix.size() + i], b = suffix[i];
        if (std::tolower(static_cast<unsigned char>(a)) != b)
            return false;
    }
    return true;
}

// The file names a registered name may have on disk: as written, and the other of the
// "X.dll" / "libX.so" forms.
std::vector<std::string> NameVariants(const std::string& name) {
    std::vector<std::string> names{name};
    if (EndsWithNoCase(name, ".dll")) {
        std::string stem = name.substr(0, name.size() - 4);
        names.push_back("lib" + stem + ".so");
        names.push_back(stem + ".so");
    } else if (name.size() > 6 && name.compare(0, 3, "lib") == 0 && EndsWithNoCase(name, ".so")) {
        names.push_back(name.substr(3, name.size() - 6) + ".dll");
    }
    return names;
}

// The native path of a registered server, or "" when no such file exists.
std::string ResolveServerPath(const std::u16string& server) {
    const bool has_folder = !IsBareName(server);
    std::string folder, name;
    if (has_folder) {
        std::string native;
        if (!kvwin::ToNativePath(server, native))
            return {};
        size_t slash = native.rfind('/');
        folder = slash == std::string::npos ? "." : native.substr(0, slash);
        name = slash == std::string::npos ? native : native.substr(slash + 1);
    } else {
        folder = kvwin::ComponentDirectory();
        name = kvwin::ToUtf8(server);
    }
    for (const std::string& candidate : NameVariants(name)) {
        std::string path = folder + "/" + candidate;
        if (IsFile(path))
            return path;
    }
    return {};
}

}  // namespace

ServerModule::~ServerModule() {
    if (handle)
        dlclose(handle);
}

HRESULT LoadServerModule(const std::u16string& server, std::shared_ptr<ServerModule>& module) {
    const bool bare = IsBareName(server);
    if (bare) {
        // A module stays loaded until it agrees to go, and its folder is the layer's: while
        // it is in the table, the name resolves to it (as on Windows, where a loaded module's
        // file cannot be removed or replaced under it).
        std::lock_guard lock(TableMutex());
        if (auto name = BareNames().find(server); name != BareNames().end()) {
            if (auto it = Table().find(name->second); it != Table().end()) {
                module = it->second;
                return S_OK;
            }
        }
    }
    std::string path = ResolveServerPath(server);
    if (path.empty())
        return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    std::lock_guard lock(TableMutex());
    if (bare) {
        if (BareNames().size() >= kMaxBareNames)
            BareNames().clear();
        BareNames().insert_or_assign(server, path);
    }
    auto it = Table().find(path);
    if (it != Table().end()) {
        module = it->second;
        return S_OK;
    }
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT);
    auto loaded = std::make_shared<ServerModule>();
    loaded->path = path;
    loaded->handle = handle;
    loaded->get_class_object =
        reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(handle, "DllGetClassObject"));
    loaded->can_unload_now = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(handle, "DllCanUnloadNow"));
    if (!loaded->get_class_object)
        return CO_E_ERRORINDLL;  // closes the handle again
    Table()[path] = loaded;
    module = std::move(loaded);
    return S_OK;
}

void FreeUnusedServerModules() {
    std::vector<std::shared_ptr<ServerModule>> unloading;
    {
        std::lock_guard lock(TableMutex());
        for (auto it = Table().begin(); it != Table().end();) {
            // use_count 1: only the table holds it, so no activation is calling into it.
            const auto& m = it->second;
            if (m.use_count() == 1 && m->can_unload_now && m->can_unload_now() == S_OK) {
                unloading.push_back(m);
                it = Table().erase(it);
            } else {
                ++it;
            }
        }
    }
    // dlclose runs here, outside the lock, as the last references go.
}

size_t ServerModuleCount() {
    std::lock_guard lock(TableMutex());
    return Table().size();
}

}  // namespace kvwin::com_detail
