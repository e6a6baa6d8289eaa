#include "service/enumerator.h"

#include <mutex>

#include "kvwin/com_object.h"
#include "service/module_state.h"

namespace kvwmi {

namespace {

struct SharedResult {
    std::vector<IWbemClassObjectPtr> objects;
    HRESULT final_result = WBEM_S_NO_ERROR;
};

bool ValidTimeout(long timeout) {
    return timeout >= 0 || timeout == long(WBEM_INFINITE);
}

class Enumerator final : public kvwin::ComObject<IEnumWbemClassObject> {
  public:
    Enumerator(std::shared_ptr<const SharedResult> result, bool forward_only, size_t position)
        : result_(std::move(result)), forward_only_(forward_only), position_(position) {}

    STDMETHODIMP Reset() override {
        if (forward_only_)
            return WBEM_E_INVALID_OPERATION;
        std::lock_guard lock(mutex_);
        position_ = 0;
        return WBEM_S_NO_ERROR;
    }

    STDMETHODIMP Next(long timeout, ULONG count, IWbemClassObject** objects,
                      ULONG* returned) override {
        if (!objects || !returned || !ValidTimeout(timeout))
            return WBEM_E_INVALID_PARAMETER;
        *returned = 0;
        std::lock_guard lock(mutex_);
        ULONG given = Advance(count);
        for (ULONG i = 0; i < given; ++i) {
            IWbemClassObject* object = result_->objects[position_ - given + i];
            object->AddRef();
            objects[i] = object;
        }
        *returned = given;
        return Outcome(given, count);
    }

    STDMETHODIMP NextAsync(ULONG, IWbemObjectSink*) override { return WBEM_E_NOT_SUPPORTED; }

    STDMETHODIMP Clone(IEnumWbemClassObject** copy) override {
        if (!copy)
            return WBEM_E_INVALID_PARAMETER;
        *copy = nullptr;
        if (forward_only_)
            return WBEM_E_INVALID_OPERATION;
        return Guard([&] {
            std::lock_guard lock(mutex_);
            *copy = new Enumerator(result_, forward_only_, position_);
            return WBEM_S_NO_ERROR;
        });
    }

    STDMETHODIMP Skip(long timeout, ULONG count) override {
        if (!ValidTimeout(timeout))
            return WBEM_E_INVALID_PARAMETER;
        std::lock_guard lock(mutex_);
        return Outcome(Advance(count), count);
    }

  private:
    ~Enumerator() override = default;

    // Moves the position on by up to `count`; returns how far it went.
    ULONG Advance(ULONG count) {
        size_t left = result_->objects.size() - position_;
        ULONG step = ULONG(std::min<size_t>(count, left));
        position_ += step;
        return step;
    }
    HRESULT Outcome(ULONG given, ULONG asked) const {
        if (given == asked && asked > 0)
            return WBEM_S_NO_ERROR;
        if (given == 0 && position_ == result_->objects.size() && FAILED(result_->final_result))
            return result_->final_result;
        return given == asked ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
    }

    const std::shared_ptr<const SharedResult> result_;
    const bool forward_only_;
    std::mutex mutex_;
    size_t position_;
    ModuleRef module_ref_;
};

}  // namespace

IEnumWbemClassObject* CreateEnumerator(std::vector<IWbemClassObjectPtr> objects,
                                       HRESULT final_result, bool forward_only) {
    auto shared = std::make_shared<SharedResult>();
    shared->objects = std::move(objects);
    shared->final_result = final_result;
    return new Enumerator(std::move(shared), forward_only, 0);
}

}  // namespace kvwmi
