// Where the layer keeps machine-wide state, and how Windows paths reach the file system.
//
// The state root holds the registry store, the folders that stand for the Windows
// drive (C: maps to the root itself), and the namespace of named objects. It is chosen,
// on every call, from:
//   1. KAVREL_ROOT, when set and not empty;
//   2. for root: /var/lib/kavrel;
//   3. for anyone else: $XDG_DATA_HOME/kavrel, or ~/.local/share/kavrel.
// Resolving on every call lets a test (or a tool) point one process at a fresh root.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "win/types.h"

namespace kvwin {

// The state root as an absolute native path, without a trailing slash.
KVWIN_API std::string StateRoot();

// Sub-locations of the root. Each is created on demand by the part that uses it.
KVWIN_API std::string RegistryDirectory();     // <root>/registry
KVWIN_API std::string NamedObjectDirectory();  // <root>/objects

// One row of the drive table: a drive letter and the native folder it stands for.
struct DriveMapping {
    char letter;         // upper case, 'A'..'Z'
    std::string folder;  // native absolute path
};

// The drive table: C: is the state root; KAVREL_DRIVE_<L>=/path adds further drives.
KVWIN_API std::vector<DriveMapping> DriveTable();

// Turns a path as the library writes it into a native path: strips "\\?\" (and
// "\\?\UNC\"), maps a drive letter through the drive table, and turns '\' into '/'.
// Native absolute paths pass through unchanged; relative paths stay relative.
// Returns false (ERROR_INVALID_DRIVE, ERROR_BAD_NETPATH) for an unmapped drive or a UNC path.
KVWIN_API bool ToNativePath(std::u16string_view path, std::string& native);

// The reverse for paths under a mapped drive: "/root/x/y" gives "C:\x\y"; other native
// paths are returned with '/' kept.
KVWIN_API std::u16string FromNativePath(std::string_view native);

// Text listing the locations in use (root, registry, named objects, drives), one per line,
// for the tools' --where option.
KVWIN_API std::string DescribeStateLocations();

}  // namespace kvwin
