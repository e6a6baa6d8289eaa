#include "linux/monitors.h"

#include "linux/text_util.h"

namespace kvlinux {

namespace {

constexpr unsigned char kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

// A display descriptor's text: up to 13 bytes ended by a line feed, blanks trimmed.
std::string DescriptorText(std::string_view bytes) {
    std::string text(bytes.substr(0, bytes.find('\n')));
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
            c = ' ';
    }
    return std::string(Trim(text));
}

}  // namespace

std::optional<EdidInfo> ParseEdid(std::string_view edid) {
    if (edid.size() < 128)
        return std::nullopt;
    unsigned sum = 0;
    for (size_t i = 0; i < 128; ++i) {
        sum += static_cast<unsigned char>(edid[i]);
        if (i < 8 && static_cast<unsigned char>(edid[i]) != kHeader[i])
            return std::nullopt;
    }
    if (sum % 256 != 0)
        return std::nullopt;
    auto byte = [&](size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>(edid[at]));
    };
    EdidInfo info;
    const unsigned id = byte(8) << 8 | byte(9);  // three 5-bit letters, 'A' = 1
    for (int shift : {10, 5, 0}) {
        const unsigned letter = id >> shift & 0x1F;
        if (letter < 1 || letter > 26)
            return std::nullopt;
        info.manufacturer_id += static_cast<char>('A' + letter - 1);
    }
    info.product_code = static_cast<std::uint16_t>(byte(10) | byte(11) << 8);
    info.width_cm = byte(21);
    info.height_cm = byte(22);
    for (size_t at = 54; at + 18 <= 126; at += 18) {
        if (byte(at) != 0 || byte(at + 1) != 0 || byte(at + 2) != 0)
            continue;  // a detailed timing, not a descriptor
        const std::string text = DescriptorText(edid.substr(at + 5, 13));
        if (text.empty())
            continue;
        if (byte(at + 3) == 0xFC)
            info.name = text;
        else if (byte(at + 3) == 0xFF)
            info.serial = text;
    }
    return info;
}

std::vector<Monitor> ReadMonitors(const std::string& sys_root) {
    std::vector<Monitor> monitors;
    const std::string dir = sys_root + "/class/drm";
    for (const std::string& output : ListFolder(dir)) {
        if (!StartsWith(output, "card") || output.find('-') == std::string::npos)
            continue;
        const std::string path = dir + "/" + output;
        if (ReadFirstLine(path + "/status").value_or("") != "connected")
            continue;
        Monitor m;
        m.output = output;
        if (auto edid = ReadFileText(path + "/edid"))
            m.edid = ParseEdid(*edid);
        if (auto modes = ReadFileText(path + "/modes")) {
            auto lines = SplitLines(*modes);
            if (!lines.empty()) {
                const std::string_view mode = lines.front();
                const size_t x = mode.find('x');
                if (x != std::string_view::npos) {
                    std::string_view h = mode.substr(x + 1);
                    h = h.substr(0, h.find_first_not_of("0123456789"));
                    auto width = ParseUnsigned(mode.substr(0, x));
                    auto height = ParseUnsigned(h);
                    if (width && height && *width <= 0xFFFFFFFF && *height <= 0xFFFFFFFF) {
                        m.width = static_cast<std::uint32_t>(*width);
                        m.height = static_cast<std::uint32_t>(*height);
                    }
                }
            }
        }
        monitors.push_back(std::move(m));
    }
    return monitors;
}

}  // namespace kvlinux
