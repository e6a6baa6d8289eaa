// SWbemObjectSet: the objects a query or InstancesOf delivered, collected when the call ran.
// A forward-only set answers neither Count nor ItemIndex (wbemErrFailed, as on Windows) and
// enumerates once: the objects go as they are delivered, so a second enumeration is empty.
// A set made for a call that returned immediately but failed (a bad query) holds the failure
// instead, and reports it from every use: Count, ItemIndex and enumeration.
#include <span>

#include "kvwin/dispatch_object.h"
#include "kvwin/variant_enumerator.h"
#include "wmiscripting.h"

namespace kvwmiscript {
namespace {

class ObjectSet final : public kvwin::DispatchObject<ObjectSet, IDispatch> {
  public:
    std::u16string_view TypeName() const override { return u"SWbemObjectSet"; }
    ObjectSet(std::vector<std::shared_ptr<ObjectData>> items, bool forward_only)
        : items_(std::move(items)), forward_only_(forward_only) {}
    ObjectSet(DeferredFailure failure, bool forward_only)
        : forward_only_(forward_only), failure_(std::move(failure)) {}
    std::u16string_view ErrorSource() const override { return u"SWbemObjectSet"; }

    static std::span<const kvwin::DispatchMember<ObjectSet>> DispatchMembers() {
        static const kvwin::DispatchMember<ObjectSet> members[] = {
            {u"Count", 1, DISPATCH_PROPERTYGET, 0, 0,
             [](ObjectSet& self, kvwin::DispatchCall& call) {
                 if (HRESULT hr = self.Usable(call, u"Count"); FAILED(hr))
                     return hr;
                 return kvwin::SetVariantLong(call.Result(), long(self.items_.size()));
             }},
            {u"ItemIndex", 2, DISPATCH_METHOD | DISPATCH_PROPERTYGET, 1, 1, &ObjectSet::ItemIndex},
            {u"_NewEnum", DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET, 0, 0,
             &ObjectSet::NewEnum},
        };
        return members;
    }

  private:
    ~ObjectSet() override = default;

    // The call's own failure, if it had one; random access is refused on a forward-only set.
    HRESULT Usable(kvwin::DispatchCall& call, std::u16string_view operation) {
        if (FAILED(failure_.hr))
            return FailCall(call, failure_.hr, failure_.operation, failure_.parameter);
        return forward_only_ ? FailCall(call, WBEM_E_FAILED, operation) : S_OK;
    }

    static HRESULT ItemIndex(ObjectSet& self, kvwin::DispatchCall& call) {
        if (HRESULT hr = self.Usable(call, u"ItemIndex"); FAILED(hr))
            return hr;
        _variant_t index;
        if (!call.Arg(0) || FAILED(VariantChangeType(&index, call.Arg(0), 0, VT_I4)))
            return FailCall(call, WBEM_E_INVALID_PARAMETER, u"ItemIndex");
        if (index.lVal < 0 || size_t(index.lVal) >= self.items_.size())
            return FailCall(call, WBEM_E_NOT_FOUND, u"ItemIndex");
        return kvwin::ReturnObject(call.Result(), NewWbemObject(self.items_[size_t(index.lVal)]));
    }

    static HRESULT NewEnum(ObjectSet& self, kvwin::DispatchCall& call) {
        if (FAILED(self.failure_.hr))
            return FailCall(call, self.failure_.hr, self.failure_.operation,
                            self.failure_.parameter);
        if (!call.Result())
            return S_OK;
        if (self.forward_only_ && self.enumerated_)
            return kvwin::ReturnEnumerator(call.Result(), {});
        self.enumerated_ = true;
        std::vector<_variant_t> objects(self.items_.size());
        for (size_t i = 0; i < objects.size(); ++i) {
            objects[i].pdispVal = NewWbemObject(self.items_[i]);  // may throw
            objects[i].vt = VT_DISPATCH;
        }
        return kvwin::ReturnEnumerator(call.Result(), std::move(objects));
    }

    std::vector<std::shared_ptr<ObjectData>> items_;
    bool forward_only_;
    bool enumerated_ = false;
    DeferredFailure failure_;
    ModuleRef module_ref_;
};

}  // namespace

IDispatch* NewObjectSet(std::vector<std::shared_ptr<ObjectData>> items, bool forward_only) {
    return new ObjectSet(std::move(items), forward_only);
}

IDispatch* NewFailedObjectSet(DeferredFailure failure, bool forward_only) {
    return new ObjectSet(std::move(failure), forward_only);
}

}  // namespace kvwmiscript
