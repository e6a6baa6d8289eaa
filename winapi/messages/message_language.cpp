// The user's and the system's language, as FormatMessageW's fallback order names them.
#include <string>

#include "kvwin/environment_lock.h"
#include "message_table.h"

namespace kvwin::messages {

namespace {

struct Primary {
    const char* code;
    uint16_t id;  // primary language id
};

// Primary language ids of the languages a locale name can start with.
const Primary kPrimaries[] = {
    {"ar", 0x01}, {"bg", 0x02}, {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06},
    {"de", 0x07}, {"el", 0x08}, {"en", 0x09}, {"es", 0x0a}, {"fi", 0x0b}, {"fr", 0x0c},
    {"he", 0x0d}, {"hu", 0x0e}, {"is", 0x0f}, {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12},
    {"nl", 0x13}, {"nb", 0x14}, {"no", 0x14}, {"pl", 0x15}, {"pt", 0x16}, {"ro", 0x18},
    {"ru", 0x19}, {"hr", 0x1a}, {"sk", 0x1b}, {"sv", 0x1d}, {"th", 0x1e}, {"tr", 0x1f},
    {"uk", 0x22}, {"sl", 0x24}, {"et", 0x25}, {"lv", 0x26}, {"lt", 0x27},
};

struct Regional {
    const char* name;
    uint16_t id;  // full language id
};

// Regions whose sublanguage is not the language's default one.
const Regional kRegionals[] = {
    {"en_GB", 0x0809}, {"en_AU", 0x0c09}, {"en_CA", 0x1009}, {"en_NZ", 0x1409}, {"en_IE", 0x1809},
    {"en_ZA", 0x1c09}, {"en_IN", 0x4009}, {"de_CH", 0x0807}, {"de_AT", 0x0c07}, {"fr_BE", 0x080c},
    {"fr_CA", 0x0c0c}, {"fr_CH", 0x100c}, {"es_ES", 0x0c0a}, {"es_MX", 0x080a}, {"it_CH", 0x0810},
    {"pt_PT", 0x0816}, {"nl_BE", 0x0813}, {"sv_FI", 0x081d}, {"zh_CN", 0x0804}, {"zh_SG", 0x1004},
    {"zh_HK", 0x0c04}, {"zh_TW", 0x0404},
};

LANGID FromLocaleName(const std::string& locale) {
    // "de_AT.UTF-8@euro" -> "de_AT"
    const std::string name = locale.substr(0, locale.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX")
        return 0x0409;
    for (const Regional& r : kRegionals) {
        if (name == r.name)
            return r.id;
    }
    const std::string language = name.substr(0, name.find('_'));
    for (const Primary& p : kPrimaries) {
        if (language == p.code)
            return static_cast<LANGID>((1u << 10) | p.id);  // SUBLANG_DEFAULT
    }
    return 0x0409;
}

}  // namespace

LANGID UserLanguage() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const std::optional<std::string> value = GetEnvUtf8(variable);
        if (value && !value->empty())
            return FromLocaleName(*value);
    }
    return 0x0409;
}

LANGID SystemLanguage() {
    return 0x0409;
}

}  // namespace kvwin::messages
