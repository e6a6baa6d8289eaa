// Reads class registrations from HKEY_CLASSES_ROOT. Thread safe (the registry is).
#pragma once

#include <optional>
#include <string>

namespace kvwin::com_detail {

// The default value (REG_SZ or REG_EXPAND_SZ) of HKCR\<subkey>, or nothing when the key or
// the value is missing or of another type.
std::optional<std::u16string> ReadClassesRootDefault(const std::u16string& subkey);

}  // namespace kvwin::com_detail
