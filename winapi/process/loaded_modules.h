// The modules mapped into this process, as the module functions see them.
#pragma once

#include <link.h>

#include <string>
#include <vector>

namespace kvwin {

struct LoadedModule {
    uintptr_t base = 0;  // lowest address of the image: its HMODULE
    uintptr_t end = 0;   // one past the highest loaded address
    std::string path;    // as the loader knows it; the executable's from /proc/self/exe
    bool executable = false;
};

// Every loaded module, the executable first. Built fresh on each call from the loader's
// own list (dl_iterate_phdr holds the loader lock while it walks), so it is safe from any
// thread; a module unloaded right after the call is simply stale.
std::vector<LoadedModule> LoadedModules();

// The file name of the running executable.
std::string ExecutablePath();

}  // namespace kvwin
