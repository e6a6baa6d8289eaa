// The language's error numbers, their texts, and the exception that carries a run-time or
// compile error through the interpreter (it never leaves the component: every COM entry
// catches it). Pure data and functions; safe from any thread.
#pragma once

#include <string>

#include "win/oleauto.h"

namespace kvvbs {

// Run-time error numbers (as the Err object shows them).
enum ErrorNumber : int {
    kErrIllegalCall = 5,
    kErrOverflow = 6,
    kErrOutOfMemory = 7,
    kErrSubscript = 9,
    kErrFixedArray = 10,
    kErrDivisionByZero = 11,
    kErrTypeMismatch = 13,
    kErrOutOfStringSpace = 14,
    kErrOutOfStack = 28,
    kErrBadFileName = 52,
    kErrObjectRequired = 424,
    kErrCantCreateObject = 429,
    kErrNoAutomation = 430,
    kErrNoMember = 438,
    kErrNotSet = 91,
    kErrInvalidProcCall = 5,
    kErrWrongArgCount = 450,
    kErrUndefined = 500,
    kErrNotAVariable = 501,
    kErrInvalidAssign = 501,
    kErrRedefined = 1041,
    kErrSyntax = 1002,
    kErrExpectedExpr = 1023,
    kErrExpectedEnd = 1025,
    kErrExpectedStatement = 1024,
    kErrNameRedefined = 1041,
};

// The HRESULT a VBScript error number stands for (0x800A0000 | number).
inline HRESULT ErrorHresult(int number) {
    return HRESULT(0x800A0000u | unsigned(number & 0xFFFF));
}

// The text of an error number ("" for numbers without one).
std::u16string ErrorText(int number);

// The error number a failed COM call shows as: the VBScript numbers for the Automation
// failures that have one, the HRESULT itself otherwise.
int ErrorNumberForHresult(HRESULT hr);

// A script error on its way up: number, description and source; compile errors carry the
// position they were found at. interrupted marks InterruptScriptThread, which no On Error
// handler may catch.
struct ScriptError {
    int number = 0;              // the Err.Number value (may be a full HRESULT)
    std::u16string description;  // empty: the number's own text
    std::u16string source;       // empty: "VBScript runtime error"
    bool compile = false;
    bool interrupted = false;
    HRESULT interrupt_code = E_ABORT;
    unsigned line = 0;  // zero-based line within the block
    unsigned column = 0;
    int block = -1;  // the block of the position; -1 while no position is known
};

[[noreturn]] void Throw(int number);
[[noreturn]] void Throw(int number, std::u16string description);
// Error 94, "Invalid use of Null": a Null where a conversion or a function needs a value.
[[noreturn]] void ThrowInvalidNull();

// The longest text a script may make, in UTF-16 units (256 MB): far beyond what any script
// needs, and small enough that a loop doubling a text, or joining one shared text many
// times, ends in error 14 long before the host process runs out of memory.
inline constexpr size_t kMaxTextUnits = size_t(1) << 27;

// Error 14 unless a text of `units` units may be made; called before its memory is taken.
inline void CheckTextLength(size_t units) {
    if (units > kMaxTextUnits)
        Throw(kErrOutOfStringSpace);
}

}  // namespace kvvbs
