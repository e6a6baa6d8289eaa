#include "sid_value.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "kvwin/ascii_case.h"
#include "kvwin/hex_digit.h"
#include "win/memory.h"

namespace kvwin {

namespace {

struct Abbreviation {
    char16_t text[3];
    uint64_t authority;
    std::array<DWORD, 2> subs;
    size_t count;
};

// The two-letter names of the descriptor language, in the order a SID is looked up.
constexpr Abbreviation kAbbreviations[] = {
    {u"SY", 5, {18}, 1},      {u"BA", 5, {32, 544}, 2}, {u"BU", 5, {32, 545}, 2},
    {u"BG", 5, {32, 546}, 2}, {u"PU", 5, {32, 547}, 2}, {u"BO", 5, {32, 551}, 2},
    {u"RD", 5, {32, 555}, 2}, {u"NO", 5, {32, 556}, 2}, {u"ER", 5, {32, 573}, 2},
    {u"WD", 1, {0}, 1},       {u"AU", 5, {11}, 1},      {u"CO", 3, {0}, 1},
    {u"CG", 3, {1}, 1},       {u"OW", 3, {4}, 1},       {u"LS", 5, {19}, 1},
    {u"NS", 5, {20}, 1},      {u"NU", 5, {2}, 1},       {u"IU", 5, {4}, 1},
    {u"SU", 5, {6}, 1},       {u"AN", 5, {7}, 1},       {u"PS", 5, {10}, 1},
    {u"RC", 5, {12}, 1},      {u"LW", 16, {0x1000}, 1}, {u"ME", 16, {0x2000}, 1},
    {u"MP", 16, {0x2100}, 1}, {u"HI", 16, {0x3000}, 1}, {u"SI", 16, {0x4000}, 1},
    {u"AC", 15, {2, 1}, 2},
};

SidValue FromAbbreviation(const Abbreviation& a) {
    SidValue sid = SidValue::Make(a.authority, {});
    sid.subs.assign(a.subs.begin(), a.subs.begin() + a.count);
    return sid;
}

// Parses an unsigned number (decimal, or hex after "0x") that must fit `max`.
bool ParseNumber(std::u16string_view text, uint64_t max, uint64_t& value) {
    int base = 10;
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 20)
        return false;
    value = 0;
    for (char16_t c : text) {
        const int value_of = kvwin::HexDigitValue(c);
        if (value_of < 0 || value_of >= base)
            return false;
        const auto digit = static_cast<unsigned>(value_of);
        if (value > (max - digit) / base)
            return false;
        value = value * base + digit;
    }
    return true;
}

}  // namespace

SidValue SidValue::Make(uint64_t authority, std::initializer_list<DWORD> subs) {
    SidValue sid;
    for (int i = 0; i < 6; ++i)
        sid.authority[5 - i] = static_cast<BYTE>(authority >> (8 * i));
    sid.subs.assign(subs.begin(), subs.end());
    return sid;
}

uint64_t SidValue::Authority() const {
    uint64_t value = 0;
    for (BYTE b : authority)
        value = (value << 8) | b;
    return value;
}

SidValue LocalSystemSid() {
    return SidValue::Make(5, {SECURITY_LOCAL_SYSTEM_RID});
}
SidValue AdministratorsSid() {
    return SidValue::Make(5, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS});
}
SidValue UsersSid() {
    return SidValue::Make(5, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS});
}
SidValue EveryoneSid() {
    return SidValue::Make(1, {SECURITY_WORLD_RID});
}
SidValue AuthenticatedUsersSid() {
    return SidValue::Make(5, {SECURITY_AUTHENTICATED_USER_RID});
}
SidValue CreatorOwnerSid() {
    return SidValue::Make(3, {SECURITY_CREATOR_OWNER_RID});
}
SidValue IntegritySid(DWORD rid) {
    return SidValue::Make(16, {rid});
}
SidValue UserSid(uint32_t uid) {
    return uid == 0 ? LocalSystemSid() : SidValue::Make(22, {SECURITY_UNIX_USER_RID, uid});
}
SidValue GroupSid(uint32_t gid) {
    return SidValue::Make(22, {SECURITY_UNIX_GROUP_RID, gid});
}

bool ReadSid(const void* sid, size_t limit, SidValue& out) {
    if (!sid || limit < 8)
        return false;
    const auto* bytes = static_cast<const BYTE*>(sid);
    if (bytes[0] != SID_REVISION || bytes[1] > SID_MAX_SUB_AUTHORITIES)
        return false;
    const size_t count = bytes[1];
    if (limit < 8 + 4 * count)
        return false;
    std::memcpy(out.authority.data(), bytes + 2, 6);
    out.subs.resize(count);
    if (count)  // an empty vector's data() may be null
        std::memcpy(out.subs.data(), bytes + 8, 4 * count);
    return true;
}

void WriteSid(const SidValue& sid, void* out) {
    auto* bytes = static_cast<BYTE*>(out);
    bytes[0] = SID_REVISION;
    bytes[1] = static_cast<BYTE>(sid.subs.size());
    std::memcpy(bytes + 2, sid.authority.data(), 6);
    if (!sid.subs.empty())
        std::memcpy(bytes + 8, sid.subs.data(), 4 * sid.subs.size());
}

void AppendSid(const SidValue& sid, std::vector<BYTE>& out) {
    const size_t at = out.size();
    out.resize(at + sid.Length());
    WriteSid(sid, out.data() + at);
}

PSID AllocateSid(const SidValue& sid) {
    void* memory = LocalAlloc(LMEM_FIXED, sid.Length());
    if (memory)
        WriteSid(sid, memory);
    return memory;
}

std::u16string SidText(const SidValue& sid) {
    std::string text = "S-1-";
    const uint64_t authority = sid.Authority();
    char buffer[32];
    if (authority < (uint64_t{1} << 32)) {
        std::snprintf(buffer, sizeof buffer, "%llu", static_cast<unsigned long long>(authority));
    } else {
        std::snprintf(buffer, sizeof buffer, "0x%012llX",
                      static_cast<unsigned long long>(authority));
    }
    text += buffer;
    for (DWORD sub : sid.subs) {
        std::snprintf(buffer, sizeof buffer, "-%u", sub);
        text += buffer;
    }
    return std::u16string(text.begin(), text.end());
}

bool ParseSidText(std::u16string_view text, SidValue& out) {
    if (text.size() == 2) {
        for (const auto& a : kAbbreviations) {
            if (kvwin::AsciiUpper(text[0]) == a.text[0] &&
                kvwin::AsciiUpper(text[1]) == a.text[1]) {
                out = FromAbbreviation(a);
                return true;
            }
        }
        return false;
    }
    if (text.size() < 4 || kvwin::AsciiUpper(text[0]) != u'S' || text.substr(1, 3) != u"-1-")
        return false;
    text.remove_prefix(4);
    std::vector<std::u16string_view> parts;
    while (true) {
        const size_t dash = text.find(u'-');
        parts.push_back(text.substr(0, dash));
        if (dash == std::u16string_view::npos)
            break;
        text.remove_prefix(dash + 1);
    }
    if (parts.size() - 1 > SID_MAX_SUB_AUTHORITIES)
        return false;
    uint64_t authority = 0;
    if (!ParseNumber(parts[0], 0xFFFFFFFFFFFFull, authority))
        return false;
    SidValue sid = SidValue::Make(authority, {});
    for (size_t i = 1; i < parts.size(); ++i) {
        uint64_t sub = 0;
        if (!ParseNumber(parts[i], 0xFFFFFFFFull, sub))
            return false;
        sid.subs.push_back(static_cast<DWORD>(sub));
    }
    out = std::move(sid);
    return true;
}

std::u16string_view SidAbbreviation(const SidValue& sid) {
    for (const auto& a : kAbbreviations) {
        if (sid.Authority() == a.authority && sid.subs.size() == a.count &&
            std::equal(sid.subs.begin(), sid.subs.end(), a.subs.begin())) {
            return std::u16string_view(a.text, 2);
        }
    }
    return {};
}

std::u16string SddlSidText(const SidValue& sid) {
    const std::u16string_view abbreviation = SidAbbreviation(sid);
    return abbreviation.empty() ? SidText(sid) : std::u16string(abbreviation);
}

}  // namespace kvwin
