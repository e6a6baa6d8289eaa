// Reading module files as data: a read-only mapping of a file, and the two places where
// such a file keeps the layer's resources.
//
//   - A Windows image (PE, "MZ"): its resource directory (type, name, language), read the
//     way Windows reads it, so message tables and version resources of real images work.
//   - An ELF object: a named section. The project's own shared objects carry their version
//     record in ".kavrel_version" and may carry a compiled message table in
//     ".kavrel_messages".
//   - A compiled message table file ("KVMT", see winapi/messages/message_table_format.h).
//
// Every reader checks each offset and size against the file: damaged or truncated input
// gives an error code, never a read outside the mapping. All functions are reentrant; a
// MappedFile may be read from many threads at once.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "win/types.h"

namespace kvwin {

using ByteSpan = std::span<const uint8_t>;

// A whole file mapped read-only (an empty file maps as an empty span). Move-only.
class KVWIN_API MappedFile {
  public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Maps a native path. Returns 0 or the Win32 error (ERROR_FILE_NOT_FOUND,
    // ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_BAD_FORMAT for a folder or a file
    // that cannot be mapped).
    DWORD Open(const std::string& native_path);
    ByteSpan bytes() const { return {static_cast<const uint8_t*>(data_), size_}; }

  private:
    void Reset();
    void* data_ = nullptr;
    size_t size_ = 0;
};

enum class ImageKind { Unknown, Pe, Elf, MessageTable };

KVWIN_API ImageKind DetectImage(ByteSpan file);

// Resource ids of a Windows image.
inline constexpr uint16_t kResourceTypeVersion = 16;       // RT_VERSION
inline constexpr uint16_t kResourceTypeMessageTable = 11;  // RT_MESSAGETABLE

struct ImageResource {
    uint16_t language = 0;
    ByteSpan data;
};

// Every resource of a numeric type in a PE image (all names, all languages, in directory
// order). Returns 0, or ERROR_BAD_FORMAT (not a readable image), ERROR_RESOURCE_DATA_NOT_FOUND
// (no resource directory, or one that points outside the file),
// ERROR_RESOURCE_TYPE_NOT_FOUND (no resource of that type).
KVWIN_API DWORD FindPeResources(ByteSpan image, uint16_t type, std::vector<ImageResource>& out);

// The contents of the named section of an ELF object. Returns 0, or ERROR_BAD_FORMAT (not
// a readable ELF file), ERROR_RESOURCE_DATA_NOT_FOUND (no such section, or one that lies
// outside the file).
KVWIN_API DWORD FindElfSection(ByteSpan image, std::string_view name, ByteSpan& out);

// The names the project gives its sections.
inline constexpr std::string_view kVersionSection = ".kavrel_version";
inline constexpr std::string_view kMessageSection = ".kavrel_messages";

}  // namespace kvwin
