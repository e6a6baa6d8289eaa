// .reg text for kavrel-reg export and import: parsing a whole file into the changes it asks
// for, and rendering keys and values back into the same form.
//
// The text starts with "Windows Registry Editor Version 5.00"; sections are [ROOT\path]
// (created) or [-ROOT\path] (deleted with everything below); value lines are
// "name"="text", @=... for the default value, dword:, hex:, hex(N): for any other type, and
// "name"=- to delete a value. A line ending in a backslash goes on in the next line.
#pragma once

#include <string>
#include <vector>

#include "win/registry.h"

namespace kavrel_reg {

struct RegFileValue {
    std::u16string name;  // empty: the default value
    bool remove = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    int line = 0;
};

struct RegFileSection {
    std::string path;  // as written, "HKEY_LOCAL_MACHINE\Software\x"
    HKEY root = nullptr;
    std::u16string subkey;
    bool remove = false;
    int line = 0;
    std::vector<RegFileValue> values;
};

// Parses a whole file: UTF-8 (with or without a byte order mark) or UTF-16LE with its byte
// order mark; CR LF or LF line ends. Returns false with "line N: reason" at the first fault.
bool ParseRegFile(const std::string& bytes, std::vector<RegFileSection>& sections,
                  std::string& error);

// The first line of every file.
inline constexpr const char* kRegFileHeader = "Windows Registry Editor Version 5.00";

// "[HKEY_LOCAL_MACHINE\path]".
std::string RenderSectionLine(const std::string& path);

// One value line (possibly continued over several lines), without the final line end.
// Text that reads back to exactly the same bytes is written as "text" or dword:; anything
// else (a missing terminator, an odd size, a line break in the text) as hex(N):.
std::string RenderValueLine(const std::u16string& name, DWORD type, const std::vector<BYTE>& data);

}  // namespace kavrel_reg
