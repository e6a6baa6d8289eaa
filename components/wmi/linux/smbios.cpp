#include "linux/smbios.h"

#include <functional>

#include "linux/text_util.h"

namespace kvlinux {

namespace {

struct Structure {
    std::uint8_t type;
    std::string_view formatted;             // the formatted area, header included
    std::vector<std::string_view> strings;  // string 1 is strings[0]
};

// Calls `visit` for each structure; stops at the end-of-table structure (type 127), at a
// structure whose length is impossible, or at a string set without its double NUL.
void Walk(std::string_view table, const std::function<void(const Structure&)>& visit) {
    size_t at = 0;
    while (at + 4 <= table.size()) {
        const std::uint8_t type = static_cast<std::uint8_t>(table[at]);
        const std::uint8_t length = static_cast<std::uint8_t>(table[at + 1]);
        if (length < 4 || at + length > table.size())
            return;
        Structure s{type, table.substr(at, length), {}};
        size_t pos = at + length;
        // The string set: NUL-terminated strings, ended by an empty one.
        while (pos < table.size() && table[pos] != '\0') {
            const size_t end = table.find('\0', pos);
            if (end == std::string_view::npos)
                return;
            s.strings.push_back(table.substr(pos, end - pos));
            pos = end + 1;
        }
        if (s.strings.empty())
            ++pos;  // no strings: two NULs
        if (pos >= table.size() && !s.strings.empty())
            return;
        visit(s);
        if (type == 127)
            return;
        at = pos + 1;
    }
}

std::uint8_t Byte(const Structure& s, size_t offset) {
    return offset < s.formatted.size() ? static_cast<std::uint8_t>(s.formatted[offset]) : 0;
}

std::uint16_t Word(const Structure& s, size_t offset) {
    return static_cast<std::uint16_t>(Byte(s, offset) | Byte(s, offset + 1) << 8);
}

std::uint64_t Little(const Structure& s, size_t offset, size_t bytes) {
    std::uint64_t value = 0;
    for (size_t i = bytes; i-- > 0;)
        value = value << 8 | Byte(s, offset + i);
    return value;
}

std::string String(const Structure& s, size_t offset) {
    const std::uint8_t index = Byte(s, offset);
    if (index == 0 || index > s.strings.size())
        return "";
    return std::string(Trim(s.strings[index - 1]));
}

}  // namespace

std::vector<SystemSlot> ParseSmbiosSlots(std::string_view table) {
    std::vector<SystemSlot> slots;
    Walk(table, [&](const Structure& s) {
        if (s.type != 9 || s.formatted.size() < 0x0C)
            return;
        SystemSlot slot;
        slot.designation = String(s, 0x04);
        slot.type = Byte(s, 0x05);
        slot.data_width = Byte(s, 0x06);
        slot.current_usage = Byte(s, 0x07);
        slot.id = Word(s, 0x09);
        slot.characteristics1 = Byte(s, 0x0B);
        slot.characteristics2 = Byte(s, 0x0C);
        if (s.formatted.size() >= 0x11 && Byte(s, 0x0F) != 0xFF) {
            slot.segment = Word(s, 0x0D);
            slot.bus = Byte(s, 0x0F);
            slot.device = static_cast<std::uint8_t>(Byte(s, 0x10) >> 3);
            slot.function = static_cast<std::uint8_t>(Byte(s, 0x10) & 0x07);
        }
        slots.push_back(std::move(slot));
    });
    return slots;
}

std::vector<MemoryArray> ParseSmbiosMemoryArrays(std::string_view table) {
    std::vector<MemoryArray> arrays;
    Walk(table, [&](const Structure& s) {
        if (s.type != 16 || s.formatted.size() < 0x0F)
            return;
        MemoryArray array;
        array.location = Byte(s, 0x04);
        array.use = Byte(s, 0x05);
        array.error_correction = Byte(s, 0x06);
        const std::uint64_t capacity = Little(s, 0x07, 4);
        // 0x80000000: the size is in the extended field, in bytes.
        if (capacity == 0x80000000 && s.formatted.size() >= 0x17)
            array.max_capacity_kib = Little(s, 0x0F, 8) / 1024;
        else
            array.max_capacity_kib = capacity;
        array.devices = Word(s, 0x0D);
        arrays.push_back(array);
    });
    return arrays;
}

std::string ReadSmbiosTable(const std::string& path) {
    return ReadFileText(path).value_or("");
}

}  // namespace kvlinux
