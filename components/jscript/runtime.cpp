// The heap, the interrupt hook and the protected entry.
#include "runtime.h"

#include <malloc.h>
#include <pthread.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "builtins.h"
#include "dispatch_proxy.h"
#include "text.h"

// Asked by the interpreter every so many instructions (duk_config_overrides.h).
extern "C" int kvjs_interrupt_requested(void* udata) {
    return udata && static_cast<kvjs::Runtime*>(udata)->InterruptRequested() ? 1 : 0;
}

// Asked by Duktape at every level of its recursions (duk_config_overrides.h): whether the
// calling thread has less than the reserve left of its stack. What is left below the reserve
// is for the error thrown from there to be made and unwound. The thread's stack is looked
// up once per thread.
extern "C" int kvjs_native_stack_low(void) {
    constexpr uintptr_t kReserve = 64 * 1024;
    thread_local uintptr_t limit = 0;
    if (limit == 0) {
        void* base = nullptr;
        size_t size = 0;
        pthread_attr_t attributes;
        if (::pthread_getattr_np(::pthread_self(), &attributes) == 0) {
            ::pthread_attr_getstack(&attributes, &base, &size);
            ::pthread_attr_destroy(&attributes);
        }
        // An unknown stack is never reported low; a tiny one keeps half of itself.
        const uintptr_t low = reinterpret_cast<uintptr_t>(base);
        limit = base == nullptr ? 1 : low + (size > 2 * kReserve ? kReserve : size / 2);
    }
    return reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) < limit ? 1 : 0;
}

namespace kvjs {
namespace {

// The most a script heap may hold. Past it an allocation fails; Duktape then collects
// garbage and tries again, and throws an error the script sees ("alloc failed") when that does not
// help. A script that keeps everything it makes thus ends in an error, not by taking the host
// process's memory.
constexpr size_t kHeapBudget = size_t(1) << 30;

// Whether a heap holding `held` bytes may take `more`. Blocks count by their usable sizes,
// which may take `held` a little past the budget.
bool WithinBudget(size_t held, size_t more) {
    return held <= kHeapBudget && more <= kHeapBudget - held;
}

// Duktape's last resort for an error outside any protected call, which our entries never
// allow; nothing sensible is left to do.
void FatalError(void*, const char* message) {
    std::fprintf(stderr, "kavrel-jscript: fatal script heap error: %s\n", message);
    std::abort();
}

duk_ret_t Trampoline(duk_context* ctx, void* udata) {
    (*static_cast<const std::function<void(duk_context*)>*>(udata))(ctx);
    return 0;
}

// Error numbers as the language reports them for its own error kinds.
HRESULT ErrorNumber(std::u16string_view name) {
    if (name == u"SyntaxError")
        return HRESULT(0x800A03EA);  // syntax error
    if (name == u"ReferenceError")
        return HRESULT(0x800A1391);  // undefined identifier
    if (name == u"TypeError")
        return HRESULT(0x800A138F);  // object expected
    return HRESULT(0x800A139E);      // exception thrown and not caught
}

duk_ret_t NamedItemGetter(duk_context* ctx) {
    duk_push_current_function(ctx);
    duk_get_prop_string(ctx, -1, DUK_HIDDEN_SYMBOL("kvitem"));
    std::u16string name = GetText(ctx, -1);
    duk_push_heap_stash(ctx);
    std::string key = "item:" + std::string(duk_get_string(ctx, -2));
    if (duk_get_prop_string(ctx, -1, key.c_str()))
        return 1;
    duk_pop(ctx);
    IDispatch* object = nullptr;
    if (FAILED(Runtime::Of(ctx).HostNamedItem(name, &object)) || !object)
        return 0;  // an item the host has no object for reads as undefined
    PushDispatch(ctx, object);
    object->Release();
    duk_dup_top(ctx);
    duk_put_prop_string(ctx, -3, key.c_str());
    return 1;
}

}  // namespace

Runtime::Runtime(RuntimeHost* host, std::shared_ptr<InterruptSignal> signal)
    : host_(host), signal_(std::move(signal)) {
    ctx_ = duk_create_heap(Allocate, Reallocate, Free, this, FatalError);
    if (!ctx_)
        throw std::bad_alloc();
    std::function<void(duk_context*)> setup = [](duk_context* ctx) {
        InstallDispatchProxy(ctx);
        InstallBuiltins(ctx);
    };
    if (duk_safe_call(ctx_, Trampoline, &setup, 0, 1) != DUK_EXEC_SUCCESS) {
        duk_destroy_heap(ctx_);
        ctx_ = nullptr;
        throw std::bad_alloc();
    }
    duk_pop(ctx_);
}

void* Runtime::Allocate(void* udata, duk_size_t size) {
    auto* self = static_cast<Runtime*>(udata);
    if (!WithinBudget(self->heap_bytes_, size))
        return nullptr;
    void* block = std::malloc(size);
    if (block)
        self->heap_bytes_ += malloc_usable_size(block);
    return block;
}

void* Runtime::Reallocate(void* udata, void* block, duk_size_t size) {
    if (!block)
        return Allocate(udata, size);
    if (size == 0) {
        Free(udata, block);
        return nullptr;
    }
    auto* self = static_cast<Runtime*>(udata);
    const size_t before = malloc_usable_size(block);
    if (size > before && !WithinBudget(self->heap_bytes_, size - before))
        return nullptr;
    void* moved = std::realloc(block, size);
    if (moved)
        self->heap_bytes_ = self->heap_bytes_ - before + malloc_usable_size(moved);
    return moved;
}

void Runtime::Free(void* udata, void* block) {
    if (!block)
        return;
    static_cast<Runtime*>(udata)->heap_bytes_ -= malloc_usable_size(block);
    std::free(block);
}

Runtime::~Runtime() {
    Shutdown();
}

Runtime& Runtime::Of(duk_context* ctx) {
    duk_memory_functions funcs;
    duk_get_memory_functions(ctx, &funcs);
    return *static_cast<Runtime*>(funcs.udata);
}

void Runtime::Shutdown() {
    if (!ctx_)
        return;
    duk_context* ctx = ctx_;
    // Finalizers run now and release COM objects, which may call back into script objects;
    // those see a heap that is going away and answer E_UNEXPECTED.
    ctx_ = nullptr;
    duk_destroy_heap(ctx);
    host_ = nullptr;
}

std::string Runtime::AddSourceText(std::u16string_view code, DWORDLONG cookie, ULONG start_line) {
    texts_.push_back({std::u16string(code), cookie, start_line});
    return "text" + std::to_string(texts_.size() - 1);
}

void Runtime::DefineNamedItem(std::u16string_view name) {
    std::function<void(duk_context*)> body = [name](duk_context* ctx) {
        duk_push_global_object(ctx);
        PushText(ctx, name);
        duk_push_c_function(ctx, NamedItemGetter, 0);
        PushText(ctx, name);
        duk_put_prop_string(ctx, -2, DUK_HIDDEN_SYMBOL("kvitem"));
        duk_def_prop(
            ctx, -3,
            DUK_DEFPROP_HAVE_GETTER | DUK_DEFPROP_SET_CONFIGURABLE | DUK_DEFPROP_CLEAR_ENUMERABLE);
        duk_pop(ctx);
    };
    Peek(body);
}

bool Runtime::Peek(const std::function<void(duk_context*)>& body) {
    if (!ctx_)
        return false;
    duk_int_t rc =
        duk_safe_call(ctx_, Trampoline, const_cast<void*>(static_cast<const void*>(&body)), 0, 1);
    duk_pop(ctx_);
    return rc == DUK_EXEC_SUCCESS;
}

HRESULT Runtime::Run(const std::function<void(duk_context*)>& body) {
    if (!ctx_)
        return E_UNEXPECTED;
    const bool outermost = depth_ == 0;
    if (outermost && signal_->requested.exchange(false, std::memory_order_acq_rel)) {
        // An interrupt that arrived between two entries stops this one before it starts.
        last_failure_ = ScriptFailure{};
        last_failure_.interrupted = true;
        last_failure_.code = signal_->code.load(std::memory_order_relaxed);
        return last_failure_.code;
    }
    if (!outermost && InterruptRequested()) {
        // A script function called back from COM while the run is being stopped.
        last_failure_ = ScriptFailure{};
        last_failure_.interrupted = true;
        last_failure_.code = signal_->code.load(std::memory_order_relaxed);
        last_failure_.description = u"script interrupted";
        return DISP_E_EXCEPTION;
    }
    if (outermost && host_)
        host_->EnterScript();
    ++depth_;
    duk_int_t rc =
        duk_safe_call(ctx_, Trampoline, const_cast<void*>(static_cast<const void*>(&body)), 0, 1);
    --depth_;
    HRESULT hr = S_OK;
    if (rc != DUK_EXEC_SUCCESS) {
        const bool interrupted = outermost
                                     ? signal_->requested.exchange(false, std::memory_order_acq_rel)
                                     : InterruptRequested();
        if (interrupted) {
            // Reading the error could run script (a getter), which the interrupt stops.
            last_failure_ = ScriptFailure{};
            last_failure_.interrupted = true;
            last_failure_.code = signal_->code.load(std::memory_order_relaxed);
            last_failure_.description = u"script interrupted";
        } else {
            last_failure_ = DescribeProtected();
        }
        if (interrupted && outermost) {
            hr = last_failure_.code;
        } else if (outermost) {
            if (host_)
                host_->ReportError(last_failure_);
            hr = SCRIPT_E_REPORTED;
        } else {
            hr = DISP_E_EXCEPTION;
        }
    }
    duk_pop(ctx_);
    if (outermost && host_)
        host_->LeaveScript();
    return hr;
}

ScriptFailure Runtime::DescribeProtected() {
    // The error is the top value; the safe call takes it as its argument and leaves one
    // value in its place for Run to pop. Reading a thrown object can run script (getters,
    // a proxy's traps) and so fail in turn; the failure then keeps a plain description.
    ScriptFailure f;
    f.source = u"JScript runtime error";
    f.code = ErrorNumber(u"");
    f.description = u"Exception thrown and not caught";
    std::function<void(duk_context*)> body = [&](duk_context*) { f = Describe(-1); };
    duk_safe_call(ctx_, Trampoline, &body, 1, 1);
    return f;
}

ScriptFailure Runtime::Describe(duk_idx_t idx) {
    ScriptFailure f;
    duk_context* ctx = ctx_;
    idx = duk_normalize_index(ctx, idx);
    f.source = u"JScript runtime error";
    if (!duk_is_object(ctx, idx)) {
        f.description = GetText(ctx, idx);
        f.code = ErrorNumber(u"");
        return f;
    }
    duk_get_prop_string(ctx, idx, "name");
    std::u16string name = duk_is_string(ctx, -1) ? GetText(ctx, -1) : u"";
    duk_pop(ctx);
    if (name == u"SyntaxError")
        f.source = u"JScript compilation error";
    duk_get_prop_string(ctx, idx, "message");
    f.description = duk_is_undefined(ctx, -1) ? GetText(ctx, idx) : GetText(ctx, -1);
    duk_pop(ctx);
    // A COM failure carries its own number; errors of the language get theirs by kind.
    duk_get_prop_string(ctx, idx, "number");
    // (either sign: 0x800A01C9 and its 32-bit negative reading are the same code)
    f.code = duk_is_number(ctx, -1)
                 ? HRESULT(uint32_t(int64_t(duk_get_number(ctx, -1)) & 0xFFFFFFFF))
                 : ErrorNumber(name);
    duk_pop(ctx);
    duk_get_prop_string(ctx, idx, "fileName");
    std::string file = duk_is_string(ctx, -1) ? duk_get_string(ctx, -1) : "";
    duk_pop(ctx);
    duk_get_prop_string(ctx, idx, "lineNumber");
    long line = duk_is_number(ctx, -1) ? long(duk_get_number(ctx, -1)) : 0;
    duk_pop(ctx);
    if (file.rfind("text", 0) == 0) {
        size_t n = std::strtoul(file.c_str() + 4, nullptr, 10);
        if (n < texts_.size()) {
            const SourceText& text = texts_[n];
            long in_text = line > 0 ? line - 1 : 0;
            f.cookie = text.cookie;
            f.line = ULONG(text.start_line + in_text);
            size_t begin = 0;
            for (long i = 0; i < in_text && begin != std::u16string::npos; ++i) {
                begin = text.code.find(u'\n', begin);
                if (begin != std::u16string::npos)
                    ++begin;
            }
            if (begin != std::u16string::npos) {
                size_t end = text.code.find(u'\n', begin);
                f.line_text =
                    text.code.substr(begin, end == std::u16string::npos ? end : end - begin);
                if (!f.line_text.empty() && f.line_text.back() == u'\r')
                    f.line_text.pop_back();
            }
        }
    }
    return f;
}

}  // namespace kvjs
