#include "linux/swap.h"

#include "linux/text_util.h"

namespace kvlinux {

namespace {

// /proc/swaps and fstab write blanks in names as octal escapes ("\040").
std::string DecodeOctal(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '3' &&
            text[i + 2] >= '0' && text[i + 2] <= '7' && text[i + 3] >= '0' && text[i + 3] <= '7') {
            out += static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 +
                                     (text[i + 3] - '0'));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

std::vector<SwapArea> ParseProcSwaps(std::string_view content) {
    std::vector<SwapArea> areas;
    for (const auto& fields : TableRows(content, 5)) {
        auto size = ParseUnsigned(fields[2]);
        auto used = ParseUnsigned(fields[3]);
        auto priority = ParseSigned(fields[4]);
        if (!size || !used || !priority)
            continue;
        SwapArea area;
        area.path = DecodeOctal(fields[0]);
        area.file = fields[1] == "file";
        area.size_kib = *size;
        area.used_kib = *used;
        area.priority = *priority;
        areas.push_back(std::move(area));
    }
    return areas;
}

std::vector<SwapArea> ReadSwapAreas(const std::string& proc_root) {
    auto text = ReadFileText(proc_root + "/swaps");
    return text ? ParseProcSwaps(*text) : std::vector<SwapArea>{};
}

std::vector<std::string> ParseFstabSwaps(std::string_view content) {
    std::vector<std::string> swaps;
    for (std::string_view line : SplitLines(content)) {
        line = Trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        const auto fields = SplitFields(line);
        if (fields.size() >= 3 && fields[2] == "swap")
            swaps.push_back(DecodeOctal(fields[0]));
    }
    return swaps;
}

}  // namespace kvlinux
