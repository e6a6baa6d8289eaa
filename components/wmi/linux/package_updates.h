// The package upgrades the package manager's logs record: apt's history
// (/var/log/apt/history.log and its rotated copies) and dpkg's log (/var/log/dpkg.log and
// its rotated copies). Rotated copies that are compressed (".gz") are not read.
//
// Each upgrade is one package going from one version to another at a time the log gives.
// Installs and removals are not upgrades and are left out. Pure parsing plus bounded file
// reads; safe from any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kvlinux {

struct PackageUpgrade {
    std::string package;       // "libssl3:amd64" (architecture as the log writes it)
    std::string old_version;   // "3.0.11-1~deb12u1"
    std::string version;       // "3.0.11-1~deb12u2"
    std::string date;          // "2024-03-05", the log's local date
    std::string time;          // "10:12:33"
    std::string requested_by;  // the user who ran apt ("alice"); empty when not told
    bool unattended = false;   // run by unattended-upgrade (Debian's automatic security updates)
};

// The upgrades of apt's history text: blocks of "Start-Date:", "Commandline:",
// "Requested-By:", "Upgrade: pkg:arch (old, new), ..." and "End-Date:" lines. A malformed
// entry is skipped; at most `limit` upgrades are returned.
std::vector<PackageUpgrade> ParseAptHistory(std::string_view text, size_t limit = 100000);

// The upgrades of dpkg's log text: "2024-03-05 10:12:35 upgrade pkg:arch old new" lines.
std::vector<PackageUpgrade> ParseDpkgLog(std::string_view text, size_t limit = 100000);

// Every upgrade of the logs under `root`, oldest first; one entry per package and new
// version (apt's history wins over dpkg's log, which adds upgrades made without apt).
std::vector<PackageUpgrade> ReadPackageUpgrades(const std::string& root = "/");

}  // namespace kvlinux
