// The packages of the dpkg database (/var/lib/dpkg/status).
//
// Pure parsing plus file reads; safe from any thread.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvlinux {

struct DpkgPackage {
    std::string name;          // "Package"
    std::string architecture;  // "amd64", "all"
    std::string version;
    std::string want, flag, state;  // the three words of "Status"
    std::string maintainer;
    std::string source;       // "Source" without its "(version)", or empty
    std::string summary;      // the first line of "Description"
    std::string description;  // the rest of "Description", continuation lines joined
    std::optional<std::uint64_t> installed_size_kib;
    std::string homepage;

    // Files of the package are on the machine: every state but "not-installed" and
    // "config-files".
    bool FilesPresent() const;
    // Fully installed and configured ("installed", or waiting only on triggers).
    bool Configured() const;
};

// Parses the status file: stanzas separated by blank lines, "Field: value" lines, and
// continuation lines (starting with a space or tab) that extend the previous field; " ." in
// a continuation line stands for an empty line. Stanzas without a Package are skipped.
std::vector<DpkgPackage> ParseDpkgStatus(std::string_view content);

std::vector<DpkgPackage> ReadDpkgStatus(const std::string& admin_dir = "/var/lib/dpkg");

// When the package was last installed or upgraded: the modification time of
// <admin_dir>/info/<name>[:<arch>].list (seconds since 1970), or nullopt.
std::optional<std::int64_t> PackageInstallTime(const std::string& admin_dir,
                                               const DpkgPackage& package);

}  // namespace kvlinux
