// Arbitrary text as a WQL query: the parser, the binder and the evaluator must never crash,
// leak or recurse without bound, and a refusal must point inside the text.
//
// The input's bytes are read as UTF-8 (invalid sequences included), so the corpus holds
// plain query texts.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "kvwin/utf.h"
#include "wql_fixture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::u16string text =
        kvwin::FromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
    kvwmi::wql::Query query;
    kvwmi::wql::ParseError error;
    if (!kvwmi::wql::Parse(text, query, error)) {
        if (error.offset > text.size() || error.message.empty())
            std::abort();
        return 0;
    }
    if (kvwmi::fuzz::RunWql(text) < 0 &&
        SUCCEEDED(kvwmi::wql::Bind(query, kvwmi::fuzz::FixtureClass())))
        std::abort();  // the same text parsed and bound once, and not the second time
    return 0;
}
