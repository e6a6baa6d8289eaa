#include "linux/volume_ids.h"

#include <cctype>

#include "linux/text_util.h"

namespace kvlinux {

std::string DecodeUdevEscapes(std::string_view name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' &&
            std::isxdigit(static_cast<unsigned char>(name[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(name[i + 3]))) {
            out += static_cast<char>(std::stoi(std::string(name.substr(i + 2, 2)), nullptr, 16));
            i += 3;
            continue;
        }
        out += name[i];
    }
    return out;
}

std::map<std::string, VolumeIds> ReadVolumeIds(const std::string& disk_dir) {
    std::map<std::string, VolumeIds> ids;
    auto walk = [&](const char* kind, auto assign) {
        const std::string dir = disk_dir + "/" + kind;
        for (const std::string& name : ListFolder(dir)) {
            auto target = ReadLink(dir + "/" + name);
            if (!target)
                continue;
            assign(ids[target->substr(target->rfind('/') + 1)], DecodeUdevEscapes(name));
        }
    };
    walk("by-label", [](VolumeIds& v, std::string text) { v.label = std::move(text); });
    walk("by-uuid", [](VolumeIds& v, std::string text) { v.uuid = std::move(text); });
    return ids;
}

}  // namespace kvlinux
