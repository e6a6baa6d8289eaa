// One asynchronous call (ExecQueryAsync, CreateInstanceEnumAsync) and its delivery, run on a
// thread of the service's own (service/delivery_threads.h):
//
//   1. the provider is asked for the instances and the query filters them;
//   2. after the plan's first delay, Indicate is called with batches of objects, with the
//      plan's delay between batches;
//   3. SetStatus(WBEM_STATUS_COMPLETE, result, nullptr, status object) is called exactly
//      once: the fixture's or provider's result, WBEM_E_PROVIDER_FAILURE when the provider
//      failed, or the cancellation's result; a failure always comes with an __ExtendedStatus
//      object, a success only when a fixture asks for one;
//   4. the job releases its reference to the sink, then marks itself done.
//
// Cancel may come at any time from any thread. It wakes a delay, and no Indicate starts
// after it; an Indicate already running finishes. SetStatus then carries the cancellation's
// result, unless the final status was already being sent.
//
// Thread safety: Cancel, WaitDone, IsDone and the accessors may be called from any thread;
// Run runs once, on the job's thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "service/query_run.h"

namespace kvwmi {

class DeliveryJob {
  public:
    // Takes a reference on the sink, held until the final SetStatus has returned.
    DeliveryJob(uint64_t owner, IWbemObjectSink* sink, PreparedQuery query);
    ~DeliveryJob();
    DeliveryJob(const DeliveryJob&) = delete;
    DeliveryJob& operator=(const DeliveryJob&) = delete;

    void Run();

    // Stops the delivery with `result` (WBEM_E_CALL_CANCELLED, WBEM_E_SHUTTING_DOWN).
    void Cancel(HRESULT result);
    // Waits until the sink has had its final status and been released.
    void WaitDone();
    bool IsDone();

    uint64_t owner() const { return owner_; }
    IWbemObjectSink* sink() const { return sink_key_; }

  private:
    // Waits up to `ms`; false when the job was cancelled meanwhile.
    bool Pause(uint32_t ms);
    bool Cancelled();
    void Deliver(QueryResult& result);
    // A failure's final status with a status object describing it.
    FinalStatus FailureStatus(HRESULT result, const char* description) const noexcept;

    const uint64_t owner_;
    IWbemObjectSink* const sink_key_;  // identity only, for CancelAsyncCall
    IWbemObjectSink* sink_;            // the reference, until the end of Run
    const PreparedQuery query_;

    std::mutex mutex_;
    std::condition_variable changed_;
    bool cancelled_ = false;
    HRESULT cancel_result_ = WBEM_E_CALL_CANCELLED;
    bool status_sent_ = false;  // the final SetStatus has begun: cancelling is too late
    bool done_ = false;
};

}  // namespace kvwmi
