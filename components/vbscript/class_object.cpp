// Script class instances.
#include "class_object.h"

#include "convert.h"
#include "errors.h"
#include "interpreter.h"
#include "lexer.h"
#include "module.h"
#include "variant_conversion.h"

namespace kvvbs {
namespace {

// How the engine recognises its own instances. Private to this module.
// {6B7C0E1D-4F0A-4C55-9E0B-3A3C9D1F2E61}
constexpr IID kClassObjectIid = {
    0x6b7c0e1d, 0x4f0a, 0x4c55, {0x9e, 0x0b, 0x3a, 0x3c, 0x9d, 0x1f, 0x2e, 0x61}};

// The member a name reaches from where the script runs now (the default member for an empty
// name); throws "Object doesn't support this property or method" when there is none.
const ClassInfo::Member* FindMember(Runtime& rt, int class_index, std::u16string_view name) {
    const ClassInfo& info = rt.ClassAt(class_index);
    const ClassInfo::Member* m =
        name.empty()
            ? (info.default_member >= 0 ? &info.members[size_t(info.default_member)] : nullptr)
            : info.Find(LowerName(name));
    if (!m || (m->is_private && rt.active_class != class_index))
        Throw(kErrNoMember, ErrorText(kErrNoMember) + u": '" + std::u16string(name) + u"'");
    return m;
}

}  // namespace

ClassObject::ClassObject(std::weak_ptr<Runtime> rt, int class_index, uint32_t fields)
    : runtime_(std::move(rt)), class_index_(class_index) {
    if (!fields_charge_.Charge(size_t(fields) * sizeof(Value)))
        throw std::bad_alloc();
    fields_.resize(fields);
    ++kvwin::ModuleLiveObjects();
}

Value ClassObject::Create(Runtime& rt, int class_index) {
    const ClassInfo& info = rt.ClassAt(class_index);
    auto* object = new ClassObject(rt.shared_from_this(), class_index, info.field_count);
    Value v = Value::AttachObject(object);
    if (info.initialize >= 0)
        rt.Call(info.initialize, nullptr, 0, object);
    return v;
}

ClassObject* ClassObject::From(IDispatch* object) {
    if (!object)
        return nullptr;
    void* found = nullptr;
    if (FAILED(object->QueryInterface(kClassObjectIid, &found)))
        return nullptr;
    auto* instance = static_cast<ClassObject*>(found);
    instance->Release();  // the caller holds a reference of its own
    return instance;
}

HRESULT ClassObject::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == kClassObjectIid) {
        AddRef();
        *ppv = static_cast<IDispatch*>(this);
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG ClassObject::Release() {
    ULONG left = --refs_;
    if (left != 0)
        return left;
    std::shared_ptr<Runtime> rt = runtime_.lock();
    if (rt && !rt->IsShutDown()) {
        const ClassInfo& info = rt->ClassAt(class_index_);
        if (info.terminate >= 0) {
            refs_ = 1;  // alive while Class_Terminate runs
            try {
                rt->Call(info.terminate, nullptr, 0, this);
            } catch (const ScriptError& e) {
                if (e.interrupted) {
                    // Dropped here; the next back-edge or call sees the signal again.
                }
            } catch (...) {
            }
            if (--refs_ != 0)
                return refs_;  // Class_Terminate stored Me somewhere
        }
    }
    Destroy(this);
    return 0;
}

// Instances that hold the last reference to other instances (a linked list) would free them
// recursively; instances are freed from a list of this thread instead.
void ClassObject::Destroy(ClassObject* object) {
    thread_local std::vector<ClassObject*>* pending = nullptr;
    if (pending) {
        pending->push_back(object);
        return;
    }
    std::vector<ClassObject*> list{object};
    pending = &list;
    while (!list.empty()) {
        ClassObject* next = list.back();
        list.pop_back();
        delete next;  // its fields' releases may add to the list
        --kvwin::ModuleLiveObjects();
    }
    pending = nullptr;
}

std::u16string ClassObject::ClassName() const {
    std::shared_ptr<Runtime> rt = runtime_.lock();
    return rt ? rt->ClassAt(class_index_).name : u"Object";
}

Value ClassObject::Member(Runtime& rt, std::u16string_view name, Value* args, uint32_t argc) {
    const ClassInfo::Member* m = FindMember(rt, class_index_, name);
    AddRef();
    Value hold = Value::AttachObject(this);
    if (m->field >= 0) {
        const Value& f = fields_[size_t(m->field)];
        if (argc == 0)
            return f;
        if (!f.Is(Kind::Array))
            Throw(kErrTypeMismatch);
        Value copy = f;
        const ArrayRep& a = *copy.AsArray();
        return a.items[ElementIndex(a, args, argc)];
    }
    if (m->get >= 0)
        return rt.Call(m->get, args, argc, this);
    if (m->method >= 0)
        return rt.Call(m->method, args, argc, this);
    Throw(kErrNoMember);
}

void ClassObject::Put(Runtime& rt, std::u16string_view name, Value* args, uint32_t argc,
                      const Value& value, bool put_ref) {
    const ClassInfo::Member* m = FindMember(rt, class_index_, name);
    AddRef();
    Value hold = Value::AttachObject(this);
    if (m->field >= 0) {
        Value& f = fields_[size_t(m->field)];
        if (argc == 0) {
            f = value;
            return;
        }
        if (!f.Is(Kind::Array))
            Throw(kErrTypeMismatch);
        ArrayRep* a = f.MutableArray();
        a->items[ElementIndex(*a, args, argc)] = value;
        return;
    }
    int proc = put_ref ? (m->set >= 0 ? m->set : m->let) : (m->let >= 0 ? m->let : m->set);
    if (proc < 0)
        Throw(kErrInvalidAssign);
    std::vector<Value> all(args, args + argc);
    all.push_back(value);
    rt.Call(proc, all.data(), uint32_t(all.size()), this);
}

Value ClassObject::DefaultValue() {
    std::shared_ptr<Runtime> rt = runtime_.lock();
    if (!rt)
        Throw(kErrNoMember);
    Value v = Member(*rt, u"", nullptr, 0);
    if (v.IsObject())
        Throw(kErrNoMember);
    return v;
}

HRESULT ClassObject::GetTypeInfoCount(UINT* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT ClassObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info)
        *info = nullptr;
    return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT ClassObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids)
        return E_POINTER;
    std::shared_ptr<Runtime> rt = runtime_.lock();
    if (!rt || rt->IsShutDown())
        return E_UNEXPECTED;
    return kvwin::GuardComCall([&]() -> HRESULT {
        HRESULT hr = S_OK;
        const ClassInfo& info = rt->ClassAt(class_index_);
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            if (i > 0 || !names[i]) {
                hr = DISP_E_UNKNOWNNAME;
                continue;
            }
            const ClassInfo::Member* m = info.Find(LowerName(names[i]));
            if (!m || m->is_private) {
                hr = DISP_E_UNKNOWNNAME;
                continue;
            }
            ids[i] = DISPID(m - info.members.data()) + 1;
        }
        return hr;
    });
}

HRESULT ClassObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                            VARIANT* result, EXCEPINFO* excep, UINT*) {
    std::shared_ptr<Runtime> rt = runtime_.lock();
    if (!rt || rt->IsShutDown())
        return E_UNEXPECTED;
    if (params && params->cArgs > 0 && !params->rgvarg)
        return E_INVALIDARG;
    if (result)
        VariantInit(result);
    return kvwin::GuardComCall([&]() -> HRESULT {
        const ClassInfo& info = rt->ClassAt(class_index_);
        std::u16string name;
        if (id != DISPID_VALUE) {
            if (id < 1 || size_t(id) > info.members.size() ||
                info.members[size_t(id - 1)].is_private)
                return DISP_E_MEMBERNOTFOUND;
            name = info.members[size_t(id - 1)].name;
        } else if (info.default_member < 0) {
            return DISP_E_MEMBERNOTFOUND;
        }
        const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
        UINT argc = params ? params->cArgs : 0;
        if (put && argc == 0)
            return DISP_E_PARAMNOTOPTIONAL;
        HRESULT answer = S_OK;
        HRESULT hr = rt->Enter([&] {
            std::vector<Value> args;
            for (UINT i = argc; i-- > 0;)
                args.push_back(FromVariant(params->rgvarg[i]));
            if (put) {
                Value v = std::move(args.back());
                args.pop_back();
                Put(*rt, name, args.data(), uint32_t(args.size()), v,
                    (flags & DISPATCH_PROPERTYPUTREF) != 0);
                return;
            }
            Value r = Member(*rt, name, args.data(), uint32_t(args.size()));
            if (result)
                ToVariant(r, result);
        });
        if (hr == DISP_E_EXCEPTION || hr == SCRIPT_E_REPORTED) {
            const ScriptFailure& f = rt->LastFailure();
            if (excep) {
                *excep = EXCEPINFO{};
                excep->scode = f.code;
                excep->bstrSource = SysAllocStringLen(f.source.data(), UINT(f.source.size()));
                excep->bstrDescription =
                    SysAllocStringLen(f.description.data(), UINT(f.description.size()));
                return DISP_E_EXCEPTION;
            }
            return f.code;
        }
        return FAILED(hr) ? hr : answer;
    });
}

}  // namespace kvvbs
