#include "linux/locale_info.h"

#include <array>
#include <cctype>

#include "linux/os_release.h"
#include "linux/text_util.h"

namespace kvlinux {

namespace {

struct LocaleId {
    std::string_view name;  // language_TERRITORY, or a language alone for its default
    std::uint32_t lcid;
};

// Windows' identifiers of the locales Linux installations commonly run in.
constexpr std::array kLocales{
    LocaleId{"ar_SA", 0x0401}, LocaleId{"ar", 0x0401},    LocaleId{"bg_BG", 0x0402},
    LocaleId{"bg", 0x0402},    LocaleId{"ca_ES", 0x0403}, LocaleId{"ca", 0x0403},
    LocaleId{"zh_TW", 0x0404}, LocaleId{"cs_CZ", 0x0405}, LocaleId{"cs", 0x0405},
    LocaleId{"da_DK", 0x0406}, LocaleId{"da", 0x0406},    LocaleId{"de_DE", 0x0407},
    LocaleId{"de", 0x0407},    LocaleId{"el_GR", 0x0408}, LocaleId{"el", 0x0408},
    LocaleId{"en_US", 0x0409}, LocaleId{"en", 0x0409},    LocaleId{"es_ES", 0x0C0A},
    LocaleId{"es", 0x0C0A},    LocaleId{"fi_FI", 0x040B}, LocaleId{"fi", 0x040B},
    LocaleId{"fr_FR", 0x040C}, LocaleId{"fr", 0x040C},    LocaleId{"he_IL", 0x040D},
    LocaleId{"he", 0x040D},    LocaleId{"hu_HU", 0x040E}, LocaleId{"hu", 0x040E},
    LocaleId{"is_IS", 0x040F}, LocaleId{"is", 0x040F},    LocaleId{"it_IT", 0x0410},
    LocaleId{"it", 0x0410},    LocaleId{"ja_JP", 0x0411}, LocaleId{"ja", 0x0411},
    LocaleId{"ko_KR", 0x0412}, LocaleId{"ko", 0x0412},    LocaleId{"nl_NL", 0x0413},
    LocaleId{"nl", 0x0413},    LocaleId{"nb_NO", 0x0414}, LocaleId{"nb", 0x0414},
    LocaleId{"pl_PL", 0x0415}, LocaleId{"pl", 0x0415},    LocaleId{"pt_BR", 0x0416},
    LocaleId{"ro_RO", 0x0418}, LocaleId{"ro", 0x0418},    LocaleId{"ru_RU", 0x0419},
    LocaleId{"ru", 0x0419},    LocaleId{"hr_HR", 0x041A}, LocaleId{"hr", 0x041A},
    LocaleId{"sk_SK", 0x041B}, LocaleId{"sk", 0x041B},    LocaleId{"sv_SE", 0x041D},
    LocaleId{"sv", 0x041D},    LocaleId{"th_TH", 0x041E}, LocaleId{"th", 0x041E},
    LocaleId{"tr_TR", 0x041F}, LocaleId{"tr", 0x041F},    LocaleId{"id_ID", 0x0421},
    LocaleId{"id", 0x0421},    LocaleId{"uk_UA", 0x0422}, LocaleId{"uk", 0x0422},
    LocaleId{"sl_SI", 0x0424}, LocaleId{"sl", 0x0424},    LocaleId{"et_EE", 0x0425},
    LocaleId{"et", 0x0425},    LocaleId{"lv_LV", 0x0426}, LocaleId{"lv", 0x0426},
    LocaleId{"lt_LT", 0x0427}, LocaleId{"lt", 0x0427},    LocaleId{"vi_VN", 0x042A},
    LocaleId{"vi", 0x042A},    LocaleId{"hi_IN", 0x0439}, LocaleId{"hi", 0x0439},
    LocaleId{"zh_CN", 0x0804}, LocaleId{"zh", 0x0804},    LocaleId{"de_CH", 0x0807},
    LocaleId{"en_GB", 0x0809}, LocaleId{"es_MX", 0x080A}, LocaleId{"fr_BE", 0x080C},
    LocaleId{"nl_BE", 0x0813}, LocaleId{"pt_PT", 0x0816}, LocaleId{"pt", 0x0816},
    LocaleId{"sr_RS", 0x241A}, LocaleId{"zh_HK", 0x0C04}, LocaleId{"de_AT", 0x0C07},
    LocaleId{"en_AU", 0x0C09}, LocaleId{"fr_CA", 0x0C0C}, LocaleId{"zh_SG", 0x1004},
    LocaleId{"en_CA", 0x1009}, LocaleId{"fr_CH", 0x100C}, LocaleId{"en_NZ", 0x1409},
    LocaleId{"en_IE", 0x1809}, LocaleId{"en_ZA", 0x1C09}, LocaleId{"en_IN", 0x4009},
    LocaleId{"en_SG", 0x4809}, LocaleId{"es_AR", 0x2C0A}, LocaleId{"es_CO", 0x240A},
    LocaleId{"es_CL", 0x340A}, LocaleId{"es_US", 0x540A},
};

std::optional<std::uint32_t> Find(std::string_view key) {
    for (const LocaleId& entry : kLocales) {
        if (entry.name == key)
            return entry.lcid;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ReadSystemLocale(const std::string& root) {
    for (std::string_view file : {"/etc/default/locale", "/etc/locale.conf"}) {
        auto text = ReadFileText(UnderRoot(root, file));
        if (!text)
            continue;
        if (auto lang = ParseOsRelease(*text).Get("LANG"); lang && !lang->empty())
            return lang;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> LcidOfLocale(std::string_view name) {
    // language[_territory][.charset][@modifier]
    const std::string_view base = name.substr(0, name.find_first_of(".@"));
    if (base == "C" || base == "POSIX")
        return 0x0409;
    if (auto exact = Find(base))
        return exact;
    return Find(base.substr(0, base.find('_')));
}

bool IsUtf8Locale(std::string_view name) {
    const size_t dot = name.find('.');
    if (dot == std::string_view::npos)
        return false;
    std::string charset;
    for (char c : name.substr(dot + 1, name.find('@', dot) - dot - 1)) {
        if (c != '-')
            charset += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return charset == "utf8";
}

std::optional<std::string> ReadMachineId(const std::string& root) {
    auto line = ReadFirstLine(UnderRoot(root, "/etc/machine-id"));
    if (!line)
        return std::nullopt;
    const std::string_view id = Trim(*line);
    if (id.size() != 32)
        return std::nullopt;
    for (char c : id) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
    }
    return std::string(id);
}

}  // namespace kvlinux
