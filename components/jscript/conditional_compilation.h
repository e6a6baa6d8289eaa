// JScript's conditional compilation: /*@cc_on ... @*/, //@cc_on, @if / @elif / @else / @end,
// @set @name = expression, and the predefined variables (@_jscript, @_jscript_version 5.8,
// @_jscript_build, @_win32, @_microsoft; any other unset name is NaN).
//
// The text a script gives is rewritten before it is compiled: once @cc_on has been seen,
// "/*@" and "@*/" (and "//@") lose their comment meaning, directives are evaluated and the
// branches not taken become blanks, and @name is replaced by its value. Line breaks are
// kept, so line numbers in errors stay those of the script. A text that never says "@cc_on"
// is returned unchanged.
//
// Expressions take numbers, true, false, @names, parentheses, ! ~ unary - +, * / %, + -,
// < <= > >= == != === !==, & ^ |, && ||; nesting deeper than 64 levels, unbalanced
// conditionals or a malformed expression set `error` and leave a stray '@' at the fault, so
// the script then fails to compile on that line, as it would on Windows.
//
// Stateless; safe from any thread.
#pragma once

#include <string>
#include <string_view>

namespace kvjs {

std::u16string PreprocessConditional(std::u16string_view text, bool& error);

}  // namespace kvjs
