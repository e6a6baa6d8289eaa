#include "wscript_arguments.h"

#include "kvwin/variant_enumerator.h"
#include "script_errors.h"
#include "win/comutil.h"

HRESULT ScriptArguments::Item(ScriptArguments& self, kvwin::DispatchCall& call) {
    _variant_t index;
    if (!call.Arg(0) || FAILED(VariantChangeType(&index, call.Arg(0), 0, VT_I4)))
        return call.Fail(kScriptTypeMismatch, u"Type mismatch");
    if (index.lVal < 0 || static_cast<size_t>(index.lVal) >= self.arguments_.size())
        return call.Fail(kScriptSubscriptOutOfRange, u"Subscript out of range");
    return kvwin::SetVariantText(call.Result(), self.arguments_[static_cast<size_t>(index.lVal)]);
}

HRESULT ScriptArguments::Count(ScriptArguments& self, kvwin::DispatchCall& call) {
    if (VARIANT* result = call.Result()) {
        result->vt = VT_I4;
        result->lVal = static_cast<LONG>(self.arguments_.size());
    }
    return S_OK;
}

HRESULT ScriptArguments::NewEnum(ScriptArguments& self, kvwin::DispatchCall& call) {
    std::vector<_variant_t> texts;
    texts.reserve(self.arguments_.size());
    for (const std::u16string& argument : self.arguments_) {
        _variant_t text;
        const HRESULT hr = kvwin::SetVariantText(&text, argument);
        if (FAILED(hr))
            return hr;
        texts.push_back(std::move(text));
    }
    return kvwin::ReturnEnumerator(call.Result(), std::move(texts));
}

namespace {

constexpr WORD kGet = DISPATCH_PROPERTYGET;
constexpr WORD kMethod = DISPATCH_METHOD;

// Count is a method and Length a property, so that both `Arguments.Count()` and
// `Arguments.length` read as JScript expects.
const kvwin::DispatchMember<ScriptArguments> kMembers[] = {
    {u"Item", DISPID_VALUE, kMethod | kGet, 1, 1, &ScriptArguments::Item},
    {u"Count", 1, kMethod, 0, 0, &ScriptArguments::Count},
    {u"Length", 2, kGet, 0, 0, &ScriptArguments::Count},
    {u"_NewEnum", DISPID_NEWENUM, kMethod | kGet, 0, 0, &ScriptArguments::NewEnum},
};

}  // namespace

std::span<const kvwin::DispatchMember<ScriptArguments>> ScriptArguments::DispatchMembers() {
    return kMembers;
}
