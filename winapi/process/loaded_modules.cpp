// Walking the loader's list of mapped objects.
#include "loaded_modules.h"

#include <unistd.h>

#include <climits>
#include <cstring>

namespace kvwin {

namespace {

int Collect(struct dl_phdr_info* info, size_t, void* data) {
    auto& modules = *static_cast<std::vector<LoadedModule>*>(data);
    LoadedModule module;
    bool any = false;
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_LOAD)
            continue;
        const uintptr_t page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
        const uintptr_t start = (info->dlpi_addr + ph.p_vaddr) & ~(page - 1);
        const uintptr_t stop = info->dlpi_addr + ph.p_vaddr + ph.p_memsz;
        if (!any || start < module.base)
            module.base = start;
        if (!any || stop > module.end)
            module.end = stop;
        any = true;
    }
    if (!any)
        return 0;
    const bool first = modules.empty();
    if (first) {
        module.executable = true;
        module.path = ExecutablePath();
    } else {
        if (!info->dlpi_name || !*info->dlpi_name)
            return 0;  // the vDSO and the like
        module.path = info->dlpi_name;
    }
    modules.push_back(std::move(module));
    return 0;
}

}  // namespace

std::string ExecutablePath() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0)
        return std::string();
    return std::string(buffer, static_cast<size_t>(n));
}

std::vector<LoadedModule> LoadedModules() {
    std::vector<LoadedModule> modules;
    ::dl_iterate_phdr(Collect, &modules);
    return modules;
}

}  // namespace kvwin
