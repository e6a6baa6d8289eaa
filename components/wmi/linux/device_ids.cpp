#include "linux/device_ids.h"

#include "linux/pci_devices.h"
#include "linux/text_util.h"

namespace kvlinux {

namespace {

// "8086  Intel Corporation" -> (0x8086, "Intel Corporation") when the line starts with
// four hex digits and two spaces.
std::optional<std::pair<std::uint16_t, std::string_view>> IdLine(std::string_view line) {
    if (line.size() < 7 || line[4] != ' ' || line[5] != ' ')
        return std::nullopt;
    auto id = ParseHex(line.substr(0, 4));
    if (!id)
        return std::nullopt;
    return std::pair{static_cast<std::uint16_t>(*id), Trim(line.substr(6))};
}

}  // namespace

DeviceNames LookUpDeviceNames(std::string_view database, std::uint16_t vendor,
                              std::uint16_t device) {
    DeviceNames names;
    bool in_vendor = false;
    size_t pos = 0;
    while (pos < database.size()) {
        size_t end = database.find('\n', pos);
        if (end == std::string_view::npos)
            end = database.size();
        std::string_view line = database.substr(pos, end - pos);
        pos = end + 1;
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] != '\t') {
            if (in_vendor)
                break;  // the next vendor: the device is not listed
            auto id = IdLine(line);
            if (!id)
                continue;  // a non-vendor list of usb.ids ("C 00  ...")
            if (id->first == vendor) {
                names.vendor = std::string(id->second);
                in_vendor = true;
            }
            continue;
        }
        if (in_vendor && line.size() > 1 && line[1] != '\t') {
            auto id = IdLine(line.substr(1));
            if (id && id->first == device) {
                names.device = std::string(id->second);
                break;
            }
        }
    }
    return names;
}

std::string ReadIdDatabase(const std::string& file_name, const std::string& root) {
    for (const char* dir : {"/usr/share/misc/", "/usr/share/hwdata/"}) {
        if (auto text = ReadFileText(UnderRoot(root, std::string(dir) + file_name)))
            return std::move(*text);
    }
    return {};
}

}  // namespace kvlinux
