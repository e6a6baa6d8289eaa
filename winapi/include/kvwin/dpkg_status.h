// The packages of the dpkg database (<admin dir>/status, /var/lib/dpkg by default).
//
// Pure parsing plus file reads; safe from any thread. A DpkgInfoFolder is immutable once
// made and may be shared between threads.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kvwin/safe_open.h"
#include "win/types.h"

namespace kvwin {

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
    std::string multi_arch;  // "same", "foreign", "allowed", or empty

    // Files of the package are on the machine: every state but "not-installed" and
    // "config-files".
    KVWIN_API bool FilesPresent() const;
    // Fully installed and configured ("installed", or waiting only on triggers).
    KVWIN_API bool Configured() const;
};

// Parses the status file: stanzas separated by blank lines, "Field: value" lines, and
// continuation lines (starting with a space or tab) that extend the previous field; " ." in
// a continuation line stands for an empty line. Stanzas without a Package are skipped.
// One pass over `content`; fields the struct does not keep are skipped unread.
KVWIN_API std::vector<DpkgPackage> ParseDpkgStatus(std::string_view content);

// Whether a reader wants each package's long description or its one-line summary only.
enum class DpkgDescription { kFull, kSummaryOnly };

// The same packages, in the same order, each handed to `visit` in turn instead of kept: the
// package passed is reused for the next stanza (its strings keep their storage), so a caller
// that copies only what it needs reads a large database without a string per field. With
// kSummaryOnly, `description` stays empty and its lines are skipped unread.
KVWIN_API void ForEachDpkgPackage(std::string_view content,
                                  const std::function<void(const DpkgPackage&)>& visit,
                                  DpkgDescription wanted = DpkgDescription::kFull);

// The packages of <admin_dir>/status; empty when it cannot be read. The file is read up to
// 256 MiB.
KVWIN_API std::vector<DpkgPackage> ReadDpkgStatus(const std::string& admin_dir = "/var/lib/dpkg");

// The folder of the packages' file lists, <admin_dir>/info, opened once for many look-ups.
class DpkgInfoFolder {
  public:
    KVWIN_API explicit DpkgInfoFolder(const std::string& admin_dir);

    // When the package was last installed or upgraded: the modification time of its file
    // list (seconds since 1970), which dpkg rewrites at every install or upgrade; nullopt
    // when there is none. The list is "<name>:<arch>.list" for "Multi-Arch: same" packages
    // and "<name>.list" for the others; one look-up per package where the database agrees
    // with the folder.
    KVWIN_API std::optional<std::int64_t> InstallTime(const DpkgPackage& package) const;

  private:
    UniqueFd fd_;
};

// DpkgInfoFolder(admin_dir).InstallTime(package), for a single package.
KVWIN_API std::optional<std::int64_t> PackageInstallTime(const std::string& admin_dir,
                                                         const DpkgPackage& package);

}  // namespace kvwin
