// Text between COM (UTF-16) and Duktape (CESU-8: every UTF-16 code unit, surrogates
// included, as its own UTF-8-style sequence), so that script strings keep the language's
// code-unit semantics and lone surrogates survive the round trip. Pure functions over one
// heap; the engine's thread only.
#pragma once

#include <string>
#include <string_view>

#include "duktape.h"

namespace kvjs {

// Pushes the text as a script string.
void PushText(duk_context* ctx, std::u16string_view text);
// The script string (or the ToString of any other value) at idx, as UTF-16.
std::u16string GetText(duk_context* ctx, duk_idx_t idx);

}  // namespace kvjs
