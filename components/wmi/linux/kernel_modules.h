// Kernel modules: the loaded ones of /proc/modules, the built-in and loaded ones of
// /sys/module, and where each module file lies (modules.dep of the running kernel).
//
// Pure parsing plus file reads under a root; safe from any thread.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvlinux {

struct KernelModule {
    std::string name;                   // "ext4" (the kernel's spelling, '_' for '-')
    bool loadable = false;              // a module file that was loaded, not built into the kernel
    std::optional<std::string> state;   // /proc/modules: "Live", "Loading", "Unloading"
    std::optional<std::uint64_t> size;  // bytes in memory
    std::optional<std::string> version;
};

struct ProcModule {
    std::string name;
    std::uint64_t size = 0;
    std::string state;
};
// Parses /proc/modules ("name size refcount users state address").
std::vector<ProcModule> ParseProcModules(std::string_view content);

// Every module the kernel lists, in name order: the entries of /sys/module (those with an
// "initstate" are loadable modules), with the size and state of /proc/modules.
std::vector<KernelModule> ReadKernelModules(const std::string& sys_root = "/sys",
                                            const std::string& proc_root = "/proc");

// Module name -> file, from modules.dep content ("kernel/fs/ext4/ext4.ko.xz: deps...");
// names with '-' are keyed by the kernel's '_' spelling; paths are made absolute under
// `module_dir`.
std::map<std::string, std::string> ParseModulesDep(std::string_view content,
                                                   const std::string& module_dir);

}  // namespace kvlinux
