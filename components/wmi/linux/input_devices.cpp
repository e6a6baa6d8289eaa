#include "linux/input_devices.h"

#include <algorithm>

#include "linux/pci_devices.h"
#include "linux/text_util.h"

namespace kvlinux {

namespace {

constexpr unsigned kKeyQ = 16, kKeyP = 25;  // the top letter row
constexpr unsigned kBtnLeft = 0x110, kBtnTouch = 0x14a;
constexpr unsigned kAbsX = 0, kAbsY = 1;
constexpr unsigned kRelX = 0, kRelY = 1;

bool Bit(const std::vector<std::uint64_t>& bits, unsigned code) {
    const size_t word = code / 64;
    return word < bits.size() && (bits[word] >> (code % 64) & 1) != 0;
}

// "120013" or "1000000000007 ff9f207ac14057ff febeffdfffefffff": hexadecimal longs, the
// most significant first; returned as 64-bit words, least significant first.
std::vector<std::uint64_t> ParseBitmap(std::string_view text, unsigned word_bits) {
    std::vector<std::uint64_t> longs;
    for (std::string_view field : SplitFields(text)) {
        auto value = ParseHex(field);
        if (!value)
            return {};
        longs.push_back(*value);
    }
    std::reverse(longs.begin(), longs.end());
    if (word_bits == 64)
        return longs;
    std::vector<std::uint64_t> words((longs.size() + 1) / 2, 0);
    for (size_t i = 0; i < longs.size(); ++i)
        words[i / 2] |= (longs[i] & 0xFFFFFFFF) << (32 * (i % 2));
    return words;
}

// The value of `key=` inside "I: Bus=0011 Vendor=0001 Product=0001 Version=ab41".
std::optional<std::uint64_t> HexField(std::string_view line, std::string_view key) {
    const size_t at = line.find(key);
    if (at == std::string_view::npos)
        return std::nullopt;
    std::string_view rest = line.substr(at + key.size());
    return ParseHex(rest.substr(0, rest.find(' ')));
}

}  // namespace

std::string InputDevice::Node() const {
    return sysfs.substr(sysfs.rfind('/') + 1);
}

bool InputDevice::HasKey(unsigned code) const {
    return Bit(key_bits, code);
}

bool InputDevice::IsKeyboard() const {
    for (unsigned key = kKeyQ; key <= kKeyP; ++key) {
        if (!HasKey(key))
            return false;
    }
    return true;
}

bool InputDevice::IsPointingDevice() const {
    const bool relative = Bit(rel_bits, kRelX) && Bit(rel_bits, kRelY) && HasKey(kBtnLeft);
    const bool absolute =
        Bit(abs_bits, kAbsX) && Bit(abs_bits, kAbsY) && (HasKey(kBtnLeft) || HasKey(kBtnTouch));
    return relative || absolute;
}

std::vector<InputDevice> ParseInputDevices(std::string_view content, unsigned word_bits) {
    std::vector<InputDevice> devices;
    InputDevice current;
    bool open = false;
    auto finish = [&] {
        if (open && !current.sysfs.empty())
            devices.push_back(std::move(current));
        current = InputDevice{};
        open = false;
    };
    for (std::string_view line : SplitLines(content)) {
        if (Trim(line).empty()) {
            finish();
            continue;
        }
        if (line.size() < 3 || line[1] != ':')
            continue;
        open = true;
        const std::string_view value = Trim(line.substr(2));
        switch (line[0]) {
            case 'I':
                current.bus = static_cast<std::uint16_t>(HexField(value, "Bus=").value_or(0));
                current.vendor = static_cast<std::uint16_t>(HexField(value, "Vendor=").value_or(0));
                current.product =
                    static_cast<std::uint16_t>(HexField(value, "Product=").value_or(0));
                break;
            case 'N':
                if (StartsWith(value, "Name=")) {
                    std::string_view name = value.substr(5);
                    if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
                        name = name.substr(1, name.size() - 2);
                    current.name = std::string(name);
                }
                break;
            case 'S':
                if (StartsWith(value, "Sysfs="))
                    current.sysfs = std::string(value.substr(6));
                break;
            case 'H':
                if (StartsWith(value, "Handlers="))
                    for (std::string_view h : SplitFields(value.substr(9)))
                        current.handlers.emplace_back(h);
                break;
            case 'B':
                if (StartsWith(value, "KEY="))
                    current.key_bits = ParseBitmap(value.substr(4), word_bits);
                else if (StartsWith(value, "ABS="))
                    current.abs_bits = ParseBitmap(value.substr(4), word_bits);
                else if (StartsWith(value, "REL="))
                    current.rel_bits = ParseBitmap(value.substr(4), word_bits);
                break;
            default:
                break;
        }
    }
    finish();
    return devices;
}

std::vector<InputDevice> ReadInputDevices(const std::string& proc_root) {
    auto text = ReadFileText(proc_root + "/bus/input/devices");
    return text ? ParseInputDevices(*text) : std::vector<InputDevice>{};
}

}  // namespace kvlinux
