// The built-in functions: one table of entries (name, argument counts, implementation),
// assembled from the per-topic files (builtins_strings.cpp, builtins_conversions.cpp,
// builtins_arrays.cpp, builtins_objects.cpp, builtins_dates.cpp, builtins_math.cpp,
// builtins_format.cpp, builtins_engine.cpp), and the named constants (vbCrLf, ...).
// The tables are immutable; the functions run on the engine's thread.
#pragma once

#include <span>
#include <string_view>

#include "value.h"

namespace kvvbs {

class Runtime;

struct Builtin {
    const char16_t* name;  // lower case
    uint8_t min_args;
    uint8_t max_args;
    Value (*fn)(Runtime& rt, Value* args, uint32_t argc);
};

std::span<const Builtin> StringBuiltins();
std::span<const Builtin> ConversionBuiltins();
std::span<const Builtin> ArrayBuiltins();
std::span<const Builtin> ObjectBuiltins();
std::span<const Builtin> DateBuiltins();
std::span<const Builtin> MathBuiltins();
std::span<const Builtin> FormatBuiltins();
std::span<const Builtin> EngineBuiltins();

// The index of a built-in by lower-case name, or -1.
int FindBuiltin(std::u16string_view lower);
const Builtin& BuiltinAt(int index);
// A named constant by lower-case name.
bool FindConstant(std::u16string_view lower, Value* out);

}  // namespace kvvbs
