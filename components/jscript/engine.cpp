// IActiveScript and IActiveScriptParse64: the layer's state machine over the script heap.
#include "engine.h"

#include "call_assignment.h"
#include "conditional_compilation.h"

#include <memory>
#include <string>

#include "kvwin/active_script_engine.h"
#include "module.h"
#include "runtime.h"
#include "script_dispatch.h"
#include "text.h"
#include "variant_conversion.h"

namespace kvjs {
namespace {

const char kPendingKey[] = "kvjs:pending";  // compiled global code not yet run (heap stash)

class Engine final : public kvwin::ActiveScriptEngine<Engine, Runtime, RuntimeHost> {
  public:
    // The language's names are case-sensitive, and so are the items'.
    static bool SameItemName(std::u16string_view a, std::u16string_view b) { return a == b; }

    void ItemAdded(std::u16string_view name, DWORD flags, bool) {
        if (flags & SCRIPTITEM_ISVISIBLE)
            runtime_->DefineNamedItem(name);
    }

    IDispatch* CreateGlobalDispatch() {
        IDispatch* global = nullptr;
        runtime_->Peek([&](duk_context* ctx) {
            duk_push_global_object(ctx);
            global = CreateScriptDispatch(ctx, -1);
            duk_pop(ctx);
        });
        return global;
    }

    // Compiles now; global code waits in the heap stash until the engine is started.
    HRESULT ParseText(std::u16string_view code, DWORDLONG cookie, ULONG start_line, DWORD flags,
                      VARIANT* result, bool started) {
        std::u16string text(code);
        std::string file = runtime_->AddSourceText(text, cookie, start_line);
        const bool expression = (flags & SCRIPTTEXT_ISEXPRESSION) != 0;
        const bool run_now = expression || started;
        bool conditional_error = false;
        const std::u16string compiled =
            RewriteCallAssignments(PreprocessConditional(text, conditional_error));
        return runtime_->Run([&](duk_context* ctx) {
            PushText(ctx, compiled);
            duk_push_string(ctx, file.c_str());
            duk_compile(ctx, expression ? DUK_COMPILE_EVAL : 0);
            if (run_now) {
                duk_call(ctx, 0);
                if (expression && result)
                    ToVariant(ctx, -1, result);
                return;
            }
            duk_push_heap_stash(ctx);
            if (!duk_get_prop_string(ctx, -1, kPendingKey)) {
                duk_pop(ctx);
                duk_push_array(ctx);
                duk_dup_top(ctx);
                duk_put_prop_string(ctx, -3, kPendingKey);
            }
            duk_dup(ctx, -3);
            duk_put_prop_index(ctx, -2, duk_uarridx_t(duk_get_length(ctx, -2)));
        });
    }

    HRESULT RunPending() {
        HRESULT hr = S_OK;
        while (SUCCEEDED(hr)) {
            bool ran = false;
            hr = runtime_->Run([&](duk_context* ctx) {
                duk_push_heap_stash(ctx);
                if (!duk_get_prop_string(ctx, -1, kPendingKey) || duk_get_length(ctx, -1) == 0)
                    return;
                // Take the first piece off the list before running it, so that a failure
                // does not run it again.
                duk_get_prop_string(ctx, -1, "shift");
                duk_dup(ctx, -2);
                duk_call_method(ctx, 0);
                ran = true;
                duk_call(ctx, 0);
            });
            if (!ran)
                break;
        }
        return hr;
    }

    // The pending code lives in the heap, which goes with the runtime.
    void DropPending() {}

  private:
    ~Engine() override { Close(); }

    ModuleRef module_ref_;
};

}  // namespace

HRESULT CreateEngine(IUnknown* outer, REFIID riid, void** ppv) {
    return kvwin::CreateComInstance<Engine>(outer, riid, ppv);
}

}  // namespace kvjs
