// Builds small Windows images in memory for the tests of the image readers: DOS header,
// PE header, one ".rsrc" section holding a resource tree (type, name, language).
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace kvtest {

struct PeResource {
    uint16_t type = 0;
    uint16_t name = 1;
    uint16_t language = 0x0409;
    std::vector<uint8_t> data;
};

struct PeOptions {
    bool pe32plus = true;
    bool resource_directory = true;  // false: the data directory entry stays empty
};

class PeBuilder {
  public:
    static constexpr uint32_t kSectionRva = 0x1000;
    static constexpr uint32_t kSectionFile = 0x200;

    static std::vector<uint8_t> Build(const std::vector<PeResource>& resources,
                                      PeOptions options = {}) {
        const std::vector<uint8_t> rsrc = ResourceSection(resources);
        const uint32_t raw_size = static_cast<uint32_t>((rsrc.size() + 0x1FF) & ~size_t{0x1FF});
        std::vector<uint8_t> out(kSectionFile + raw_size, 0);
        out[0] = 'M';
        out[1] = 'Z';
        Put32(out, 0x3C, 0x40);
        std::memcpy(&out[0x40], "PE\0\0", 4);
        const size_t coff = 0x44;
        Put16(out, coff, options.pe32plus ? 0x8664 : 0x014C);
        Put16(out, coff + 2, 1);  // one section
        const uint32_t optional_size = options.pe32plus ? 240 : 224;
        Put16(out, coff + 16, optional_size);
        Put16(out, coff + 18, 0x2022);  // executable image, DLL
        const size_t opt = coff + 20;
        Put16(out, opt, options.pe32plus ? 0x20B : 0x10B);
        const size_t count_at = opt + (options.pe32plus ? 108 : 92);
        const size_t dirs_at = opt + (options.pe32plus ? 112 : 96);
        Put32(out, count_at, 16);
        if (options.resource_directory) {
            Put32(out, dirs_at + 16, kSectionRva);
            Put32(out, dirs_at + 20, static_cast<uint32_t>(rsrc.size()));
        }
        const size_t section = opt + optional_size;
        std::memcpy(&out[section], ".rsrc\0\0\0", 8);
        Put32(out, section + 8, static_cast<uint32_t>(rsrc.size()));
        Put32(out, section + 12, kSectionRva);
        Put32(out, section + 16, raw_size);
        Put32(out, section + 20, kSectionFile);
        std::memcpy(&out[kSectionFile], rsrc.data(), rsrc.size());
        return out;
    }

    // File offset of the n-th data entry (16 bytes: RVA, size, code page, reserved), for
    // tests that damage one.
    static size_t DataEntryOffset(const std::vector<PeResource>& resources, size_t n) {
        Layout layout(resources);
        return kSectionFile + layout.entries_at + 16 * n;
    }

    static void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
        b[at] = static_cast<uint8_t>(v);
        b[at + 1] = static_cast<uint8_t>(v >> 8);
    }
    static void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
        Put16(b, at, v & 0xFFFF);
        Put16(b, at + 2, v >> 16);
    }

  private:
    using Tree = std::map<uint16_t, std::map<uint16_t, std::map<uint16_t, const PeResource*>>>;

    // Where each part of the section goes: root, type folders, name folders, data
    // entries, data.
    struct Layout {
        explicit Layout(const std::vector<PeResource>& resources) {
            for (const PeResource& r : resources)
                tree[r.type][r.name][r.language] = &r;
            size_t at = 16 + 8 * tree.size();
            for (const auto& [type, names] : tree) {
                type_at[type] = at;
                at += 16 + 8 * names.size();
            }
            for (const auto& [type, names] : tree) {
                for (const auto& [name, languages] : names) {
                    name_at[{type, name}] = at;
                    at += 16 + 8 * languages.size();
                }
            }
            entries_at = at;
            at += 16 * resources.size();
            data_at = at;
        }
        Tree tree;
        std::map<uint16_t, size_t> type_at;
        std::map<std::pair<uint16_t, uint16_t>, size_t> name_at;
        size_t entries_at = 0, data_at = 0;
    };

    static void Directory(std::vector<uint8_t>& b, size_t at, size_t count) {
        Put16(b, at + 14, static_cast<uint32_t>(count));  // all entries have ids
    }

    static std::vector<uint8_t> ResourceSection(const std::vector<PeResource>& resources) {
        Layout layout(resources);
        std::vector<uint8_t> b(layout.data_at, 0);
        Directory(b, 0, layout.tree.size());
        size_t root_entry = 16, entry = 0;
        for (const auto& [type, names] : layout.tree) {
            Put32(b, root_entry, type);
            Put32(b, root_entry + 4, 0x80000000u | static_cast<uint32_t>(layout.type_at[type]));
            root_entry += 8;
            const size_t type_dir = layout.type_at[type];
            Directory(b, type_dir, names.size());
            size_t type_entry = type_dir + 16;
            for (const auto& [name, languages] : names) {
                const size_t name_dir = layout.name_at[{type, name}];
                Put32(b, type_entry, name);
                Put32(b, type_entry + 4, 0x80000000u | static_cast<uint32_t>(name_dir));
                type_entry += 8;
                Directory(b, name_dir, languages.size());
                size_t name_entry = name_dir + 16;
                for (const auto& [language, resource] : languages) {
                    const size_t data_entry = layout.entries_at + 16 * entry++;
                    Put32(b, name_entry, language);
                    Put32(b, name_entry + 4, static_cast<uint32_t>(data_entry));
                    name_entry += 8;
                    while (b.size() % 4)
                        b.push_back(0);
                    Put32(b, data_entry, kSectionRva + static_cast<uint32_t>(b.size()));
                    Put32(b, data_entry + 4, static_cast<uint32_t>(resource->data.size()));
                    b.insert(b.end(), resource->data.begin(), resource->data.end());
                }
            }
        }
        return b;
    }
};

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

}  // namespace kvtest
