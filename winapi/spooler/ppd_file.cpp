// Reading the main keywords of a PPD file.
#include "kvwin/ppd_file.h"

#include "kvwin/ascii_space.h"
#include "kvwin/utf.h"

namespace kvwin {

namespace {

std::u16string FromLatin1(std::string_view text) {
    std::u16string wide;
    for (const char c : text)
        wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return wide;
}

}  // namespace

bool LooksLikePpd(std::string_view text) {
    return text.starts_with("*PPD-Adobe:");
}

std::map<std::string, std::u16string> ReadPpdKeywords(std::string_view text) {
    std::map<std::string, std::string> raw;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (line.size() < 2 || line[0] != '*' || line[1] == '%')
            continue;
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string_view key = line.substr(1, colon - 1);
        if (key.empty() || key.find_first_of(" \t/") != std::string_view::npos)
            continue;  // a keyword with an option, or a malformed line
        std::string_view value = kvwin::TrimAsciiSpace(line.substr(colon + 1));
        std::string joined;
        if (value.starts_with('"')) {
            value.remove_prefix(1);
            size_t close = value.find('"');
            joined.assign(value.substr(0, close));
            // A quoted value runs on until its closing quote.
            while (close == std::string_view::npos && at < text.size()) {
                end = text.find('\n', at);
                if (end == std::string_view::npos)
                    end = text.size();
                const std::string_view next = text.substr(at, end - at);
                at = end + 1;
                close = next.find('"');
                joined.push_back('\n');
                joined.append(next.substr(0, close));
            }
        } else {
            joined.assign(value);
        }
        raw.emplace(std::string(key), std::move(joined));
    }
    const auto encoding = raw.find("LanguageEncoding");
    const bool latin1 =
        encoding != raw.end() && kvwin::TrimAsciiSpace(encoding->second) == "ISOLatin1";
    std::map<std::string, std::u16string> keywords;
    for (const auto& [key, value] : raw)
        keywords.emplace(key, latin1 ? FromLatin1(value) : FromUtf8(value));
    return keywords;
}

std::optional<std::array<uint16_t, 4>> ParsePpdVersion(std::u16string_view text) {
    std::array<uint16_t, 4> parts{};
    size_t at = 0;
    for (size_t part = 0; part < parts.size(); ++part) {
        if (at >= text.size() || text[at] < u'0' || text[at] > u'9') {
            if (part == 0)
                return std::nullopt;
            break;
        }
        uint32_t number = 0;
        for (; at < text.size() && text[at] >= u'0' && text[at] <= u'9'; ++at) {
            number = number * 10 + static_cast<uint32_t>(text[at] - u'0');
            if (number > 0xFFFF)
                return std::nullopt;
        }
        parts[part] = static_cast<uint16_t>(number);
        if (at >= text.size() || text[at] != u'.')
            break;
        ++at;
    }
    return parts;
}

}  // namespace kvwin
