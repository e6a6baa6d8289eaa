// Objects and code: CreateObject, GetObject, Err, GetRef, Eval, Execute, ExecuteGlobal,
// Timer.
#include <string>

#include "builtins.h"
#include "convert.h"
#include "err_object.h"
#include "errors.h"
#include "interpreter.h"
#include "kvwin/dispatch_object.h"
#include "kvwin/moniker_names.h"
#include "lexer.h"
#include "module.h"
#include "variant_conversion.h"
#include "win/com.h"
#include "win/systime.h"

namespace kvvbs {
namespace {

constexpr size_t kMaxDynamicBlocks = 4096;

Value CreateObject(Runtime& rt, Value* a, uint32_t) {
    std::u16string name = ToText(a[0]);
    CLSID clsid;
    HRESULT hr = S_OK;
    auto known = rt.class_ids.find(name);
    if (known != rt.class_ids.end()) {
        clsid = known->second;
    } else {
        hr = !name.empty() && name[0] == u'{' ? CLSIDFromString(name.c_str(), &clsid)
                                              : CLSIDFromProgID(name.c_str(), &clsid);
        if (SUCCEEDED(hr) && rt.class_ids.size() < 256)
            rt.class_ids.emplace(name, clsid);
    }
    IDispatch* object = nullptr;
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                              IID_IDispatch, reinterpret_cast<void**>(&object));
    if (hr == E_OUTOFMEMORY)
        Throw(kErrOutOfMemory);  // e.g. past the bound on what objects hold for scripts
    if (FAILED(hr) || !object)
        Throw(kErrCantCreateObject, ErrorText(kErrCantCreateObject) + u": '" + name + u"'");
    return Value::AttachObject(object);
}

Value GetObject(Runtime& rt, Value* a, uint32_t argc) {
    std::u16string path = a[0].Deref().IsMissing() ? u"" : ToText(a[0]);
    if (path.empty()) {
        if (argc < 2 || a[1].Deref().IsMissing())
            Throw(kErrIllegalCall);
        return CreateObject(rt, &a[1], 1);
    }
    IDispatch* object = nullptr;
    HRESULT hr =
        CoGetObject(path.c_str(), nullptr, IID_IDispatch, reinterpret_cast<void**>(&object));
    if (FAILED(hr) || !object) {
        if (hr == MK_E_SYNTAX || hr == CO_E_CLASSSTRING)
            Throw(432);
        Throw(ErrorNumberForHresult(hr));
    }
    return Value::AttachObject(object);
}

Value Err(Runtime& rt, Value*, uint32_t) {
    if (!rt.err_object.IsObject())
        rt.err_object = Value::AttachObject(CreateErrObject(rt.shared_from_this()));
    return rt.err_object;
}

// What GetRef returns: an object whose default member calls the procedure.
class ProcRef final : public kvwin::UntypedDispatch<IDispatch> {
  public:
    ProcRef(std::weak_ptr<Runtime> rt, int proc) : rt_(std::move(rt)), proc_(proc) {}

    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override {
        for (UINT i = 0; ids && i < count; ++i)
            ids[i] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excep, UINT*) override {
        auto rt = rt_.lock();
        if (!rt || rt->IsShutDown())
            return E_UNEXPECTED;
        if (id != DISPID_VALUE || !(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)))
            return DISP_E_MEMBERNOTFOUND;
        if (params && params->cArgs > 0 && !params->rgvarg)
            return E_INVALIDARG;
        if (result)
            VariantInit(result);
        return kvwin::GuardComCall([&]() -> HRESULT {
            HRESULT hr = rt->Enter([&] {
                std::vector<Value> args;
                for (UINT i = params ? params->cArgs : 0; i-- > 0;)
                    args.push_back(FromVariant(params->rgvarg[i]));
                Value r = rt->Call(proc_, args.data(), uint32_t(args.size()), nullptr);
                if (result)
                    ToVariant(r, result);
            });
            if (hr == DISP_E_EXCEPTION && excep) {
                const ScriptFailure& f = rt->LastFailure();
                *excep = EXCEPINFO{};
                excep->scode = f.code;
                excep->bstrSource = SysAllocStringLen(f.source.data(), UINT(f.source.size()));
                excep->bstrDescription =
                    SysAllocStringLen(f.description.data(), UINT(f.description.size()));
            }
            return hr;
        });
    }

  private:
    ~ProcRef() override = default;
    ModuleRef module_ref_;
    std::weak_ptr<Runtime> rt_;
    int proc_;
};

Value GetRef(Runtime& rt, Value* a, uint32_t) {
    int slot = rt.FindGlobal(LowerName(ToText(a[0])));
    if (slot < 0 || !rt.GlobalAt(slot).value.Is(Kind::Proc))
        Throw(kErrIllegalCall);
    return Value::AttachObject(
        new ProcRef(rt.shared_from_this(), rt.GlobalAt(slot).value.AsProc()));
}

// Compiles a text once; the same text again reuses its code.
int DynamicCode(Runtime& rt, const std::u16string& text, bool expression) {
    std::u16string key = (expression ? u"E" : u"X") + text;
    auto it = rt.dynamic_code.find(key);
    if (it != rt.dynamic_code.end())
        return it->second;
    int proc = expression ? -1 : rt.Compile(text, 0, 0);
    if (rt.dynamic_code.size() < kMaxDynamicBlocks)
        rt.dynamic_code.emplace(std::move(key), proc);
    return proc;
}

Value Eval(Runtime& rt, Value* a, uint32_t) {
    return rt.Evaluate(ToText(a[0]), 0, 0);
}

Value Execute(Runtime& rt, Value* a, uint32_t) {
    rt.ExecuteInScope(ToText(a[0]));
    return Value();
}

Value ExecuteGlobal(Runtime& rt, Value* a, uint32_t) {
    rt.RunGlobalCode(DynamicCode(rt, ToText(a[0]), false));
    return Value();
}

Value Timer(Runtime&, Value*, uint32_t) {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    return Value::Double(t.wHour * 3600.0 + t.wMinute * 60.0 + t.wSecond +
                         t.wMilliseconds / 1000.0);
}

const Builtin kObjects[] = {
    {u"createobject", 1, 2, CreateObject},
    {u"getobject", 0, 2, GetObject},
    {u"err", 0, 0, Err},
    {u"getref", 1, 1, GetRef},
    {u"eval", 1, 1, Eval},
    {u"execute", 1, 1, Execute},
    {u"executeglobal", 1, 1, ExecuteGlobal},
    {u"timer", 0, 0, Timer},
};

}  // namespace

std::span<const Builtin> ObjectBuiltins() {
    return kObjects;
}

}  // namespace kvvbs
