#include "linux/systemd_units.h"

#include <algorithm>
#include <set>

#include "kvwin/ascii_case.h"
#include "linux/processes.h"
#include "linux/text_util.h"

namespace kvlinux {

UnitFile ParseUnitFile(std::string_view content) {
    UnitFile unit;
    std::string section;
    std::string pending;  // a line being continued with a trailing backslash
    for (std::string_view raw : SplitLines(content)) {
        std::string_view line = Trim(raw);
        if (pending.empty() && (line.empty() || line.front() == '#' || line.front() == ';'))
            continue;
        if (!line.empty() && line.back() == '\\') {
            // The backslash joins the lines with one space.
            pending += Trim(line.substr(0, line.size() - 1));
            pending += ' ';
            continue;
        }
        std::string full = pending + std::string(line);
        pending.clear();
        std::string_view text = Trim(full);
        if (text.empty())
            continue;
        if (text.front() == '[' && text.back() == ']') {
            section = std::string(text.substr(1, text.size() - 2));
            continue;
        }
        size_t equals = text.find('=');
        if (equals == std::string_view::npos)
            continue;
        std::string key(Trim(text.substr(0, equals)));
        std::string value(Trim(text.substr(equals + 1)));
        auto& values = unit[section][key];
        if (value.empty())
            values.clear();
        else
            values.push_back(std::move(value));
    }
    return unit;
}

UnitLocations MachineUnitLocations(const std::string& root) {
    UnitLocations where;
    for (const char* dir : {"/etc/systemd/system", "/run/systemd/system", "/lib/systemd/system",
                            "/usr/lib/systemd/system"})
        where.unit_dirs.push_back(UnderRoot(root, dir));
    where.config_dir = UnderRoot(root, "/etc/systemd/system");
    // /run/systemd/system exists exactly when systemd booted the machine (sd_booted(3)).
    if (IsFolder(UnderRoot(root, "/run/systemd/system")))
        where.runtime_dir = UnderRoot(root, "/run/systemd");
    where.cgroup_root = UnderRoot(root, "/sys/fs/cgroup");
    return where;
}

namespace {

std::optional<std::string> First(const UnitFile& unit, const std::string& section,
                                 const std::string& key) {
    auto s = unit.find(section);
    if (s == unit.end())
        return std::nullopt;
    auto k = s->second.find(key);
    if (k == s->second.end() || k->second.empty())
        return std::nullopt;
    return k->second.front();
}

std::string StripExecPrefixes(std::string command) {
    size_t i = 0;
    while (i < command.size() &&
           std::string_view("@-:+!").find(command[i]) != std::string_view::npos)
        ++i;
    return command.substr(i);
}

// The enabled units: those linked from some *.wants or *.requires folder of the
// configuration.
std::set<std::string> EnabledUnits(const std::string& config_dir) {
    std::set<std::string> enabled;
    for (const std::string& dir : ListFolder(config_dir)) {
        if (!EndsWith(dir, ".wants") && !EndsWith(dir, ".requires"))
            continue;
        for (std::string& name : ListFolder(config_dir + "/" + dir))
            enabled.insert(std::move(name));
    }
    return enabled;
}

}  // namespace

std::vector<ServiceUnit> ReadServiceUnits(const UnitLocations& where, std::string_view only_unit) {
    std::map<std::string, std::string> files;  // unit name -> file, highest folder wins
    std::set<std::string> masked, aliases;
    for (const std::string& dir : where.unit_dirs) {
        for (const std::string& name : ListFolder(dir)) {
            if (!EndsWith(name, ".service") || files.count(name) || masked.count(name) ||
                aliases.count(name))
                continue;
            if (!only_unit.empty() && !kvwin::EqualsAsciiNoCase(name, only_unit))
                continue;
            if (name.find("@.") != std::string::npos)
                continue;  // a template
            const std::string path = dir + "/" + name;
            if (auto target = ReadLink(path)) {
                if (*target == "/dev/null") {
                    masked.insert(name);
                    continue;
                }
                std::string target_name = target->substr(target->rfind('/') + 1);
                if (target_name != name) {
                    aliases.insert(name);
                    continue;
                }
            }
            if (!IsFolder(path))
                files[name] = path;
        }
    }
    const std::set<std::string> enabled = EnabledUnits(where.config_dir);
    std::vector<ServiceUnit> units;
    auto add = [&](const std::string& name, const std::string& path, const UnitFile& file) {
        ServiceUnit unit;
        unit.unit = name;
        unit.path = path;
        unit.description = First(file, "Unit", "Description").value_or("");
        if (auto exec = First(file, "Service", "ExecStart"))
            unit.exec_start = StripExecPrefixes(*exec);
        unit.type = First(file, "Service", "Type").value_or("simple");
        unit.user = First(file, "Service", "User");
        if (auto s = file.find("Install"); s != file.end()) {
            if (auto w = s->second.find("WantedBy"); w != s->second.end()) {
                for (const std::string& value : w->second)
                    for (std::string_view v : SplitFields(value))
                        unit.wanted_by.emplace_back(v);
            }
        }
        if (masked.count(name))
            unit.start_mode = UnitStartMode::Disabled;
        else if (enabled.count(name))
            unit.start_mode = UnitStartMode::Auto;
        if (!where.runtime_dir.empty()) {
            bool active = ReadLink(where.runtime_dir + "/units/invocation:" + name).has_value();
            unit.run_state = active ? UnitRunState::Running : UnitRunState::Stopped;
            auto procs =
                ReadFileText(where.cgroup_root + "/system.slice/" + name + "/cgroup.procs");
            if (active && procs) {
                for (std::string_view line : SplitLines(*procs)) {
                    if (auto pid = ParseSigned(line))
                        unit.main_pid = unit.main_pid ? std::min(*unit.main_pid, *pid) : *pid;
                }
            }
        }
        units.push_back(std::move(unit));
    };
    for (const auto& [name, path] : files)
        add(name, path, ParseUnitFile(ReadFileText(path).value_or("")));
    // A masked unit is still a service of the machine, disabled: listed with what its real
    // file in a lower folder says, or with nothing but its name when the package itself
    // ships it masked (Debian masks the init scripts systemd replaces this way).
    for (const std::string& name : masked) {
        std::string path;
        for (const std::string& dir : where.unit_dirs) {
            if (!ReadLink(dir + "/" + name) && ReadFileText(dir + "/" + name)) {
                path = dir + "/" + name;
                break;
            }
        }
        add(name, path, path.empty() ? UnitFile{} : ParseUnitFile(ReadFileText(path).value_or("")));
    }
    std::sort(units.begin(), units.end(),
              [](const ServiceUnit& a, const ServiceUnit& b) { return a.unit < b.unit; });
    return units;
}

std::vector<ServiceUnit> ReadServiceUnits(const std::string& root) {
    return ReadServiceUnits(MachineUnitLocations(root));
}

}  // namespace kvlinux
