// The operators with the language's promotion rules: Integer results that overflow become
// Long, Long results Double; Null propagates; `/` and `^` give Double; `\` and Mod work on
// rounded Longs; comparisons follow the variable-versus-literal rules. The engine's thread
// only; every function may throw a ScriptError.
#pragma once

#include "value.h"

namespace kvvbs {

enum class BinOp : uint8_t {
    Add,
    Sub,
    Mul,
    Div,
    IntDiv,
    Mod,
    Pow,
    Concat,
    And,
    Or,
    Xor,
    Eqv,
    Imp,
    Eq,
    Ne,
    Lt,
    Le,
    Gt,
    Ge,
};

// Which operands of a comparison are literals in the text: a literal takes the kind of the
// other side (so 1 = "1" is True while two variables holding 1 and "1" differ).
enum : uint8_t { kLeftLiteral = 1, kRightLiteral = 2 };

Value Binary(BinOp op, const Value& a, const Value& b, uint8_t literals = 0);
Value Negate(const Value& a);
Value Not(const Value& a);
// -1, 0, 1; or 2 when either side is Null. text_compare: case-insensitive strings.
int Compare(const Value& a, const Value& b, uint8_t literals, bool text_compare = false);
// `a Is b`: the same object (Nothing Is Nothing too).
bool SameObject(const Value& a, const Value& b);

}  // namespace kvvbs
