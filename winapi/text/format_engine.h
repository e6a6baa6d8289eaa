// The formatting engine behind kvwin::Format and the C printf-style functions.
//
// It walks a format, asks an ArgumentSource for each argument a conversion needs and
// appends the text to a string. The source decides how arguments are read: from a
// va_list (unchecked, as the C functions must) or from a typed array (checked).
#pragma once

#include <string>

#include "kvwin/format.h"

namespace kvwin::text {

// What a conversion asks for.
enum class Wanted { Integer, Float, NarrowChar, WideChar, NarrowText, WideText, Pointer };

class ArgumentSource {
  public:
    virtual ~ArgumentSource() = default;
    // Reads the next argument as `wanted` (`bits` is the integer size the length modifier
    // names). Returns false, with a short description of what was there, when the argument
    // cannot serve; the engine then renders a marker instead of the conversion.
    virtual bool Next(Wanted wanted, int bits, FormatArg& out, const char*& given) = 0;
    // True when mismatches and malformed conversions are rendered as markers; false when
    // a malformed conversion fails the whole call (the C functions).
    virtual bool Checked() const = 0;
};

// Appends the formatted text to `out`. Returns false for a malformed conversion when the
// source is unchecked (`out` is then incomplete).
template <class Ch>
bool FormatInto(std::basic_string<Ch>& out, const Ch* format, ArgumentSource& args);

extern template bool FormatInto<char>(std::string&, const char*, ArgumentSource&);
extern template bool FormatInto<WCHAR>(WString&, const WCHAR*, ArgumentSource&);

// Reads from a typed argument array, checking each against its conversion.
class CheckedArguments final : public ArgumentSource {
  public:
    CheckedArguments(const FormatArg* args, size_t count) : args_(args), count_(count) {}
    bool Next(Wanted wanted, int bits, FormatArg& out, const char*& given) override;
    bool Checked() const override { return true; }

  private:
    const FormatArg* args_;
    size_t count_;
    size_t next_ = 0;
};

}  // namespace kvwin::text
