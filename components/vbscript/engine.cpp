// IActiveScript and IActiveScriptParse64: the layer's state machine over the runtime.
#include "engine.h"

#include <memory>
#include <string>
#include <vector>

#include "interpreter.h"
#include "kvwin/active_script_engine.h"
#include "kvwin/ascii_case.h"
#include "module.h"
#include "script_dispatch.h"
#include "variant_conversion.h"

namespace kvvbs {
namespace {

class Engine final : public kvwin::ActiveScriptEngine<Engine, Runtime, RuntimeHost> {
  public:
    // Named items are found without regard to case, as the language's names are.
    static bool SameItemName(std::u16string_view a, std::u16string_view b) {
        return kvwin::EqualsAsciiNoCase(a, b);
    }

    void ItemAdded(std::u16string_view name, DWORD flags, bool is_new) {
        if (is_new)
            runtime_->AddNamedItem(name, (flags & SCRIPTITEM_GLOBALMEMBERS) != 0);
    }

    IDispatch* CreateGlobalDispatch() { return CreateScriptDispatch(runtime_); }

    // Compiles at once (a compile error is reported now); global code runs when started.
    HRESULT ParseText(std::u16string_view text, DWORDLONG cookie, ULONG start_line, DWORD flags,
                      VARIANT* result, bool started) {
        std::shared_ptr<Runtime> rt = runtime_;
        return rt->Enter([&] {
            if (flags & SCRIPTTEXT_ISEXPRESSION) {
                Value v = rt->Evaluate(text, cookie, start_line);
                if (result)
                    ToVariant(v, result);
                return;
            }
            int proc = rt->Compile(text, cookie, start_line);
            if (started)
                rt->RunGlobalCode(proc);
            else
                pending_.push_back(proc);
        });
    }

    HRESULT RunPending() {
        std::shared_ptr<Runtime> rt = runtime_;
        while (!pending_.empty()) {
            int proc = pending_.front();
            pending_.erase(pending_.begin());
            HRESULT hr = rt->Enter([&] { rt->RunGlobalCode(proc); });
            if (FAILED(hr))
                return hr;
        }
        return S_OK;
    }

    void DropPending() { pending_.clear(); }

    // The site's locale for the script's number and date texts; 0 leaves the choice to the
    // runtime (the user's locale).
    LCID HostLocale() override {
        LCID lcid = 0;
        IActiveScriptSite* site = Site();
        return site && site->GetLCID(&lcid) == S_OK ? lcid : 0;
    }

    IActiveScriptSiteDialogs* HostDialogs() override {
        IActiveScriptSite* site = Site();
        void* dialogs = nullptr;
        if (!site || FAILED(site->QueryInterface(IID_IActiveScriptSiteDialogs, &dialogs)))
            return nullptr;
        return static_cast<IActiveScriptSiteDialogs*>(dialogs);
    }

  private:
    ~Engine() override { Close(); }

    ModuleRef module_ref_;
    std::vector<int> pending_;  // global code parsed before the start, in order
};

}  // namespace

HRESULT CreateEngine(IUnknown* outer, REFIID riid, void** ppv) {
    return kvwin::CreateComInstance<Engine>(outer, riid, ppv);
}

}  // namespace kvvbs
