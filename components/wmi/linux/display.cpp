#include "linux/display.h"

#include "linux/text_util.h"

namespace kvlinux {

namespace {

// "1920,1080" (framebuffer) or "1920x1080" (mode) -> width and height.
bool ParseSize(std::string_view text, char separator, DisplayAdapter& adapter) {
    const size_t at = text.find(separator);
    if (at == std::string_view::npos)
        return false;
    auto width = ParseUnsigned(text.substr(0, at));
    // A mode may carry a suffix ("1920x1080i"): digits up to the first non-digit.
    std::string_view rest = text.substr(at + 1);
    rest = rest.substr(0, rest.find_first_not_of("0123456789"));
    auto height = ParseUnsigned(rest);
    if (!width || !height || *width > 0xFFFFFFFF || *height > 0xFFFFFFFF)
        return false;
    adapter.width = static_cast<std::uint32_t>(*width);
    adapter.height = static_cast<std::uint32_t>(*height);
    return true;
}

void ReadFramebuffer(const std::string& device_dir, DisplayAdapter& adapter) {
    for (const std::string& fb : ListFolder(device_dir + "/graphics")) {
        const std::string dir = device_dir + "/graphics/" + fb;
        auto size = ReadFirstLine(dir + "/virtual_size");
        if (!size || !ParseSize(*size, ',', adapter))
            continue;
        if (auto bpp = ReadFirstLine(dir + "/bits_per_pixel")) {
            if (auto n = ParseUnsigned(*bpp); n && *n <= 64)
                adapter.bits_per_pixel = static_cast<std::uint32_t>(*n);
        }
        return;
    }
}

void ReadPreferredMode(const std::string& device_dir, DisplayAdapter& adapter) {
    for (const std::string& card : ListFolder(device_dir + "/drm")) {
        if (!StartsWith(card, "card"))
            continue;
        const std::string card_dir = device_dir + "/drm/" + card;
        for (const std::string& output : ListFolder(card_dir)) {
            if (!StartsWith(output, card + "-"))
                continue;
            if (ReadFirstLine(card_dir + "/" + output + "/status").value_or("") != "connected")
                continue;
            auto modes = ReadFileText(card_dir + "/" + output + "/modes");
            if (!modes)
                continue;
            auto lines = SplitLines(*modes);
            if (!lines.empty() && ParseSize(lines.front(), 'x', adapter))
                return;
        }
    }
}

}  // namespace

std::vector<DisplayAdapter> ReadDisplayAdapters(const std::string& sys_root) {
    std::vector<DisplayAdapter> adapters;
    for (PciDevice& device : ReadPciDevices(sys_root)) {
        if (device.BaseClass() != 0x03)
            continue;
        DisplayAdapter adapter;
        const std::string dir = sys_root + "/bus/pci/devices/" + device.address;
        if (auto vram = ReadFirstLine(dir + "/mem_info_vram_total"))
            adapter.memory_bytes = ParseUnsigned(*vram);
        ReadFramebuffer(dir, adapter);
        if (!adapter.width)
            ReadPreferredMode(dir, adapter);
        if (device.driver)
            adapter.driver_version =
                ReadFirstLine(sys_root + "/module/" + *device.driver + "/version");
        adapter.pci = std::move(device);
        adapters.push_back(std::move(adapter));
    }
    return adapters;
}

}  // namespace kvlinux
