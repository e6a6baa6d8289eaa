// Live keys: machine-hive subtrees whose content comes from the system, not from writers.
//
// A live key names a path below HKEY_LOCAL_MACHINE, a stamp function and a content
// function. The content is copied into the hive's store, replacing what was below the key,
// whenever the stamp differs from the one recorded in the store with the last copy; so every
// registry function reads it like any other key, and readers in other processes share one
// copy. Opening or creating a key through a path that names a live key (any component equal
// to the live key's own name) checks the stamp first. Keys at or below a live key are
// read-only: creating a subkey, setting or deleting a value and deleting a key there fail
// with ERROR_ACCESS_DENIED, and so does deleting a tree that holds a live key.
//
// The one live key is SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall: a subkey per
// package of the dpkg database whose files are on the machine, then one per package of the
// rpm database where there is one. The databases are /var/lib/dpkg and
// /var/lib/rpm/rpmdb.sqlite, or the folder KAVREL_DPKG_ADMIN_DIR and the file
// KAVREL_RPM_DATABASE name.
//
// Thread safety: every function is safe from any thread; refreshes of one store are
// serialised by its transactions.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kvwin/dpkg_status.h"
#include "kvwin/registry_store.h"
#include "kvwin/rpm_database.h"

namespace kvwin::registry {

struct LiveSubkey {
    std::u16string name;
    std::vector<ValueRecord> values;
};

// The Uninstall entries of a package list: one subkey per package whose files are present,
// named after the package (name:architecture when the name appears more than once), with
// DisplayName, DisplayVersion, Publisher, InstallDate (yyyymmdd, local time, of the
// package's file list), EstimatedSize (KiB, REG_DWORD) and, where known, Comments and
// URLInfoAbout. `admin_dir` is where the file lists are looked up.
KVWIN_API std::vector<LiveSubkey> UninstallEntries(const std::vector<DpkgPackage>& packages,
                                                   const std::string& admin_dir);

// The Uninstall entries of rpm packages: one subkey per package, named after it
// (name.arch when a name is installed for more than one architecture), with DisplayName,
// DisplayVersion ([epoch:]version-release), Publisher (the vendor), InstallDate (yyyymmdd,
// local time), EstimatedSize (KiB, REG_DWORD) and, where known, Comments (the summary) and
// URLInfoAbout. A name a dpkg package already has keeps the dpkg entry.
KVWIN_API std::vector<LiveSubkey> RpmUninstallEntries(const std::vector<RpmPackage>& packages);

// Brings the live keys that `path` names up to date in a machine-hive store. A refresh that
// fails leaves the previous copy; the failure code is returned for the caller to ignore.
LONG RefreshLiveKeys(Store& store, const std::vector<std::u16string>& path);

// Inside a transaction on `hive`: throws StoreError{ERROR_ACCESS_DENIED} when `key` is at or below
// a live key (or, with `holding`, when a live key is at or below `key`).
void DenyLiveWrite(Hive hive, Session& session, KeyId key, bool holding = false);

}  // namespace kvwin::registry
