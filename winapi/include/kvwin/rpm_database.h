// The packages of an rpm database in its SQLite form (/var/lib/rpm/rpmdb.sqlite, the format
// of rpm 4.16 and later). The older Berkeley DB form (/var/lib/rpm/Packages) is not read.
//
// What is read: the table `Packages` (columns `hnum` INTEGER, `blob` BLOB), one row per
// installed package, the blob being the package's header as rpm stores it:
//
//   int32 index count (il), int32 data length (dl)        both big-endian
//   il index entries of 16 bytes: int32 tag, uint32 type, int32 offset, uint32 count
//   dl bytes of data, each entry's value at its offset
//
// Tags used: NAME (1000), VERSION (1001), RELEASE (1002), EPOCH (1003), SUMMARY (1004),
// INSTALLTIME (1008), SIZE (1009), VENDOR (1011), URL (1020), ARCH (1022), LONGSIZE (5009).
// Strings are NUL-terminated in the data; SUMMARY is an i18n string table whose first
// entry is the untranslated text.
//
// The parser trusts nothing in a blob: counts and offsets are checked against its size, a
// string must end inside the data, and a malformed blob yields no package. The database is
// opened read-only (and, where this process may not share rpm's locks, as an immutable
// file). Safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "win/types.h"

namespace kvwin {

struct RpmPackage {
    std::string name, version, release, arch, vendor, summary, url;
    std::optional<std::uint32_t> epoch;
    std::optional<std::int64_t> install_time;  // seconds since 1970
    std::optional<std::uint64_t> size;         // bytes of the installed files

    // "[epoch:]version-release", as rpm -q writes it.
    KVWIN_API std::string FullVersion() const;
};

// One header blob; nullopt when it is malformed or has no name.
KVWIN_API std::optional<RpmPackage> ParseRpmHeader(std::string_view blob);

// Every package of the database file at `path`, in row order; empty when there is no such
// file or it cannot be read as one. At most `limit` rows are read.
KVWIN_API std::vector<RpmPackage> ReadRpmDatabase(
    const std::string& path = "/var/lib/rpm/rpmdb.sqlite", size_t limit = 200000);

}  // namespace kvwin
