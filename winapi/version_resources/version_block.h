// Writing a version block (the layout VerQueryValueW reads), for the build's version-record
// generator and for tests that make images. Independent of the platform library, which
// embeds what the generator writes.
//
// A block is a tree of nodes, each 4-byte aligned:
//   u16 length of the node with its children, u16 value length (characters for text,
//   bytes for binary), u16 type (1 text, 0 binary), the key (UTF-16, NUL-terminated),
//   padding to 4, the value, padding to 4, the children.
// The root is "VS_VERSION_INFO" with a VS_FIXEDFILEINFO value and two children:
// "StringFileInfo" (one table "<lang><codepage>" in 8 hex digits holding name/text pairs)
// and "VarFileInfo" ("Translation": language and code page as two u16).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kvvr {

struct VersionRecord {
    uint16_t file_version[4] = {0, 0, 0, 0};
    uint16_t product_version[4] = {0, 0, 0, 0};
    uint32_t file_flags = 0;
    uint32_t file_os = 0x00040004;  // VOS_NT_WINDOWS32
    uint32_t file_type = 2;         // VFT_DLL
    uint16_t language = 0x0409;
    uint16_t code_page = 1200;
    std::vector<std::pair<std::u16string, std::u16string>> strings;  // name, text
};

std::vector<uint8_t> BuildVersionBlock(const VersionRecord& record);

// "1.2.3" or "1.2.3.4" into four parts (missing parts 0). False for anything else.
bool ParseVersion(const std::string& text, uint16_t parts[4]);

}  // namespace kvvr
