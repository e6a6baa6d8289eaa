// The system's services as systemd declares them, read from the unit files themselves, so
// that they can be listed where systemctl cannot run (a container without a service
// manager).
//
// Unit folders, highest precedence first: /etc/systemd/system, /run/systemd/system,
// /lib/systemd/system, /usr/lib/systemd/system. A name found in a higher folder hides the
// same name below it. A unit file that is a link to /dev/null is masked; a link to another
// unit name is an alias and is not listed again.
//
// Run state comes from the running manager only: when /run/systemd/system exists (systemd
// is the init system), a service is active when /run/systemd/units/invocation:<unit> exists
// (the manager keeps that link while the unit has an invocation), and its processes are
// those of its control group (/sys/fs/cgroup/system.slice/<unit>/cgroup.procs). Without a
// running manager the run state is unknown.
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

// An INI-style unit file: section name -> key -> values (a key may repeat).
using UnitFile = std::map<std::string, std::map<std::string, std::vector<std::string>>>;

// Parses a unit file: [Section] lines, Key=Value lines, '#' and ';' comments, and lines
// continued with a trailing backslash. An empty assignment ("ExecStart=") resets the list.
UnitFile ParseUnitFile(std::string_view content);

enum class UnitStartMode { Auto, Manual, Disabled };
enum class UnitRunState { Running, Stopped, Unknown };

struct ServiceUnit {
    std::string unit;  // "ssh.service"
    std::string path;  // the file read; empty for a masked unit with no file of its own
    std::string description;
    std::optional<std::string> exec_start;  // first ExecStart, prefixes (@-:+!) removed
    std::string type;                       // "simple", "forking", "oneshot", ...
    std::optional<std::string> user;        // User=
    std::vector<std::string> wanted_by;     // [Install] WantedBy=
    UnitStartMode start_mode = UnitStartMode::Manual;
    UnitRunState run_state = UnitRunState::Unknown;
    std::optional<std::int64_t> main_pid;  // the lowest pid of its control group
};

// Every service unit under `root` ("/" for the machine). Template units ("name@.service")
// are left out: only their instances run. In unit-name order.
std::vector<ServiceUnit> ReadServiceUnits(const std::string& root = "/");

// The same list for a prepared folder set (tests): unit folders in precedence order, the
// folder that holds the enablement links (*.wants/), and the manager's runtime folder (empty
// when no manager runs) and cgroup root.
struct UnitLocations {
    std::vector<std::string> unit_dirs;
    std::string config_dir;   // "/etc/systemd/system"
    std::string runtime_dir;  // "/run/systemd" or ""
    std::string cgroup_root;  // "/sys/fs/cgroup"
};
UnitLocations MachineUnitLocations(const std::string& root);
// With `only_unit` ("ssh.service", ASCII case-insensitive) set, the list holds that unit
// alone when it exists, and no other unit file is read.
std::vector<ServiceUnit> ReadServiceUnits(const UnitLocations& where,
                                          std::string_view only_unit = {});

}  // namespace kvlinux
