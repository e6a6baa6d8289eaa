#include "linux/device_ids.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "linux/text_util.h"

namespace kvlinux {

namespace {

std::optional<std::uint16_t> HexId(const std::optional<std::string>& text) {
    if (!text)
        return std::nullopt;
    std::string_view digits = Trim(*text);
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits.remove_prefix(2);
    if (digits.empty() || digits.size() > 4)
        return std::nullopt;
    std::uint32_t value = 0;
    for (char c : digits) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        value = value * 16 + static_cast<std::uint32_t>(
                                 std::isdigit(static_cast<unsigned char>(c))
                                     ? c - '0'
                                     : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
    }
    return static_cast<std::uint16_t>(value);
}

// "0000:00:03.0": domain, bus, slot and function, as the PCI bus names its devices.
bool IsPciAddress(std::string_view name) {
    if (name.size() != 12 || name[4] != ':' || name[7] != ':' || name[10] != '.')
        return false;
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9, 11}) {
        if (!std::isxdigit(static_cast<unsigned char>(name[i])))
            return false;
    }
    return true;
}

std::string Hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

// The kept text of one database file, read again when the file changes.
struct KeptFile {
    std::mutex lock;
    std::string path;
    timespec modified{};
    std::shared_ptr<const std::string> text;  // shared with lookups still reading it
};

std::shared_ptr<const std::string> DatabaseText(KeptFile& kept,
                                                std::initializer_list<const char*> paths) {
    for (const char* path : paths) {
        struct stat st;
        if (::stat(path, &st) != 0)
            continue;
        std::lock_guard guard(kept.lock);
        if (!kept.text || kept.path != path || kept.modified.tv_sec != st.st_mtim.tv_sec ||
            kept.modified.tv_nsec != st.st_mtim.tv_nsec) {
            auto text = ReadFileText(path);
            kept.text = text ? std::make_shared<const std::string>(std::move(*text)) : nullptr;
            kept.path = path;
            kept.modified = st.st_mtim;
        }
        return kept.text;
    }
    return nullptr;
}

}  // namespace

std::optional<DeviceIds> ReadDeviceIds(const std::string& device_folder) {
    // The real folder, so that climbing goes up the device tree, not up the link's place.
    char real[PATH_MAX];
    if (!::realpath(device_folder.c_str(), real))
        return std::nullopt;
    std::string folder = real;
    // Walk up at most a few levels: virtio and USB interface folders sit just below the
    // device they belong to.
    for (int level = 0; level < 4 && folder.size() > 1; ++level) {
        const std::string name = folder.substr(folder.rfind('/') + 1);
        if (auto vendor = HexId(ReadFirstLine(folder + "/idVendor"))) {
            DeviceIds ids;
            ids.bus = DeviceIds::Bus::Usb;
            ids.vendor = *vendor;
            ids.device = HexId(ReadFirstLine(folder + "/idProduct")).value_or(0);
            auto serial = ReadFirstLine(folder + "/serial");
            ids.instance = serial && !Trim(*serial).empty() ? std::string(Trim(*serial)) : name;
            return ids;
        }
        if (IsPciAddress(name)) {
            auto vendor = HexId(ReadFirstLine(folder + "/vendor"));
            auto device = HexId(ReadFirstLine(folder + "/device"));
            if (!vendor || !device)
                return std::nullopt;
            DeviceIds ids;
            ids.vendor = *vendor;
            ids.device = *device;
            ids.subsystem_vendor = HexId(ReadFirstLine(folder + "/subsystem_vendor"));
            ids.subsystem_device = HexId(ReadFirstLine(folder + "/subsystem_device"));
            if (auto revision = HexId(ReadFirstLine(folder + "/revision"));
                revision && *revision <= 0xff)
                ids.revision = static_cast<std::uint8_t>(*revision);
            ids.instance = name;
            return ids;
        }
        folder.resize(folder.rfind('/'));
    }
    return std::nullopt;
}

std::string PnpDeviceId(const DeviceIds& ids) {
    if (ids.bus == DeviceIds::Bus::Usb)
        return "USB\\VID_" + Hex4(ids.vendor) + "&PID_" + Hex4(ids.device) + "\\" + ids.instance;
    // Windows writes every part, and the instance in capitals; a part sysfs does not give
    // reads as zeros, so that every class shows one text for one function.
    char revision[8];
    std::snprintf(revision, sizeof revision, "%02X", unsigned(ids.revision.value_or(0)));
    std::string instance = ids.instance;
    for (char& c : instance)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return "PCI\\VEN_" + Hex4(ids.vendor) + "&DEV_" + Hex4(ids.device) + "&SUBSYS_" +
           Hex4(ids.subsystem_device.value_or(0)) + Hex4(ids.subsystem_vendor.value_or(0)) +
           "&REV_" + revision + "\\" + instance;
}

IdNames ParseIdNames(std::string_view ids_text, std::uint16_t vendor, std::uint16_t device) {
    IdNames names;
    bool in_vendor = false;
    // Line by line without a list of lines: the databases run to tens of thousands.
    for (size_t at = 0; at < ids_text.size();) {
        const size_t end = std::min(ids_text.find('\n', at), ids_text.size());
        std::string_view line = ids_text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] != '\t') {
            if (in_vendor)
                break;  // the next vendor: the device is not listed
            // The vendor list ends where the class lists begin ("C 00  ...", "AT ...").
            if (line.size() < 6 || !std::isxdigit(static_cast<unsigned char>(line[0])) ||
                line[4] != ' ')
                continue;
            if (HexId(std::string(line.substr(0, 4))) == vendor) {
                in_vendor = true;
                names.vendor = std::string(Trim(line.substr(4)));
            }
            continue;
        }
        if (!in_vendor || (line.size() > 1 && line[1] == '\t'))
            continue;  // another vendor's devices, or a subsystem line
        const std::string_view entry = line.substr(1);
        if (entry.size() > 5 && entry[4] == ' ' &&
            HexId(std::string(entry.substr(0, 4))) == device) {
            names.device = std::string(Trim(entry.substr(4)));
            break;
        }
    }
    return names;
}

IdNames LookUpIdNames(const DeviceIds& ids) {
    static KeptFile pci, usb;
    const std::shared_ptr<const std::string> text =
        ids.bus == DeviceIds::Bus::Pci
            ? DatabaseText(pci, {"/usr/share/misc/pci.ids", "/usr/share/hwdata/pci.ids"})
            : DatabaseText(usb, {"/usr/share/misc/usb.ids", "/var/lib/usbutils/usb.ids",
                                 "/usr/share/hwdata/usb.ids"});
    if (!text)
        return {};
    return ParseIdNames(*text, ids.vendor, ids.device);
}

std::string ReadIdDatabase(const std::string& file_name, const std::string& root) {
    for (const char* dir : {"/usr/share/misc/", "/usr/share/hwdata/"}) {
        if (auto text = ReadFileText(UnderRoot(root, std::string(dir) + file_name)))
            return std::move(*text);
    }
    return {};
}

}  // namespace kvlinux
