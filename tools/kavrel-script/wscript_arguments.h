// WScript.Arguments: the arguments given after "--", as a collection.
//
//   Item(i)   (the default member) argument i, from 0
//   Count()   how many
//   Length    how many, as a property
//   _NewEnum  an enumerator over the texts, for For Each and Enumerator
//
// Thread safety: immutable after creation; used by the script thread.
#pragma once

#include <string>
#include <vector>

#include "kvwin/dispatch_object.h"

class ScriptArguments final : public kvwin::DispatchObject<ScriptArguments, IDispatch> {
  public:
    explicit ScriptArguments(std::vector<std::u16string> arguments)
        : arguments_(std::move(arguments)) {}

    static std::span<const kvwin::DispatchMember<ScriptArguments>> DispatchMembers();
    std::u16string_view ErrorSource() const override { return u"WScript.Arguments"; }

    static HRESULT Item(ScriptArguments& self, kvwin::DispatchCall& call);
    static HRESULT Count(ScriptArguments& self, kvwin::DispatchCall& call);
    static HRESULT NewEnum(ScriptArguments& self, kvwin::DispatchCall& call);

  private:
    ~ScriptArguments() override = default;

    std::vector<std::u16string> arguments_;
};
