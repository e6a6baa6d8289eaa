#include "wscript_streams.h"

#include "script_errors.h"
#include "value_text.h"
#include "win/comutil.h"

namespace {

constexpr WORD kGet = DISPATCH_PROPERTYGET;
constexpr WORD kMethod = DISPATCH_METHOD;

// The largest count of blank lines one call writes: a bound on what a script's number asks.
constexpr LONG kMostBlankLines = 1 << 20;

HRESULT Stopped(kvwin::DispatchCall& call) {
    return call.Fail(E_ABORT, u"The script was stopped");
}

HRESULT PastEnd(kvwin::DispatchCall& call) {
    return call.Fail(kScriptInputPastEnd, u"Input past end of file");
}

}  // namespace

HRESULT ScriptOutputStream::Write(ScriptOutputStream& self, kvwin::DispatchCall& call) {
    std::u16string text;
    if (FAILED(ValueText(call.Arg(0), text)))
        return call.Fail(kScriptTypeMismatch, u"Type mismatch");
    self.output_.Write(text);
    return S_OK;
}

HRESULT ScriptOutputStream::WriteLine(ScriptOutputStream& self, kvwin::DispatchCall& call) {
    std::u16string text;
    if (FAILED(ValueText(call.Arg(0), text)))
        return call.Fail(kScriptTypeMismatch, u"Type mismatch");
    text.push_back(u'\n');
    self.output_.Write(text);
    return S_OK;
}

HRESULT ScriptOutputStream::WriteBlankLines(ScriptOutputStream& self, kvwin::DispatchCall& call) {
    _variant_t count;
    if (!call.Arg(0) || FAILED(VariantChangeType(&count, call.Arg(0), 0, VT_I4)))
        return call.Fail(kScriptTypeMismatch, u"Type mismatch");
    if (count.lVal < 0 || count.lVal > kMostBlankLines)
        return call.Fail(kScriptInvalidCall, u"Invalid procedure call or argument");
    self.output_.WriteUtf8(std::string(static_cast<size_t>(count.lVal), '\n'));
    return S_OK;
}

HRESULT ScriptInputStream::ReadLine(ScriptInputStream& self, kvwin::DispatchCall& call) {
    std::u16string line;
    switch (self.input_.ReadLine(line)) {
        case ConsoleInput::Outcome::Stopped:
            return Stopped(call);
        case ConsoleInput::Outcome::EndOfStream:
            return PastEnd(call);
        case ConsoleInput::Outcome::Read:
            break;
    }
    return kvwin::SetVariantText(call.Result(), line);
}

HRESULT ScriptInputStream::ReadAll(ScriptInputStream& self, kvwin::DispatchCall& call) {
    std::u16string text;
    if (self.input_.ReadAll(text) == ConsoleInput::Outcome::Stopped)
        return Stopped(call);
    return kvwin::SetVariantText(call.Result(), text);
}

HRESULT ScriptInputStream::AtEndOfStream(ScriptInputStream& self, kvwin::DispatchCall& call) {
    bool atEnd = false;
    if (self.input_.AtEnd(atEnd) == ConsoleInput::Outcome::Stopped)
        return Stopped(call);
    if (VARIANT* result = call.Result()) {
        result->vt = VT_BOOL;
        result->boolVal = atEnd ? VARIANT_TRUE : VARIANT_FALSE;
    }
    return S_OK;
}

namespace {

const kvwin::DispatchMember<ScriptOutputStream> kOutputMembers[] = {
    {u"Write", 1, kMethod, 1, 1, &ScriptOutputStream::Write},
    {u"WriteLine", 2, kMethod, 0, 1, &ScriptOutputStream::WriteLine},
    {u"WriteBlankLines", 3, kMethod, 1, 1, &ScriptOutputStream::WriteBlankLines},
};

const kvwin::DispatchMember<ScriptInputStream> kInputMembers[] = {
    {u"ReadLine", 1, kMethod, 0, 0, &ScriptInputStream::ReadLine},
    {u"ReadAll", 2, kMethod, 0, 0, &ScriptInputStream::ReadAll},
    {u"AtEndOfStream", 3, kGet, 0, 0, &ScriptInputStream::AtEndOfStream},
};

}  // namespace

std::span<const kvwin::DispatchMember<ScriptOutputStream>> ScriptOutputStream::DispatchMembers() {
    return kOutputMembers;
}

std::span<const kvwin::DispatchMember<ScriptInputStream>> ScriptInputStream::DispatchMembers() {
    return kInputMembers;
}
