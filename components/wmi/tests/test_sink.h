// A sink for the delivery tests. It records every call (the thread, the batch sizes, each
// SetStatus with the fields the library's engine reads from the status object), counts its
// references, and lets a test wait for "the service has let go": SetStatus seen and the
// count back to the test's own reference. Optional hooks run inside Indicate.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "wmi_test_support.h"

namespace wmitest {

class TestSink final : public IWbemObjectSink {
  public:
    struct Status {
        long flags = -1;
        HRESULT result = S_OK;
        bool had_object = false;
        std::string description, status_code, object_info, error_code, cls;
    };

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IWbemObjectSink) {
            *ppv = static_cast<IWbemObjectSink*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        std::lock_guard lock(mutex_);
        return ++refs_;
    }
    STDMETHODIMP_(ULONG) Release() override {
        std::lock_guard lock(mutex_);
        ULONG left = --refs_;
        changed_.notify_all();
        return left;  // the test owns the object; it is never deleted through Release
    }

    STDMETHODIMP Indicate(long count, IWbemClassObject** objects) override {
        {
            std::lock_guard lock(mutex_);
            threads_.push_back(std::this_thread::get_id());
            batches_.push_back(count);
            for (long i = 0; i < count; ++i) {
                objects[i]->AddRef();
                objects_.emplace_back(objects[i], false);
            }
            changed_.notify_all();
        }
        if (on_indicate)
            on_indicate(int(batches_.size()));
        return WBEM_S_NO_ERROR;
    }

    STDMETHODIMP SetStatus(long flags, HRESULT result, BSTR, IWbemClassObject* object) override {
        Status status;
        status.flags = flags;
        status.result = result;
        if (object) {
            status.had_object = true;
            status.description = GetText(object, u"Description");
            status.status_code = GetText(object, u"StatusCode");
            status.object_info = GetText(object, u"ObjectInfo");
            status.error_code = GetText(object, u"ErrorCode");
            status.cls = GetText(object, u"__CLASS");
        }
        std::lock_guard lock(mutex_);
        threads_.push_back(std::this_thread::get_id());
        statuses_.push_back(status);
        changed_.notify_all();
        return WBEM_S_NO_ERROR;
    }

    // Waits (generously) until the service has sent its status and released the sink.
    bool WaitReleased() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(60),
                                 [&] { return !statuses_.empty() && refs_ == 1; });
    }
    // Waits until at least `count` Indicate calls have been made.
    bool WaitBatches(size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(60),
                                 [&] { return batches_.size() >= count; });
    }

    ULONG refs() {
        std::lock_guard lock(mutex_);
        return refs_;
    }
    std::vector<long> batches() {
        std::lock_guard lock(mutex_);
        return batches_;
    }
    std::vector<Status> statuses() {
        std::lock_guard lock(mutex_);
        return statuses_;
    }
    std::vector<std::thread::id> threads() {
        std::lock_guard lock(mutex_);
        return threads_;
    }
    std::vector<IWbemClassObjectPtr> objects() {
        std::lock_guard lock(mutex_);
        return objects_;
    }

    std::function<void(int batch)> on_indicate;

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    ULONG refs_ = 1;
    std::vector<long> batches_;
    std::vector<Status> statuses_;
    std::vector<std::thread::id> threads_;
    std::vector<IWbemClassObjectPtr> objects_;
};

inline HRESULT StartQuery(IWbemServices* services, std::u16string_view wql, TestSink& sink) {
    return services->ExecQueryAsync(Bstr(u"WQL"), Bstr(wql), 0, nullptr, &sink);
}

}  // namespace wmitest
