// SWbemObjectSet: the objects a query or InstancesOf delivered, collected when the call ran.
#include <span>

#include "kvwin/dispatch_object.h"
#include "kvwin/variant_enumerator.h"
#include "wmiscripting.h"

namespace kvwmiscript {
namespace {

class ObjectSet final : public kvwin::DispatchObject<ObjectSet, IDispatch> {
  public:
    explicit ObjectSet(std::vector<std::shared_ptr<ObjectData>> items) : items_(std::move(items)) {}
    std::u16string_view ErrorSource() const override { return u"SWbemObjectSet"; }

    static std::span<const kvwin::DispatchMember<ObjectSet>> DispatchMembers() {
        static const kvwin::DispatchMember<ObjectSet> members[] = {
            {u"Count", 1, DISPATCH_PROPERTYGET, 0, 0,
             [](ObjectSet& self, kvwin::DispatchCall& call) {
                 if (call.Result()) {
                     call.Result()->vt = VT_I4;
                     call.Result()->lVal = long(self.items_.size());
                 }
                 return S_OK;
             }},
            {u"ItemIndex", 2, DISPATCH_METHOD | DISPATCH_PROPERTYGET, 1, 1, &ObjectSet::ItemIndex},
            {u"_NewEnum", DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET, 0, 0,
             &ObjectSet::NewEnum},
        };
        return members;
    }

  private:
    ~ObjectSet() override = default;

    static HRESULT ItemIndex(ObjectSet& self, kvwin::DispatchCall& call) {
        _variant_t index;
        if (!call.Arg(0) || FAILED(VariantChangeType(&index, call.Arg(0), 0, VT_I4)))
            return call.Fail(WBEM_E_INVALID_PARAMETER, WbemErrorText(WBEM_E_INVALID_PARAMETER));
        if (index.lVal < 0 || size_t(index.lVal) >= self.items_.size())
            return call.Fail(WBEM_E_NOT_FOUND, WbemErrorText(WBEM_E_NOT_FOUND));
        IDispatch* object = NewWbemObject(self.items_[size_t(index.lVal)]);
        if (call.Result()) {
            call.Result()->vt = VT_DISPATCH;
            call.Result()->pdispVal = object;
        } else {
            object->Release();
        }
        return S_OK;
    }

    static HRESULT NewEnum(ObjectSet& self, kvwin::DispatchCall& call) {
        std::vector<_variant_t> objects(self.items_.size());
        for (size_t i = 0; i < objects.size(); ++i) {
            objects[i].vt = VT_DISPATCH;
            objects[i].pdispVal = NewWbemObject(self.items_[i]);
        }
        return kvwin::ReturnEnumerator(call.Result(), objects.data(), objects.size());
    }

    std::vector<std::shared_ptr<ObjectData>> items_;
    ModuleRef module_ref_;
};

}  // namespace

IDispatch* NewObjectSet(std::vector<std::shared_ptr<ObjectData>> items) {
    return new ObjectSet(std::move(items));
}

}  // namespace kvwmiscript
