// Reads class registrations from HKEY_CLASSES_ROOT. Thread safe (the registry is, and the
// cache of answers is guarded by a mutex of its own).
#pragma once

#include <optional>
#include <string>

namespace kvwin::com_detail {

// The default value (REG_SZ or REG_EXPAND_SZ) of HKCR\<subkey>, or nothing when the key or
// the value is missing or of another type.
//
// Answers are kept and given again while the machine hive is unchanged: every call first
// reads the hive's change stamp (the header of the hive's shared log index, no transaction),
// and a change made by any process, or a new connection to the hive (another state root, a
// forked child), drops them all. So an activation asks the registry once per class rather
// than on every call.
std::optional<std::u16string> ReadClassesRootDefault(const std::u16string& subkey);

}  // namespace kvwin::com_detail
