// WScript.StdOut, WScript.StdErr and WScript.StdIn: the console streams as text streams.
//
//   StdOut, StdErr:  Write(text), WriteLine([text]), WriteBlankLines(n)
//   StdIn:           ReadLine(), ReadAll(), AtEndOfStream
//
// Values are written as Echo writes them (value_text.h), in UTF-8; lines end with "\n".
// Reading at the end of the stream fails with error 62 ("Input past end of file"); a read
// that waits when the run is stopped fails with E_ABORT.
//
// Thread safety: used by the script thread; the console objects they write to and read from
// outlive them (they belong to the run's host context).
#pragma once

#include "console.h"
#include "kvwin/dispatch_object.h"

class ScriptOutputStream final : public kvwin::DispatchObject<ScriptOutputStream, IDispatch> {
  public:
    explicit ScriptOutputStream(ConsoleOutput& output) : output_(output) {}

    static std::span<const kvwin::DispatchMember<ScriptOutputStream>> DispatchMembers();
    std::u16string_view ErrorSource() const override { return u"TextStream"; }

    static HRESULT Write(ScriptOutputStream& self, kvwin::DispatchCall& call);
    static HRESULT WriteLine(ScriptOutputStream& self, kvwin::DispatchCall& call);
    static HRESULT WriteBlankLines(ScriptOutputStream& self, kvwin::DispatchCall& call);

  private:
    ~ScriptOutputStream() override = default;

    ConsoleOutput& output_;
};

class ScriptInputStream final : public kvwin::DispatchObject<ScriptInputStream, IDispatch> {
  public:
    explicit ScriptInputStream(ConsoleInput& input) : input_(input) {}

    static std::span<const kvwin::DispatchMember<ScriptInputStream>> DispatchMembers();
    std::u16string_view ErrorSource() const override { return u"TextStream"; }

    static HRESULT ReadLine(ScriptInputStream& self, kvwin::DispatchCall& call);
    static HRESULT ReadAll(ScriptInputStream& self, kvwin::DispatchCall& call);
    static HRESULT AtEndOfStream(ScriptInputStream& self, kvwin::DispatchCall& call);

  private:
    ~ScriptInputStream() override = default;

    ConsoleInput& input_;
};
