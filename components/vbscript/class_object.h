// Instances of script classes (Class ... End Class): IDispatch over the fields and members
// of a ClassInfo. Class_Initialize runs when New makes one, Class_Terminate when the last
// reference goes (errors inside it are dropped, as the language does).
//
// Inside the engine, member access skips IDispatch (From() recognises an instance);
// outside it, GetIDsOfNames answers the public members without regard to case.
// An instance and its fields are charged to the held-memory bound (kvwin/held_memory.h), so
// `New` in a loop fails with error 7 there, as creating any other object does.
// Thread safety: the reference count is atomic; everything else runs on the engine's thread.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "kvwin/held_memory.h"
#include "value.h"
#include "win/oleauto.h"

namespace kvvbs {

class Runtime;

class ClassObject final : public IDispatch, public kvwin::HeldAllocation {
  public:
    // A new instance (one reference) with Class_Initialize run.
    static Value Create(Runtime& rt, int class_index);
    // The instance behind an IDispatch of this engine, or null.
    static ClassObject* From(IDispatch* object);

    Value Member(Runtime& rt, std::u16string_view name, Value* args, uint32_t argc);
    void Put(Runtime& rt, std::u16string_view name, Value* args, uint32_t argc, const Value& value,
             bool put_ref);
    Value DefaultValue();
    std::u16string ClassName() const;
    // A field by index, for the class's own code.
    Value& Field(uint32_t index) { return fields_[index]; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* excep, UINT*) override;

  private:
    ClassObject(std::weak_ptr<Runtime> rt, int class_index, uint32_t fields);
    ~ClassObject() = default;
    static void Destroy(ClassObject* object);

    std::atomic<ULONG> refs_{1};
    std::weak_ptr<Runtime> runtime_;
    int class_index_;
    std::vector<Value> fields_;
    kvwin::HeldMemory fields_charge_;
};

}  // namespace kvvbs
