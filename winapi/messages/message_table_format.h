// The compiled message table: the bytes the message compiler writes and the layer reads.
//
// The same bytes serve as a built-in table (embedded in the platform library as an array)
// and as a message module file on disk (such as ZorAgentExt.dll). All numbers are little
// endian; offsets count from the start of the table.
//
//   header, 16 bytes
//     0  char[4]  magic "KVMT"
//     4  u16      format version, 1
//     6  u16      language count L
//     8  u32      total size in bytes
//    12  u32      reserved, 0
//   language directory, L entries of 8 bytes, by ascending language id
//     0  u16      language id
//     2  u16      reserved, 0
//     4  u32      offset of the language's message resource
//   message resources, one per language, each laid out as a message table inside a
//   Windows image is, so one reader serves both:
//     0  u32      block count B
//     4  B blocks of 12 bytes: u32 lowest id, u32 highest id, u32 offset of the block's
//        first entry (counted from the start of this resource)
//     entries, one per id from lowest to highest in each block:
//        u16 entry length in bytes (header included, a multiple of 4)
//        u16 flags: 1 = the text is UTF-16, 0 = 8-bit (read as UTF-8)
//        the text, NUL-terminated, padded with NULs to the entry length
//
// Readers check every offset and length against the table's size: a damaged file gives
// "no such message", never a read outside it.
#pragma once

#include <cstdint>

namespace kvmc {

inline constexpr char kTableMagic[4] = {'K', 'V', 'M', 'T'};
inline constexpr uint16_t kTableVersion = 1;
inline constexpr uint32_t kTableHeaderSize = 16;
inline constexpr uint32_t kLanguageEntrySize = 8;
inline constexpr uint32_t kBlockSize = 12;
inline constexpr uint16_t kEntryUnicode = 0x0001;

}  // namespace kvmc
