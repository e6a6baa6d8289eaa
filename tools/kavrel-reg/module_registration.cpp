#include "module_registration.h"

#include <dlfcn.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "kvwin/component_module.h"
#include "output_file.h"

namespace kavrel_reg {

namespace {

int Fail(const std::string& message) {
    std::fprintf(stderr, "kavrel-reg: %s\n", message.c_str());
    return 1;
}

std::string HexCode(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

// A loaded module; unloaded when the holder goes.
class LoadedModule {
  public:
    explicit LoadedModule(const std::string& path)
        : handle_(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
    ~LoadedModule() {
        if (handle_)
            ::dlclose(handle_);
    }
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;
    void* get() const { return handle_; }

  private:
    void* handle_;
};

// The module's declared classes; false (with the reason on standard error) when it has none.
bool ReadDeclarations(const LoadedModule& module, const std::string& path,
                      const kvwin::ComponentClass*& table, std::size_t& count) {
    if (!module.get()) {
        const char* why = ::dlerror();
        Fail(path + ": cannot load the module: " + (why ? why : "unknown error"));
        return false;
    }
    auto get = reinterpret_cast<LPFNGETCLASSDECLARATIONS>(
        ::dlsym(module.get(), "DllGetClassDeclarations"));
    if (!get) {
        Fail(path + ": the module declares no classes (no DllGetClassDeclarations)");
        return false;
    }
    table = nullptr;
    count = 0;
    HRESULT hr = get(&table, &count);
    if (FAILED(hr) || (count && !table)) {
        Fail(path + ": DllGetClassDeclarations failed: " + HexCode(hr));
        return false;
    }
    return true;
}

}  // namespace

int RegisterModule(const std::string& path, bool add) {
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved))
        return Fail(path + ": no such module");
    LoadedModule module(resolved);
    const kvwin::ComponentClass* table = nullptr;
    std::size_t count = 0;
    if (!ReadDeclarations(module, path, table, count))
        return 1;
    HRESULT hr = kvwin::RegisterComponentClasses(table, count, resolved, add);
    if (FAILED(hr))
        return Fail(path + ": the registry refused a change: " + HexCode(hr));
    std::printf("%s %zu class%s of %s\n", add ? "registered" : "unregistered", count,
                count == 1 ? "" : "es", resolved);
    return 0;
}

int WriteClassFile(const std::string& path, const std::string& out) {
    LoadedModule module(path);
    const kvwin::ComponentClass* table = nullptr;
    std::size_t count = 0;
    if (!ReadDeclarations(module, path, table, count))
        return 1;
    const std::string text = kvwin::FormatClassFile(table, count);
    if (out == "-") {
        std::fputs(text.c_str(), stdout);
        return 0;
    }
    // Written aside and renamed, so a reader never sees half a file.
    std::string why;
    if (!WriteOutputFile(out, text, why))
        return Fail(out + ": cannot write the file: " + why);
    return 0;
}

}  // namespace kavrel_reg
