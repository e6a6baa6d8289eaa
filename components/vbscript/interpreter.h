// One engine's script state and the interpreter over it: the global table (variables,
// constants, procedures and named items by slot), the compiled procedures and classes of
// every block, the Err state, and the frames of the running script.
//
// Every piece of script runs through Enter(), which catches every ScriptError (and C++
// failure): an outermost failure goes to the host's ReportError and gives
// SCRIPT_E_REPORTED; a nested one (a COM object called back into script) gives
// DISP_E_EXCEPTION with the error kept in LastFailure().
//
// Thread safety: the engine's thread only, except the InterruptSignal, which any thread may
// set at any time; loop back-edges and calls read it and end the run with an error no
// On Error handler catches.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "bytecode.h"
#include "errors.h"
#include "kvwin/script_failure.h"
#include "kvwin/script_interrupt.h"
#include "value.h"
#include "win/activscp.h"

namespace kvvbs {

// What went wrong in a piece of script, as IActiveScriptError reports it (the layer's
// description, shared by the engines).
using ScriptFailure = kvwin::ScriptFailure;

class RuntimeHost {
  public:
    virtual void EnterScript() = 0;
    virtual void LeaveScript() = 0;
    virtual void ReportError(const ScriptFailure& failure) = 0;
    // The object of a named item (a new reference) or a failure.
    virtual HRESULT NamedItemObject(std::u16string_view name, IDispatch** out) = 0;
    // The host's locale (the site's GetLCID), or 0 when it names none.
    virtual LCID HostLocale() { return 0; }
    // The host's answers to dialogs (a new reference to its IActiveScriptSiteDialogs), or
    // null when it has none.
    virtual IActiveScriptSiteDialogs* HostDialogs() { return nullptr; }

  protected:
    ~RuntimeHost() = default;
};

using InterruptSignal = kvwin::InterruptSignal;

struct Global {
    std::u16string name;  // as first written
    Value value;
    bool declared = false;  // Dim, Const, a procedure, a named item, or assigned once
    bool known = false;     // declared, or assigned by some block's global code: procedures
                            // then take the name as this global rather than a local
    bool is_const = false;
    bool item = false;  // a named item, fetched from the host at first use
    bool item_fetched = false;
};

// The state of the Err object.
struct ErrState {
    int number = 0;
    std::u16string description;
    std::u16string source;
    std::u16string help_file;
    int help_context = 0;
};

class Runtime : public std::enable_shared_from_this<Runtime> {
  public:
    Runtime(RuntimeHost* host, std::shared_ptr<InterruptSignal> signal);
    ~Runtime();
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    // Compiles a block; returns the procedure of its global code. Throws a compile error.
    int Compile(std::u16string_view text, DWORDLONG cookie, ULONG start_line,
                const std::unordered_map<std::u16string, int>* outer = nullptr);
    // Runs a block's global code (inside Enter).
    void RunGlobalCode(int proc);
    // Evaluates an expression block (SCRIPTTEXT_ISEXPRESSION).
    Value Evaluate(std::u16string_view text, DWORDLONG cookie, ULONG start_line);

    // Runs body as a script entry (see above).
    HRESULT Enter(const std::function<void()>& body);
    const ScriptFailure& LastFailure() const { return last_failure_; }
    // Drops every value the script holds (globals, frames): the engine's Close.
    void Shutdown();
    bool IsShutDown() const { return shut_down_; }

    // ---- globals ----
    int GlobalSlot(std::u16string_view name);  // finds or adds (not declared)
    int FindGlobal(std::u16string_view lower) const;
    Global& GlobalAt(int slot) { return globals_[size_t(slot)]; }
    size_t GlobalCount() const { return globals_.size(); }
    void AddNamedItem(std::u16string_view name, bool global_members);

    // ---- procedures and classes ----
    int AddProcedure(std::unique_ptr<Procedure> proc);
    Procedure& ProcAt(int index) { return *procs_[size_t(index)]; }
    int AddClass(ClassInfo info);
    int FindClass(std::u16string_view lower) const;
    const ClassInfo& ClassAt(int index) const { return classes_[size_t(index)]; }

    // Calls a procedure with arguments (Refs for by-reference ones). me: the instance for
    // class members; outer: the locals of the procedure whose scope Execute'd code sees.
    Value Call(int proc, Value* args, uint32_t argc, IDispatch* me, Value* outer = nullptr);
    // Execute: compiles (once per text and scope) and runs a text in the scope of the
    // procedure that runs now (its locals visible by name), or at the global level.
    void ExecuteInScope(std::u16string_view text);
    // Calls a global by name for COM (GetScriptDispatch's Invoke).
    Value CallGlobalByName(int slot, Value* args, uint32_t argc, WORD flags, bool* found);

    ErrState& Err() { return err_; }
    // The class whose member runs now (-1: none): its private members are reachable.
    int active_class = -1;
    // The procedure that runs now and its locals (null at the global level).
    Procedure* active_proc = nullptr;
    Value* active_locals = nullptr;
    // The Err object (made at first use) and the blocks Eval and Execute compiled, by text.
    Value err_object;
    std::unordered_map<std::u16string, int> dynamic_code;
    // ProgIDs CreateObject has resolved (the registry is read once per name and run).
    std::unordered_map<std::u16string, CLSID> class_ids;
    void ClearErr() { err_ = ErrState{}; }
    // The locale SetLocale chose for this script (0: the host's, else the user's), and the
    // state of Rnd's generator.
    LCID script_locale = 0;
    const void* locale_data = nullptr;  // the settings of the locale in use, once looked up
    uint32_t rnd_seed = 0x50000;
    LCID HostLocale() const { return host_ ? host_->HostLocale() : 0; }
    // The host's dialogs (a new reference), or null.
    IActiveScriptSiteDialogs* HostDialogs() const { return host_ ? host_->HostDialogs() : nullptr; }
    // Records a caught error into Err.
    void SetErr(const ScriptError& e);

    // The interrupt flag of the script that runs on this thread (the innermost engine's),
    // or null: what long searches inside built-in objects watch.
    static const std::atomic<bool>* RunningStopFlag();
    // The innermost runtime running script on this thread, or null: whose locale the implicit
    // conversions of numbers and dates to and from text follow.
    static Runtime* Running();

    void CheckInterrupt() {
        if (signal_->requested.load(std::memory_order_relaxed))
            ThrowInterrupt();
    }
    [[noreturn]] void ThrowInterrupt();

    // The members of the SCRIPTITEM_GLOBALMEMBERS items, tried for names nothing defines.
    bool TryGlobalMember(std::u16string_view name, Value* args, uint32_t argc, WORD flags,
                         Value* result);
    // An assignment to such a name: a property put (put_ref: PUTREF) on the item.
    bool TryPutGlobalMember(std::u16string_view name, const Value& value, bool put_ref);
    // Whether a global-members item knows the name (the compiler then leaves it global).
    bool IsGlobalMember(std::u16string_view name);

  private:
    friend class Interpreter;
    struct Block {
        std::u16string text;
        DWORDLONG cookie;
        ULONG start_line;
    };
    ScriptFailure Describe(const ScriptError& e) const;
    void FetchItem(Global& g);
    // The global-members item that knows a name (borrowed), its DISPID in *id; or null.
    IDispatch* GlobalMemberOwner(std::u16string_view name, DISPID* id);

    RuntimeHost* host_;
    std::shared_ptr<InterruptSignal> signal_;
    std::deque<Global> globals_;  // a deque: slots never move (references point at them)
    std::unordered_map<std::u16string, int> global_index_;
    std::vector<std::unique_ptr<Procedure>> procs_;
    std::vector<ClassInfo> classes_;
    std::vector<Block> blocks_;
    std::vector<std::u16string> global_member_items_;
    ErrState err_;
    ScriptFailure last_failure_;
    int entry_depth_ = 0;
    int call_depth_ = 0;
    char* stack_base_ = nullptr;  // the C++ stack at the outermost entry
    std::unique_ptr<Value[]> stack_;
    size_t sp_ = 0;
    bool shut_down_ = false;

  public:
    // The interpreter's value stack (fixed, so slots on it never move).
    static constexpr size_t kStackSize = 1 << 16;
    Value* Stack() { return stack_.get(); }
    size_t& StackTop() { return sp_; }
    int& CallDepth() { return call_depth_; }
    char* StackBase() const { return stack_base_; }
};

// The storage position of element (args) of an array, or error 9.
uint32_t ElementIndex(const ArrayRep& a, const Value* args, uint32_t argc);

// Error 28 when the C++ stack or the call depth has grown too far.
void CheckDepth(Runtime& rt);

}  // namespace kvvbs
