// Key handles: what an HKEY names, and the table of keys this process has open.
//
// An opened key's handle names a hive and a key id, with the access it was opened for.
// The predefined keys name the root of their hive (HKEY_CLASSES_ROOT names the key
// SOFTWARE\Classes of the machine hive). Handle values count up from 0x10000 in steps of
// four and are never reused, so a stale handle is always ERROR_INVALID_HANDLE.
//
// Thread safety: the table has its own lock; every function is safe from any thread.
#pragma once

#include <string>
#include <vector>

#include "kvwin/registry_store.h"

namespace kvwin::registry {

struct KeyRef {
    Hive hive = Hive::Machine;
    KeyId id = 0;                      // the key, or 0 when `base` names it
    std::vector<std::u16string> base;  // path from the hive root (predefined keys)
    REGSAM access = 0;
    bool predefined = false;
};

// What a handle names; ERROR_INVALID_HANDLE when it is neither predefined nor open.
LONG ResolveKey(HKEY key, KeyRef& out);

// Enters an opened key and returns its handle.
HKEY InsertKey(KeyRef ref);

// Closes a handle; predefined keys succeed and stay usable.
LONG CloseKey(HKEY key);

// Number of open key handles, for leak checks in tests.
KVWIN_API size_t OpenKeyCount();

// The key a reference stands for inside a transaction. Throws ERROR_KEY_DELETED when an
// opened key was deleted; a predefined key's path is created when `create` is set.
KeyId BaseKey(Session& session, const KeyRef& ref, bool create);

}  // namespace kvwin::registry
