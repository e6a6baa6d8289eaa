// The registry's defaults: what a new machine hive holds from its first use.
//
// The built-in table lives in winapi/registry/registry_seed_table.cpp. Other parts of the
// layer (component registrations, for example) add entries with AddRegistrySeed before
// the registry is first used, or later: a hive checks for new entries whenever the set of
// entries has grown. Seeding only adds what is missing and never overwrites a value.
//
// Thread safety: AddRegistrySeed and SeedEntries are safe from any thread.
#pragma once

#include <string>
#include <vector>

#include "kvwin/os_release.h"
#include "win/registry.h"

namespace kvwin {

struct RegistrySeed {
    // Path below HKEY_LOCAL_MACHINE, '\' separated, e.g. u"SOFTWARE\\Classes\\CLSID\\{...}".
    std::u16string key;
    // Value name; empty for the default value. With type REG_NONE and no data only the key
    // is created.
    std::u16string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    // The data an earlier default left (same type), which this entry replaces where a store
    // still holds it unchanged; any other value already there is kept.
    std::vector<BYTE> replaces;
};

// Helpers that build entries with the exact Windows layout.
KVWIN_API RegistrySeed SeedString(std::u16string key, std::u16string name, std::u16string_view text,
                                  DWORD type = REG_SZ);
KVWIN_API RegistrySeed SeedDword(std::u16string key, std::u16string name, DWORD value);
KVWIN_API RegistrySeed SeedKey(std::u16string key);

// The descriptive values under SOFTWARE\Microsoft\Windows NT\CurrentVersion that name the
// distribution: ProductName (PRETTY_NAME, else NAME and VERSION), EditionID (VARIANT_ID,
// else ID, else "linux") and DisplayVersion (VERSION_ID, else BUILD_ID). The version numbers
// are not among them.
KVWIN_API std::vector<RegistrySeed> DistributionNames(const OsRelease& release);

KVWIN_API void AddRegistrySeed(std::vector<RegistrySeed> entries);

// The built-in entries followed by the added ones, and a number that grows with each add.
std::vector<RegistrySeed> SeedEntries(uint64_t* generation);

// That number alone, without copying the entries: what a hive compares on every use.
uint64_t SeedGeneration();

// What a new user hive (HKEY_CURRENT_USER) holds: the empty keys Windows always has there
// and that inventory scripts walk (the per-user Uninstall key). Fixed; applied as the
// machine entries are, once per file.
std::vector<RegistrySeed> UserSeedEntries();

}  // namespace kvwin
