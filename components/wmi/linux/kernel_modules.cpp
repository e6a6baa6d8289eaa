#include "linux/kernel_modules.h"

#include <algorithm>

#include "linux/text_util.h"

namespace kvlinux {

std::vector<ProcModule> ParseProcModules(std::string_view content) {
    std::vector<ProcModule> modules;
    for (std::string_view line : SplitLines(content)) {
        const auto fields = SplitFields(line);
        if (fields.size() < 5)
            continue;
        auto size = ParseUnsigned(fields[1]);
        if (!size)
            continue;
        modules.push_back({std::string(fields[0]), *size, std::string(fields[4])});
    }
    return modules;
}

std::vector<KernelModule> ReadKernelModules(const std::string& sys_root,
                                            const std::string& proc_root) {
    std::map<std::string, KernelModule> modules;
    for (const std::string& name : ListFolder(sys_root + "/module")) {
        KernelModule m;
        m.name = name;
        const std::string dir = sys_root + "/module/" + name;
        m.loadable = ReadFirstLine(dir + "/initstate").has_value();
        m.version = ReadFirstLine(dir + "/version");
        modules.emplace(name, std::move(m));
    }
    if (auto text = ReadFileText(proc_root + "/modules")) {
        for (ProcModule& p : ParseProcModules(*text)) {
            KernelModule& m = modules[p.name];
            m.name = p.name;
            m.loadable = true;
            m.size = p.size;
            m.state = std::move(p.state);
        }
    }
    std::vector<KernelModule> out;
    out.reserve(modules.size());
    for (auto& [name, module] : modules)
        out.push_back(std::move(module));
    return out;
}

std::map<std::string, std::string> ParseModulesDep(std::string_view content,
                                                   const std::string& module_dir) {
    std::map<std::string, std::string> files;
    for (std::string_view line : SplitLines(content)) {
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0)
            continue;
        const std::string_view path = line.substr(0, colon);
        std::string name(path.substr(path.rfind('/') + 1));
        name = name.substr(0, name.find(".ko"));
        std::replace(name.begin(), name.end(), '-', '_');
        files.emplace(std::move(name),
                      path[0] == '/' ? std::string(path) : module_dir + "/" + std::string(path));
    }
    return files;
}

}  // namespace kvlinux
