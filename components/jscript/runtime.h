// One script heap: the Duktape heap of an engine, its built-in objects, the texts it was
// given (for error positions), and the protected entry through which every piece of script
// runs.
//
// Thread safety: the runtime runs on the engine's thread. Only its InterruptSignal is shared:
// any thread may set it at any time, and the interpreter's interrupt hook reads it. A set
// signal stops the script that runs now, or else the next entry before it starts.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "duktape.h"
#include "kvwin/script_failure.h"
#include "kvwin/script_interrupt.h"
#include "win/activscp.h"

namespace kvjs {

// What went wrong in a piece of script, as IActiveScriptError reports it (the layer's
// description, shared by the engines). Duktape records lines only, so the column is 0.
using ScriptFailure = kvwin::ScriptFailure;

// What a runtime asks of the engine that owns it.
class RuntimeHost {
  public:
    virtual void EnterScript() = 0;  // around outermost entries only
    virtual void LeaveScript() = 0;
    virtual void ReportError(const ScriptFailure& failure) = 0;  // outermost failures only
    // The object behind a visible named item (a new reference), or a failure.
    virtual HRESULT NamedItemObject(std::u16string_view name, IDispatch** out) = 0;

  protected:
    ~RuntimeHost() = default;
};

using InterruptSignal = kvwin::InterruptSignal;

class Runtime : public std::enable_shared_from_this<Runtime> {
  public:
    Runtime(RuntimeHost* host, std::shared_ptr<InterruptSignal> signal);
    ~Runtime();
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    static Runtime& Of(duk_context* ctx);

    // Null after Shutdown.
    duk_context* Context() const { return ctx_; }
    // Destroys the heap (finalizers release the COM objects scripts held); the runtime
    // stays as an empty shell for objects that still point at it.
    void Shutdown();

    bool InterruptRequested() const { return signal_->requested.load(std::memory_order_acquire); }

    // Registers script text; returns the file name to compile it under, by which failures
    // find their text again.
    std::string AddSourceText(std::u16string_view code, DWORDLONG cookie, ULONG start_line);

    // Makes a visible named item's name resolve to the host's object.
    void DefineNamedItem(std::u16string_view name);

    // Runs body (which may throw script errors) in a protected call. Outermost entries are
    // bracketed by EnterScript/LeaveScript, and their failures go to ReportError and give
    // SCRIPT_E_REPORTED; a nested failure gives DISP_E_EXCEPTION and stays in LastFailure().
    // An interrupted run gives the interrupt's code (E_ABORT unless the caller of
    // InterruptScriptThread named another) and is not reported.
    HRESULT Run(const std::function<void(duk_context*)>& body);

    const ScriptFailure& LastFailure() const { return last_failure_; }

    // Runs body in a protected call that is not a script entry: no site callbacks, no
    // error reports, a pending interrupt left pending. False when it failed.
    bool Peek(const std::function<void(duk_context*)>& body);

    // DISPIDs of the member names the heap's dispatch objects have handed out.
    struct NameTable {
        std::unordered_map<std::u16string, DISPID> ids;
        std::vector<std::u16string> names;  // DISPID n names names[n - 1]
    };
    NameTable& Names() { return names_; }

    // The prototypes of the values COM gives that have no script type of their own (a
    // VT_DATE, an object without IDispatch, a SAFEARRAY) and the names typeof gives them. Heap
    // pointers, kept alive by the heap stash; null until the built-ins are installed.
    struct ComValueTypes {
        void* date_prototype = nullptr;
        void* unknown_prototype = nullptr;
        void* array_prototype = nullptr;
        void* date_name = nullptr;
        void* unknown_name = nullptr;
    };
    ComValueTypes& ValueTypes() { return value_types_; }

    // Asks the host for a named item's object.
    HRESULT HostNamedItem(std::u16string_view name, IDispatch** out) {
        return host_ ? host_->NamedItemObject(name, out) : E_UNEXPECTED;
    }

    // Describes the error value at idx (may throw script errors: call it protected).
    ScriptFailure Describe(duk_idx_t idx);

  private:
    // Describes the error on top of the stack inside a protected call.
    ScriptFailure DescribeProtected();

    // The heap's memory functions, which keep what the heap holds within its budget
    // (udata is the runtime; called on the thread using the heap, as the heap is).
    static void* Allocate(void* udata, duk_size_t size);
    static void* Reallocate(void* udata, void* block, duk_size_t size);
    static void Free(void* udata, void* block);

    struct SourceText {
        std::u16string code;
        DWORDLONG cookie;
        ULONG start_line;
    };

    RuntimeHost* host_;
    duk_context* ctx_ = nullptr;
    std::shared_ptr<InterruptSignal> signal_;
    int depth_ = 0;
    std::vector<SourceText> texts_;
    ScriptFailure last_failure_;
    NameTable names_;
    ComValueTypes value_types_;
    size_t heap_bytes_ = 0;  // what the heap's blocks hold, by their usable sizes
};

}  // namespace kvjs
