// Mapped module files, PE resource directories and ELF sections.
#include "kvwin/image_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "kvwin/last_error.h"
#include "win/errors.h"

namespace kvwin {

namespace {

// Bounds-checked little-endian reads: a read past the end yields false.
class Reader {
  public:
    explicit Reader(ByteSpan bytes) : bytes_(bytes) {}
    bool Has(uint64_t offset, uint64_t length) const {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }
    bool U16(uint64_t at, uint32_t& v) const {
        if (!Has(at, 2))
            return false;
        v = bytes_[at] | (uint32_t{bytes_[at + 1]} << 8);
        return true;
    }
    bool U32(uint64_t at, uint32_t& v) const {
        uint32_t lo = 0, hi = 0;
        if (!U16(at, lo) || !U16(at + 2, hi))
            return false;
        v = lo | (hi << 16);
        return true;
    }
    bool U64(uint64_t at, uint64_t& v) const {
        uint32_t lo = 0, hi = 0;
        if (!U32(at, lo) || !U32(at + 4, hi))
            return false;
        v = lo | (uint64_t{hi} << 32);
        return true;
    }
    ByteSpan Slice(uint64_t at, uint64_t length) const { return bytes_.subspan(at, length); }

  private:
    ByteSpan bytes_;
};

struct Section {
    uint32_t virtual_address, virtual_size, raw_size, raw_offset;
};

// The parts of a PE image the resource reader needs.
struct PeImage {
    std::vector<Section> sections;
    uint32_t resource_rva = 0, resource_size = 0;
};

DWORD ParsePe(const Reader& r, PeImage& pe) {
    uint32_t magic = 0, lfanew = 0, signature = 0, section_count = 0, optional_size = 0,
             optional_magic = 0;
    if (!r.U16(0, magic) || magic != 0x5A4D || !r.U32(0x3C, lfanew) || !r.U32(lfanew, signature) ||
        signature != 0x00004550)
        return ERROR_BAD_FORMAT;
    const uint64_t coff = uint64_t{lfanew} + 4;
    const uint64_t optional = coff + 20;
    if (!r.U16(coff + 2, section_count) || !r.U16(coff + 16, optional_size) ||
        !r.U16(optional, optional_magic) || !r.Has(optional, optional_size))
        return ERROR_BAD_FORMAT;
    uint64_t count_at = 0, dirs_at = 0;
    if (optional_magic == 0x10B) {
        count_at = 92, dirs_at = 96;
    } else if (optional_magic == 0x20B) {
        count_at = 108, dirs_at = 112;
    } else {
        return ERROR_BAD_FORMAT;
    }
    uint32_t dir_count = 0;
    if (optional_size >= dirs_at && r.U32(optional + count_at, dir_count) && dir_count > 2 &&
        dirs_at + 3 * 8 <= optional_size) {
        r.U32(optional + dirs_at + 16, pe.resource_rva);
        r.U32(optional + dirs_at + 20, pe.resource_size);
    }
    const uint64_t table = optional + optional_size;
    if (!r.Has(table, uint64_t{section_count} * 40))
        return ERROR_BAD_FORMAT;
    for (uint32_t i = 0; i < section_count; ++i) {
        const uint64_t at = table + uint64_t{i} * 40;
        Section s{};
        r.U32(at + 8, s.virtual_size);
        r.U32(at + 12, s.virtual_address);
        r.U32(at + 16, s.raw_size);
        r.U32(at + 20, s.raw_offset);
        pe.sections.push_back(s);
    }
    return 0;
}

// File offset of `length` bytes at an RVA, when they lie in one section's file data.
bool MapRva(const PeImage& pe, const Reader& r, uint32_t rva, uint32_t length, uint64_t& offset) {
    for (const Section& s : pe.sections) {
        const uint64_t span = s.virtual_size > s.raw_size ? s.virtual_size : s.raw_size;
        if (rva < s.virtual_address || rva - s.virtual_address >= span)
            continue;
        const uint64_t within = rva - s.virtual_address;
        if (within + length > s.raw_size)
            return false;
        offset = uint64_t{s.raw_offset} + within;
        return r.Has(offset, length);
    }
    return false;
}

// One level of the resource tree: the entries of the directory at `dir` (an offset from
// the start of the resource directory).
struct DirEntry {
    uint32_t name;    // id, or a name string's offset with the high bit set
    uint32_t target;  // data entry, or a subdirectory with the high bit set
};

bool ReadDirectory(const PeImage& pe, const Reader& r, uint32_t dir, std::vector<DirEntry>& out) {
    out.clear();
    if (dir >= pe.resource_size)
        return false;
    uint64_t at = 0;
    if (!MapRva(pe, r, pe.resource_rva + dir, 16, at))
        return false;
    uint32_t named = 0, ids = 0;
    r.U16(at + 12, named);
    r.U16(at + 14, ids);
    const uint32_t count = named + ids;
    if (uint64_t{dir} + 16 + uint64_t{count} * 8 > pe.resource_size)
        return false;
    if (!MapRva(pe, r, pe.resource_rva + dir + 16, count * 8, at))
        return false;
    for (uint32_t i = 0; i < count; ++i) {
        DirEntry e{};
        r.U32(at + i * 8, e.name);
        r.U32(at + i * 8 + 4, e.target);
        out.push_back(e);
    }
    return true;
}

constexpr uint32_t kHighBit = 0x80000000u;

}  // namespace

MappedFile::~MappedFile() {
    Reset();
}

MappedFile::MappedFile(MappedFile&& other) noexcept : data_(other.data_), size_(other.size_) {
    other.data_ = nullptr;
    other.size_ = 0;
}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
    if (this != &other) {
        Reset();
        data_ = other.data_;
        size_ = other.size_;
        other.data_ = nullptr;
        other.size_ = 0;
    }
    return *this;
}

void MappedFile::Reset() {
    if (data_)
        ::munmap(data_, size_);
    data_ = nullptr;
    size_ = 0;
}

DWORD MappedFile::Open(const std::string& native_path) {
    Reset();
    const int fd = ::open(native_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        return err == ENOENT ? ERROR_FILE_NOT_FOUND : Win32ErrorFromErrno(err);
    }
    struct stat st {};
    DWORD result = 0;
    if (::fstat(fd, &st) != 0) {
        result = Win32ErrorFromErrno(errno);
    } else if (!S_ISREG(st.st_mode)) {
        result = S_ISDIR(st.st_mode) ? ERROR_ACCESS_DENIED : ERROR_BAD_FORMAT;
    } else if (st.st_size > 0) {
        void* p = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (p == MAP_FAILED) {
            result = ERROR_BAD_FORMAT;
        } else {
            data_ = p;
            size_ = static_cast<size_t>(st.st_size);
        }
    }
    ::close(fd);
    return result;
}

ImageKind DetectImage(ByteSpan file) {
    if (file.size() >= 4 && std::memcmp(file.data(),
                                        "\x7f"
                                        "ELF",
                                        4) == 0)
        return ImageKind::Elf;
    if (file.size() >= 4 && std::memcmp(file.data(), "KVMT", 4) == 0)
        return ImageKind::MessageTable;
    if (file.size() >= 2 && file[0] == 'M' && file[1] == 'Z')
        return ImageKind::Pe;
    return ImageKind::Unknown;
}

DWORD FindPeResources(ByteSpan image, uint16_t type, std::vector<ImageResource>& out) {
    out.clear();
    const Reader r(image);
    PeImage pe;
    if (const DWORD error = ParsePe(r, pe))
        return error;
    if (pe.resource_rva == 0 || pe.resource_size < 16)
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    std::vector<DirEntry> types, names, languages;
    if (!ReadDirectory(pe, r, 0, types))
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    const DirEntry* type_entry = nullptr;
    for (const DirEntry& e : types) {
        if (!(e.name & kHighBit) && e.name == type)
            type_entry = &e;
    }
    if (!type_entry)
        return ERROR_RESOURCE_TYPE_NOT_FOUND;
    if (!(type_entry->target & kHighBit) ||
        !ReadDirectory(pe, r, type_entry->target & ~kHighBit, names))
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    for (const DirEntry& name : names) {
        if (!(name.target & kHighBit) || !ReadDirectory(pe, r, name.target & ~kHighBit, languages))
            return ERROR_RESOURCE_DATA_NOT_FOUND;
        for (const DirEntry& language : languages) {
            // The third level holds data entries: RVA and size of the resource's bytes.
            uint64_t entry_at = 0, data_at = 0;
            uint32_t rva = 0, size = 0;
            if ((language.target & kHighBit) || language.target > pe.resource_size ||
                !MapRva(pe, r, pe.resource_rva + language.target, 16, entry_at))
                return ERROR_RESOURCE_DATA_NOT_FOUND;
            r.U32(entry_at, rva);
            r.U32(entry_at + 4, size);
            if (!MapRva(pe, r, rva, size, data_at))
                return ERROR_RESOURCE_DATA_NOT_FOUND;
            out.push_back({static_cast<uint16_t>(language.name), r.Slice(data_at, size)});
        }
    }
    return out.empty() ? ERROR_RESOURCE_TYPE_NOT_FOUND : 0;
}

DWORD FindElfSection(ByteSpan image, std::string_view name, ByteSpan& out) {
    out = {};
    const Reader r(image);
    if (DetectImage(image) != ImageKind::Elf || image.size() < 0x34 || image[5] != 1)
        return ERROR_BAD_FORMAT;  // only little-endian objects
    const bool wide = image[4] == 2;
    if (!wide && image[4] != 1)
        return ERROR_BAD_FORMAT;
    uint64_t table = 0;
    uint32_t entry_size = 0, count = 0, names_index = 0;
    if (wide) {
        if (!r.U64(0x28, table) || !r.U16(0x3A, entry_size) || !r.U16(0x3C, count) ||
            !r.U16(0x3E, names_index))
            return ERROR_BAD_FORMAT;
    } else {
        uint32_t t = 0;
        if (!r.U32(0x20, t) || !r.U16(0x2E, entry_size) || !r.U16(0x30, count) ||
            !r.U16(0x32, names_index))
            return ERROR_BAD_FORMAT;
        table = t;
    }
    if (entry_size < (wide ? 64u : 40u) || names_index >= count ||
        !r.Has(table, uint64_t{entry_size} * count))
        return ERROR_BAD_FORMAT;
    struct Header {
        uint32_t name = 0, type = 0;
        uint64_t offset = 0, size = 0;
    };
    const auto header = [&](uint32_t index) {
        Header h;
        const uint64_t at = table + uint64_t{index} * entry_size;
        r.U32(at, h.name);
        r.U32(at + 4, h.type);
        if (wide) {
            r.U64(at + 24, h.offset);
            r.U64(at + 32, h.size);
        } else {
            uint32_t o = 0, s = 0;
            r.U32(at + 16, o);
            r.U32(at + 20, s);
            h.offset = o, h.size = s;
        }
        return h;
    };
    const Header names = header(names_index);
    if (!r.Has(names.offset, names.size))
        return ERROR_BAD_FORMAT;
    const ByteSpan strings = r.Slice(names.offset, names.size);
    constexpr uint32_t kNoBits = 8;
    for (uint32_t i = 0; i < count; ++i) {
        const Header h = header(i);
        if (h.name >= strings.size())
            continue;
        const char* text = reinterpret_cast<const char*>(strings.data()) + h.name;
        const size_t limit = strings.size() - h.name;
        const size_t length = strnlen(text, limit);
        if (length == limit || std::string_view(text, length) != name)
            continue;
        if (h.type == kNoBits || !r.Has(h.offset, h.size))
            return ERROR_RESOURCE_DATA_NOT_FOUND;
        out = r.Slice(h.offset, h.size);
        return 0;
    }
    return ERROR_RESOURCE_DATA_NOT_FOUND;
}

}  // namespace kvwin
