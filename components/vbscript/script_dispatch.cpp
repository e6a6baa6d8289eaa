// IDispatchEx over the globals.
#include "script_dispatch.h"

#include "kvwin/dispatch_ex_object.h"
#include "kvwin/script_failure.h"
#include "lexer.h"
#include "module.h"
#include "variant_conversion.h"

namespace kvvbs {
namespace {

class ScriptDispatch final : public kvwin::DispatchExObject<> {
  public:
    explicit ScriptDispatch(std::shared_ptr<Runtime> rt) : rt_(std::move(rt)) {}

    STDMETHODIMP InvokeEx(DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO* excep, IServiceProvider*) override {
        if (rt_->IsShutDown())
            return E_UNEXPECTED;
        if (params && params->cArgs > 0 && !params->rgvarg)
            return E_INVALIDARG;
        if (!Visible(id))
            return DISP_E_MEMBERNOTFOUND;
        if (result)
            VariantInit(result);
        return kvwin::GuardComCall([&]() -> HRESULT {
            HRESULT answer = S_OK;
            HRESULT hr = rt_->Enter([&] {
                std::vector<Value> args;
                UINT argc = params ? params->cArgs : 0;
                for (UINT i = argc; i-- > 0;)
                    args.push_back(FromVariant(params->rgvarg[i]));
                bool found = false;
                Value r = rt_->CallGlobalByName(int(id - 1), args.data(), uint32_t(args.size()),
                                                flags, &found);
                if (!found) {
                    answer = DISP_E_MEMBERNOTFOUND;
                    return;
                }
                if (result)
                    ToVariant(r, result);
            });
            if (hr == DISP_E_EXCEPTION) {
                if (!excep)
                    return rt_->LastFailure().code;
                FillExcepInfo(rt_->LastFailure(), excep);
                return DISP_E_EXCEPTION;
            }
            return FAILED(hr) ? hr : answer;
        });
    }

    // A script's globals stay for the life of the engine.
    STDMETHODIMP DeleteMemberByName(BSTR, DWORD) override { return S_FALSE; }
    STDMETHODIMP DeleteMemberByDispID(DISPID) override { return S_FALSE; }

    STDMETHODIMP GetMemberProperties(DISPID id, DWORD fetch, DWORD* props) override {
        if (!props)
            return E_POINTER;
        *props = 0;
        if (rt_->IsShutDown())
            return E_UNEXPECTED;
        if (!Visible(id))
            return DISP_E_UNKNOWNNAME;
        const Global& g = rt_->GlobalAt(int(id - 1));
        DWORD all;
        if (g.value.Is(Kind::Proc))
            all = fdexPropCanGet | fdexPropCanCall | fdexPropCannotPut | fdexPropCannotPutRef |
                  fdexPropCannotConstruct | fdexPropCannotSourceEvents;
        else if (g.is_const)
            all = fdexPropCanGet | fdexPropCannotPut | fdexPropCannotPutRef | fdexPropCannotCall |
                  fdexPropCannotConstruct | fdexPropCannotSourceEvents;
        else
            all = fdexPropCanGet | fdexPropCanPut | fdexPropCanPutRef | fdexPropCannotCall |
                  fdexPropCannotConstruct | fdexPropCannotSourceEvents | fdexPropDynamicType;
        *props = all & fetch;
        return S_OK;
    }

    STDMETHODIMP GetMemberName(DISPID id, BSTR* name) override {
        if (!name)
            return E_POINTER;
        *name = nullptr;
        if (rt_->IsShutDown())
            return E_UNEXPECTED;
        if (!Visible(id))
            return DISP_E_UNKNOWNNAME;
        const std::u16string& text = rt_->GlobalAt(int(id - 1)).name;
        *name = SysAllocStringLen(text.data(), UINT(text.size()));
        return *name ? S_OK : E_OUTOFMEMORY;
    }

    // The globals in the order the script made them known; S_FALSE after the last.
    STDMETHODIMP GetNextDispID(DWORD, DISPID id, DISPID* next) override {
        if (!next)
            return E_POINTER;
        *next = DISPID_UNKNOWN;
        if (rt_->IsShutDown())
            return E_UNEXPECTED;
        if (id != DISPID_STARTENUM && id < 1)
            return E_INVALIDARG;
        size_t from = id == DISPID_STARTENUM ? 0 : size_t(id);
        for (size_t slot = from; slot < rt_->GlobalCount(); ++slot) {
            if (Visible(DISPID(slot + 1))) {
                *next = DISPID(slot + 1);
                return S_OK;
            }
        }
        return S_FALSE;
    }

  protected:
    // The language ignores case: fdexNameCaseSensitive cannot tell two names apart.
    // fdexNameEnsure adds a global variable (Empty) that the script's later blocks see.
    HRESULT FindName(std::u16string_view name, DWORD grfdex, DISPID* id) override {
        if (rt_->IsShutDown())
            return E_UNEXPECTED;
        *id = Find(name);
        if (*id != DISPID_UNKNOWN)
            return S_OK;
        if (!(grfdex & fdexNameEnsure) || !ValidName(name))
            return DISP_E_UNKNOWNNAME;
        int slot = rt_->GlobalSlot(name);
        Global& g = rt_->GlobalAt(slot);
        if (g.item)
            return DISP_E_UNKNOWNNAME;
        g.declared = g.known = true;
        *id = DISPID(slot + 1);
        return S_OK;
    }
    DWORD NameFlags() const override { return fdexNameCaseInsensitive; }

  private:
    ~ScriptDispatch() override = default;

    // A global the script has declared (named items are the host's, not the script's).
    bool Visible(DISPID id) const {
        if (id < 1 || size_t(id) > rt_->GlobalCount())
            return false;
        const Global& g = rt_->GlobalAt(int(id - 1));
        return g.declared && !g.item;
    }

    DISPID Find(std::u16string_view name) const {
        int slot = rt_->FindGlobal(LowerName(name));
        return slot >= 0 && Visible(DISPID(slot + 1)) ? DISPID(slot + 1) : DISPID_UNKNOWN;
    }

    static bool ValidName(std::u16string_view name) {
        if (name.empty() || name.size() > 255)
            return false;
        for (char16_t c : name) {
            if (!(c == u'_' || (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') ||
                  (c >= u'A' && c <= u'Z')))
                return false;
        }
        return !(name[0] >= u'0' && name[0] <= u'9') && name[0] != u'_';
    }

    ModuleRef module_ref_;
    std::shared_ptr<Runtime> rt_;
};

}  // namespace

IDispatch* CreateScriptDispatch(std::shared_ptr<Runtime> rt) {
    return static_cast<IDispatchEx*>(new ScriptDispatch(std::move(rt)));
}

}  // namespace kvvbs
