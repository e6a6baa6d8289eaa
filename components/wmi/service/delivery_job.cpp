#include "service/delivery_job.h"

#include <chrono>

#include "kvwin/utf.h"
#include "service/status_object.h"

namespace kvwmi {

DeliveryJob::DeliveryJob(uint64_t owner, IWbemObjectSink* sink, PreparedQuery query)
    : owner_(owner), sink_key_(sink), sink_(sink), query_(std::move(query)) {
    sink_->AddRef();
}

DeliveryJob::~DeliveryJob() {
    // Only when the thread never ran: the caller learns of that from ExecQueryAsync.
    if (sink_)
        sink_->Release();
}

void DeliveryJob::Cancel(HRESULT result) {
    std::lock_guard lock(mutex_);
    if (!cancelled_) {
        cancelled_ = true;
        cancel_result_ = result;
    }
    changed_.notify_all();
}

void DeliveryJob::WaitDone() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return done_; });
}

bool DeliveryJob::IsDone() {
    std::lock_guard lock(mutex_);
    return done_;
}

bool DeliveryJob::Cancelled() {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

bool DeliveryJob::Pause(uint32_t ms) {
    std::unique_lock lock(mutex_);
    if (ms)
        changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return cancelled_; });
    return !cancelled_;
}

void DeliveryJob::Deliver(QueryResult& result) {
    if (!Pause(result.plan.delay_before_ms))
        return;
    size_t batch = result.plan.batch_size ? result.plan.batch_size : 1;
    std::vector<IWbemClassObject*> pointers;
    for (size_t first = 0; first < result.objects.size(); first += batch) {
        if (first && !Pause(result.plan.delay_between_ms))
            return;
        // Checked again just before the call: a Cancel that returned before this point
        // sees no further Indicate.
        if (Cancelled())
            return;
        size_t count = std::min(batch, result.objects.size() - first);
        pointers.clear();
        for (size_t i = 0; i < count; ++i)
            pointers.push_back(result.objects[first + i]);
        sink_->Indicate(long(count), pointers.data());
    }
}

void DeliveryJob::Run() {
    // The sink may make COM calls of its own; WMI calls sinks from its multithreaded
    // apartment, and so do we.
    bool apartment = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    FinalStatus status;
    try {
        QueryResult result = RunQuery(query_);
        Deliver(result);
        status = std::move(result.status);
    } catch (const std::exception& failure) {
        status = FailureStatus(WBEM_E_PROVIDER_FAILURE, failure.what());
    }
    bool cancelled = false;
    HRESULT cancel_result = S_OK;
    {
        std::lock_guard lock(mutex_);
        cancelled = cancelled_;
        cancel_result = cancel_result_;
        status_sent_ = true;
    }
    if (cancelled) {
        status = FailureStatus(cancel_result, cancel_result == WBEM_E_SHUTTING_DOWN
                                                  ? "The service is shutting down."
                                                  : "The call was cancelled.");
    }
    IWbemClassObject* status_object = nullptr;
    if (FAILED(status.result) || status.send_object) {
        try {
            status_object = CreateStatusObject(status.fields);
        } catch (...) {
            status_object = nullptr;  // the result alone still reaches the sink
        }
    }
    sink_->SetStatus(WBEM_STATUS_COMPLETE, status.result, nullptr, status_object);
    if (status_object)
        status_object->Release();
    IWbemObjectSink* sink = sink_;
    sink_ = nullptr;
    sink->Release();
    if (apartment)
        CoUninitialize();
    std::lock_guard lock(mutex_);
    done_ = true;
    changed_.notify_all();
}

FinalStatus DeliveryJob::FailureStatus(HRESULT result, const char* description) const noexcept {
    FinalStatus status;
    status.result = result;
    status.send_object = true;
    try {
        status.fields = ServiceStatus(result, kvwin::FromUtf8(description), query_);
    } catch (...) {
        status.fields = StatusFields{};  // out of memory: the code alone has to do
    }
    return status;
}

}  // namespace kvwmi
