// Registry value text for kavrel-reg: type names, parsing data given on the command line,
// and rendering stored bytes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "win/registry.h"

namespace kavrel_reg {

struct RootKey {
    HKEY key;
    std::string name;  // the long name, "HKEY_LOCAL_MACHINE"
};

// "HKLM\Software\x" → HKEY_LOCAL_MACHINE and "Software\x". Accepts the short and long root
// names in any case; nullopt for an unknown root.
std::optional<RootKey> SplitKeyPath(const std::string& path, std::string& subkey);

std::optional<DWORD> TypeFromName(const std::string& name);
std::string TypeName(DWORD type);

// The bytes stored for `data` as `type`: text as UTF-16 with its terminator, REG_MULTI_SZ
// items separated by "\0" in the data, numbers in decimal or 0x hex, binary as hex digits.
// Returns false with a reason for data that does not fit the type.
bool EncodeData(DWORD type, const std::string& data, std::vector<BYTE>& bytes, std::string& error);

// Readable text for stored bytes, as "reg query" shows them.
std::string RenderData(DWORD type, const std::vector<BYTE>& bytes);

}  // namespace kavrel_reg
