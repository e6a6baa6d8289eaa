// IDispatch over the globals.
#include "script_dispatch.h"

#include "kvwin/dispatch_object.h"
#include "kvwin/script_failure.h"
#include "lexer.h"
#include "module.h"
#include "variant_conversion.h"

namespace kvvbs {
namespace {

class ScriptDispatch final : public kvwin::UntypedDispatch<IDispatch> {
  public:
    explicit ScriptDispatch(std::shared_ptr<Runtime> rt) : rt_(std::move(rt)) {}

    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!names || !ids)
            return E_POINTER;
        if (rt_->IsShutDown())
            return E_UNEXPECTED;
        return kvwin::GuardComCall([&]() -> HRESULT {
            HRESULT hr = S_OK;
            for (UINT i = 0; i < count; ++i) {
                ids[i] = DISPID_UNKNOWN;
                int slot = i == 0 && names[i] ? rt_->FindGlobal(LowerName(names[i])) : -1;
                if (slot < 0 || !rt_->GlobalAt(slot).declared || rt_->GlobalAt(slot).item) {
                    hr = DISP_E_UNKNOWNNAME;
                    continue;
                }
                ids[i] = DISPID(slot + 1);
            }
            return hr;
        });
    }

    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excep, UINT*) override {
        if (rt_->IsShutDown())
            return E_UNEXPECTED;
        if (params && params->cArgs > 0 && !params->rgvarg)
            return E_INVALIDARG;
        if (id < 1 || size_t(id) > rt_->GlobalCount())
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

  private:
    ~ScriptDispatch() override = default;
    ModuleRef module_ref_;
    std::shared_ptr<Runtime> rt_;
};

}  // namespace

IDispatch* CreateScriptDispatch(std::shared_ptr<Runtime> rt) {
    return new ScriptDispatch(std::move(rt));
}

}  // namespace kvvbs
