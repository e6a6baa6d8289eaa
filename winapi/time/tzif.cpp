// Reading TZif zone files and answering "what local time type is in force at t".
#include <algorithm>
#include <cstring>

#include "kvwin/civil_time.h"
#include "kvwin/time_zone.h"

namespace kvwin {

namespace {

class Reader {
  public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}
    bool Has(size_t n) const { return bytes_.size() - pos_ >= n; }
    size_t Position() const { return pos_; }
    void Skip(size_t n) { pos_ += n; }
    std::string_view Rest() const { return bytes_.substr(pos_); }
    uint8_t U8() { return static_cast<uint8_t>(bytes_[pos_++]); }
    int32_t I32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = (v << 8) | U8();
        return static_cast<int32_t>(v);
    }
    int64_t I64() {
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i)
            v = (v << 8) | U8();
        return static_cast<int64_t>(v);
    }

  private:
    std::string_view bytes_;
    size_t pos_ = 0;
};

struct Header {
    char version = 0;
    uint32_t isutcnt = 0, isstdcnt = 0, leapcnt = 0, timecnt = 0, typecnt = 0, charcnt = 0;

    size_t DataSize(size_t time_size) const {
        return timecnt * time_size + timecnt + typecnt * 6 + charcnt + leapcnt * (time_size + 4) +
               isstdcnt + isutcnt;
    }
};

bool ReadHeader(Reader& in, Header& h) {
    if (!in.Has(44))
        return false;
    const std::string_view rest = in.Rest();
    if (rest.substr(0, 4) != "TZif")
        return false;
    in.Skip(4);
    h.version = static_cast<char>(in.U8());
    in.Skip(15);
    h.isutcnt = static_cast<uint32_t>(in.I32());
    h.isstdcnt = static_cast<uint32_t>(in.I32());
    h.leapcnt = static_cast<uint32_t>(in.I32());
    h.timecnt = static_cast<uint32_t>(in.I32());
    h.typecnt = static_cast<uint32_t>(in.I32());
    h.charcnt = static_cast<uint32_t>(in.I32());
    // Generous bounds that no real zone reaches, so a corrupt count cannot overflow sizes.
    return h.typecnt >= 1 && h.typecnt <= 256 && h.timecnt <= 100000 && h.charcnt <= 4096 &&
           h.leapcnt <= 10000 && h.isstdcnt <= h.typecnt && h.isutcnt <= h.typecnt;
}

bool ReadData(Reader& in, const Header& h, size_t time_size, ZoneInfo& zone) {
    if (!in.Has(h.DataSize(time_size)))
        return false;
    zone.transitions.resize(h.timecnt);
    for (auto& t : zone.transitions)
        t = time_size == 8 ? in.I64() : in.I32();
    zone.transition_types.resize(h.timecnt);
    for (auto& index : zone.transition_types) {
        index = in.U8();
        if (index >= h.typecnt)
            return false;
    }
    std::vector<uint8_t> abbreviation_index(h.typecnt);
    zone.types.resize(h.typecnt);
    for (uint32_t i = 0; i < h.typecnt; ++i) {
        zone.types[i].offset = in.I32();
        zone.types[i].is_dst = in.U8() != 0;
        abbreviation_index[i] = in.U8();
        if (abbreviation_index[i] >= h.charcnt)
            return false;
    }
    const std::string chars(in.Rest().substr(0, h.charcnt));
    in.Skip(h.charcnt);
    for (uint32_t i = 0; i < h.typecnt; ++i) {
        zone.types[i].abbreviation = std::string(chars.c_str() + abbreviation_index[i]);
    }
    in.Skip(h.leapcnt * (time_size + 4) + h.isstdcnt + h.isutcnt);
    return std::is_sorted(zone.transitions.begin(), zone.transitions.end());
}

}  // namespace

ZoneInfo UtcZone() {
    ZoneInfo zone;
    zone.name = "UTC";
    zone.types.push_back(LocalTimeType{0, false, "UTC"});
    PosixZone rule;
    rule.std_name = "UTC";
    zone.rule = rule;
    return zone;
}

std::optional<ZoneInfo> ParseTzif(std::string_view bytes, std::string name) {
    Reader in(bytes);
    Header h;
    if (!ReadHeader(in, h))
        return std::nullopt;
    ZoneInfo zone;
    zone.name = std::move(name);
    if (h.version == '\0') {
        if (!ReadData(in, h, 4, zone))
            return std::nullopt;
        return zone;
    }
    // Version 2 and later repeat the data with 64-bit times, then a POSIX rule footer.
    if (!in.Has(h.DataSize(4)))
        return std::nullopt;
    in.Skip(h.DataSize(4));
    if (!ReadHeader(in, h) || !ReadData(in, h, 8, zone))
        return std::nullopt;
    std::string_view footer = in.Rest();
    if (footer.size() >= 2 && footer[0] == '\n') {
        const size_t end = footer.find('\n', 1);
        if (end != std::string_view::npos && end > 1) {
            zone.rule = ParsePosixZone(footer.substr(1, end - 1));
        }
    }
    return zone;
}

LocalTimeType ZoneInfo::At(int64_t t) const {
    if (!transitions.empty() && t >= transitions.back() && rule) {
        const bool dst = rule->IsDaylightAt(t);
        return LocalTimeType{dst ? rule->dst_offset : rule->std_offset, dst,
                             dst ? rule->dst_name : rule->std_name};
    }
    if (transitions.empty()) {
        if (rule) {
            const bool dst = rule->IsDaylightAt(t);
            return LocalTimeType{dst ? rule->dst_offset : rule->std_offset, dst,
                                 dst ? rule->dst_name : rule->std_name};
        }
        return types.empty() ? LocalTimeType{0, false, "UTC"} : types.front();
    }
    const auto after = std::upper_bound(transitions.begin(), transitions.end(), t);
    if (after == transitions.begin())
        return types.front();
    return types[transition_types[static_cast<size_t>(after - transitions.begin()) - 1]];
}

namespace {

// The first instant after t at which a rule's daylight answer may change: the rule's two
// dates in the year IsDaylightAt evaluates t by, or the end of that year.
int64_t NextRuleChangeAfter(const PosixZone& rule, int64_t t) {
    if (!rule.has_dst)
        return INT64_MAX;
    const int64_t year = CivilFromDays(FloorDiv(t + rule.std_offset, 86400)).year;
    int64_t next = DaysFromCivil(year + 1, 1, 1) * 86400 - rule.std_offset;
    const int64_t begins = rule.start.LocalSecondsIn(year) - rule.std_offset;
    const int64_t ends = rule.end.LocalSecondsIn(year) - rule.dst_offset;
    if (begins > t)
        next = std::min(next, begins);
    if (ends > t)
        next = std::min(next, ends);
    return next;
}

}  // namespace

int64_t ZoneInfo::NextChangeAfter(int64_t t) const {
    if (transitions.empty() || t >= transitions.back())
        return rule ? NextRuleChangeAfter(*rule, t) : INT64_MAX;
    return *std::upper_bound(transitions.begin(), transitions.end(), t);
}

PosixZone ZoneInfo::PresentRule(int64_t now) const {
    if (rule)
        return *rule;
    // A zone file without a rule footer: the type now in force, as a fixed offset.
    const LocalTimeType type = At(now);
    PosixZone fixed;
    fixed.std_name = type.abbreviation;
    fixed.std_offset = type.offset;
    return fixed;
}

}  // namespace kvwin
