#include "linux/device_ids.h"

#include <cstdio>

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
    // The databases write ids in lower case; a vendor line starts a line with its id and
    // two blanks, a device line with a tab, its id and two blanks.
    char key[16];
    std::snprintf(key, sizeof key, "\n%04x  ", vendor);
    DeviceNames names;
    size_t at = StartsWith(database, key + 1) ? 0 : database.find(key);
    if (at == std::string_view::npos)
        return names;
    at += at == 0 ? 0 : 1;
    // Only the vendor list counts: usb.ids goes on with other lists whose lines may
    // look alike, and they come after a line starting with a letter.
    const size_t other_lists = database.find("\nC ");
    if (other_lists != std::string_view::npos && at > other_lists)
        return names;
    size_t end = database.find('\n', at);
    if (end == std::string_view::npos)
        end = database.size();
    if (auto line = IdLine(database.substr(at, end - at)))
        names.vendor = std::string(line->second);
    std::snprintf(key, sizeof key, "\t%04x  ", device);
    while (end < database.size()) {
        const size_t begin = end + 1;
        end = database.find('\n', begin);
        if (end == std::string_view::npos)
            end = database.size();
        const std::string_view line = database.substr(begin, end - begin);
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] != '\t')
            break;  // the next vendor: the device is not listed
        if (StartsWith(line, key)) {
            names.device = std::string(Trim(line.substr(7)));
            break;
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
