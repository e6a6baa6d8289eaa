// Arbitrary patterns and texts through the RegExp engine: the pattern rewriting, PCRE2's
// compile and a Global search must never crash or leak; every input ends in matches or a
// script error of the documented kinds.
//
// Input: the first byte holds the flags (bit 0 IgnoreCase, bit 1 Multiline); the rest is
// Latin-1 text, the pattern up to the first NUL and the subject after it. The interrupt
// flag is always set, so a runaway search ends after its first, limited try.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "errors.h"
#include "regexp_engine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    kvvbs::regex::Options options{(data[0] & 1) != 0, (data[0] & 2) != 0};
    std::u16string input(data + 1, data + size);
    size_t split = input.find(u'\0');
    std::u16string pattern = input.substr(0, split);
    std::u16string subject = split == std::u16string::npos ? u"" : input.substr(split + 1);
    static const std::atomic<bool> stop{true};
    try {
        auto compiled = kvvbs::regex::Pattern::Compile(pattern, options);
        kvvbs::regex::Pattern::Search search(*compiled, &stop);
        std::vector<uint32_t> found;
        size_t at = 0;
        while (at <= subject.size() && search.Find(subject, at, found)) {
            if (found[0] > found[1] || found[1] > subject.size())
                __builtin_trap();  // a match inside the text, start before end
            at = found[1] > found[0] ? found[1] : size_t(found[1]) + 1;
        }
    } catch (const kvvbs::ScriptError& e) {
        if (e.number < 5017 && e.number != kvvbs::kErrOutOfMemory &&
            e.number != kvvbs::kErrOutOfStack)
            __builtin_trap();
        if (e.number > 5021)
            __builtin_trap();
    }
    return 0;
}
