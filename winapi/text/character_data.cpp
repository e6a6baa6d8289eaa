// Lookup over the generated Unicode and code-page tables.
#include "character_data.h"

#include <algorithm>
#include <array>
#include <iterator>

#include "kvwin/ascii_case.h"

namespace kvwin::text {

namespace {

struct CaseRange {
    uint16_t first;
    uint16_t last;
    int32_t delta;
    uint8_t stride;
};

struct ClassRange {
    uint16_t first;
    uint16_t last;
};

struct BestFit {
    uint16_t code;
    uint8_t byte;
};

#include "unicode_tables.inc"

template <size_t N>
char16_t MapCase(const CaseRange (&table)[N], char16_t c) {
    // The last range whose first code is <= c.
    const CaseRange* it = std::upper_bound(
        std::begin(table), std::end(table), c,
        [](char16_t value, const CaseRange& range) { return value < range.first; });
    if (it == std::begin(table))
        return c;
    --it;
    if (c > it->last || (c - it->first) % it->stride != 0)
        return c;
    return static_cast<char16_t>(c + it->delta);
}

template <size_t N>
bool InClass(const ClassRange (&table)[N], char16_t c) {
    const ClassRange* it = std::upper_bound(
        std::begin(table), std::end(table), c,
        [](char16_t value, const ClassRange& range) { return value < range.first; });
    return it != std::begin(table) && c <= (it - 1)->last;
}

// A page given as 256 code points and a sorted best-fit list; the reverse map is built once
// (a dense map over the BMP, 128 KiB per page).
template <size_t FitCount>
class TablePage final : public SingleBytePage {
  public:
    TablePage(const char16_t (&to_unicode)[256], const BestFit (&best_fit)[FitCount])
        : to_unicode_(to_unicode), best_fit_(best_fit) {
        reverse_.fill(-1);
        // Bytes stand for distinct characters on these pages; earlier bytes win on a tie.
        for (int b = 255; b >= 0; --b)
            reverse_[to_unicode_[b]] = static_cast<int16_t>(b);
    }

    char16_t ToUnicode(unsigned char byte) const override { return to_unicode_[byte]; }

    std::optional<unsigned char> FromUnicode(char16_t c, bool best_fit) const override {
        if (int b = lookup(c); b >= 0)
            return static_cast<unsigned char>(b);
        if (!best_fit)
            return std::nullopt;
        const BestFit* it =
            std::lower_bound(std::begin(best_fit_), std::end(best_fit_), c,
                             [](const BestFit& fit, char16_t value) { return fit.code < value; });
        if (it != std::end(best_fit_) && it->code == c)
            return it->byte;
        return std::nullopt;
    }

  private:
    int lookup(char16_t c) const { return reverse_[c]; }

    const char16_t (&to_unicode_)[256];
    const BestFit (&best_fit_)[FitCount];
    std::array<int16_t, 0x10000> reverse_{};
};

class Latin1Page final : public SingleBytePage {
  public:
    explicit Latin1Page(char16_t limit) : limit_(limit) {}
    // An undefined byte of US-ASCII loses its high bit, as Windows maps it.
    char16_t ToUnicode(unsigned char byte) const override {
        return byte < limit_ ? byte : static_cast<char16_t>(byte & 0x7F);
    }
    bool IsDefined(unsigned char byte) const override { return byte < limit_; }
    std::optional<unsigned char> FromUnicode(char16_t c, bool best_fit) const override {
        if (c < limit_)
            return static_cast<unsigned char>(c);
        if (best_fit) {
            // Latin-1 shares the best fits of Windows-1252 that land below the limit.
            const BestFit* it = std::lower_bound(
                std::begin(kCp1252BestFit), std::end(kCp1252BestFit), c,
                [](const BestFit& fit, char16_t value) { return fit.code < value; });
            if (it != std::end(kCp1252BestFit) && it->code == c && it->byte < limit_) {
                return it->byte;
            }
        }
        return std::nullopt;
    }

  private:
    char16_t limit_;
};

}  // namespace

char16_t SimpleLower(char16_t c) {
    if (c < 0x80)
        return kvwin::AsciiLower(c);
    return MapCase(kToLower, c);
}

char16_t SimpleUpper(char16_t c) {
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
    return MapCase(kToUpper, c);
}

bool IsAlpha(char16_t c) {
    return InClass(kAlpha, c);
}
bool IsDigit(char16_t c) {
    return InClass(kDigit, c);
}

bool IsSpace(char16_t c) {
    switch (c) {
        case 0x09:
        case 0x0A:
        case 0x0B:
        case 0x0C:
        case 0x0D:
        case 0x20:
        case 0x85:
        case 0xA0:
        case 0x1680:
        case 0x2028:
        case 0x2029:
        case 0x202F:
        case 0x205F:
        case 0x3000:
            return true;
        default:
            return c >= 0x2000 && c <= 0x200A;
    }
}

const SingleBytePage* FindSingleBytePage(UINT code_page) {
    // Function-local statics: built once, thread-safe initialisation, read-only afterwards.
    static const TablePage cp1252(kCp1252ToUnicode, kCp1252BestFit);
    static const TablePage cp437(kCp437ToUnicode, kCp437BestFit);
    static const Latin1Page latin1(0x100);
    static const Latin1Page ascii(0x80);
    switch (code_page) {
        case 1252:
            return &cp1252;
        case 437:
            return &cp437;
        case 28591:
            return &latin1;
        case 20127:
            return &ascii;
        default:
            return nullptr;
    }
}

}  // namespace kvwin::text
