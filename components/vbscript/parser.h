// The parser: tokens to a syntax tree, by recursive descent. Nesting (expressions and
// blocks) is bounded; a deeper text is a compile error, never a deep C++ recursion. The
// engine's thread only; throws a compile ScriptError with its position.
#pragma once

#include <string_view>

#include "ast.h"

namespace kvvbs {

// The whole block as one Block node.
NodePtr Parse(std::u16string_view text);

}  // namespace kvvbs
