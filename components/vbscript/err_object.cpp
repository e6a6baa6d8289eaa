// The Err object.
#include "err_object.h"

#include "convert.h"
#include "errors.h"
#include "interpreter.h"
#include "kvwin/dispatch_object.h"
#include "module.h"
#include "variant_conversion.h"

namespace kvvbs {
namespace {

class ErrObject final : public kvwin::DispatchObject<ErrObject, IDispatch> {
  public:
    explicit ErrObject(std::weak_ptr<Runtime> rt) : rt_(std::move(rt)) {}

    static std::span<const kvwin::DispatchMember<ErrObject>> DispatchMembers() {
        constexpr WORD kProp = DISPATCH_PROPERTYGET | DISPATCH_PROPERTYPUT;
        static const kvwin::DispatchMember<ErrObject> members[] = {
            {u"Number", DISPID_VALUE, kProp, 0, 0, &ErrObject::Number},
            {u"Description", 1, kProp, 0, 0, &ErrObject::Description},
            {u"Source", 2, kProp, 0, 0, &ErrObject::Source},
            {u"HelpFile", 3, kProp, 0, 0, &ErrObject::HelpFile},
            {u"HelpContext", 4, kProp, 0, 0, &ErrObject::HelpContext},
            {u"Raise", 5, DISPATCH_METHOD, 1, 5, &ErrObject::Raise},
            {u"Clear", 6, DISPATCH_METHOD, 0, 0, &ErrObject::Clear},
        };
        return members;
    }

    std::u16string_view ErrorSource() const override { return raise_source_; }

  private:
    ~ErrObject() override = default;

    ErrState* State() {
        auto rt = rt_.lock();
        return rt ? &rt->Err() : nullptr;
    }

    static HRESULT Text(ErrObject& self, kvwin::DispatchCall& call, std::u16string ErrState::*f) {
        ErrState* s = self.State();
        if (!s)
            return E_UNEXPECTED;
        if (call.IsPut()) {
            s->*f = ToText(FromVariant(*call.PutValue()));
            return S_OK;
        }
        return kvwin::SetVariantText(call.Result(), s->*f);
    }
    static HRESULT Int(ErrObject& self, kvwin::DispatchCall& call, int ErrState::*f) {
        ErrState* s = self.State();
        if (!s)
            return E_UNEXPECTED;
        if (call.IsPut()) {
            s->*f = ToLong(FromVariant(*call.PutValue()));
            if (f == &ErrState::number && s->description.empty())
                s->description = ErrorText(s->number);
            return S_OK;
        }
        if (call.Result()) {
            call.Result()->vt = VT_I4;
            call.Result()->lVal = s->*f;
        }
        return S_OK;
    }
    static HRESULT Number(ErrObject& self, kvwin::DispatchCall& call) {
        return Guard(call, [&] { return Int(self, call, &ErrState::number); });
    }
    static HRESULT HelpContext(ErrObject& self, kvwin::DispatchCall& call) {
        return Guard(call, [&] { return Int(self, call, &ErrState::help_context); });
    }
    static HRESULT Description(ErrObject& self, kvwin::DispatchCall& call) {
        return Guard(call, [&] { return Text(self, call, &ErrState::description); });
    }
    static HRESULT Source(ErrObject& self, kvwin::DispatchCall& call) {
        return Guard(call, [&] { return Text(self, call, &ErrState::source); });
    }
    static HRESULT HelpFile(ErrObject& self, kvwin::DispatchCall& call) {
        return Guard(call, [&] { return Text(self, call, &ErrState::help_file); });
    }
    static HRESULT Clear(ErrObject& self, kvwin::DispatchCall&) {
        ErrState* s = self.State();
        if (s)
            *s = ErrState{};
        return S_OK;
    }
    // Raise(number, [source], [description], [helpfile], [helpcontext]): the call fails with
    // the error, which the engine then raises in the script.
    static HRESULT Raise(ErrObject& self, kvwin::DispatchCall& call) {
        return Guard(call, [&]() -> HRESULT {
            int number = ToLong(FromVariant(*call.Arg(0)));
            std::u16string source = call.Arg(1) ? ToText(FromVariant(*call.Arg(1))) : u"";
            std::u16string text =
                call.Arg(2) ? ToText(FromVariant(*call.Arg(2))) : ErrorText(number & 0xFFFF);
            if (number == 0)
                return call.Fail(ErrorHresult(kErrIllegalCall), ErrorText(kErrIllegalCall));
            self.raise_source_ = source;
            return call.Fail((number & 0xFFFF0000) ? HRESULT(number) : ErrorHresult(number), text);
        });
    }

    // Conversion errors of the arguments become failures of the call.
    template <class F>
    static HRESULT Guard(kvwin::DispatchCall& call, F&& body) {
        try {
            return body();
        } catch (const ScriptError& e) {
            return call.Fail(ErrorHresult(e.number), ErrorText(e.number));
        }
    }

    ModuleRef module_ref_;
    std::weak_ptr<Runtime> rt_;
    std::u16string raise_source_;  // the source of the error Raise is raising
};

}  // namespace

IDispatch* CreateErrObject(std::shared_ptr<Runtime> rt) {
    return new ErrObject(rt);
}

}  // namespace kvvbs
