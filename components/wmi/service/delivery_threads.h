// The threads that deliver asynchronous calls: one per call, owned by this module-wide
// table, so that no thread of the service ever outlives the module's code.
//
//   - A thread is joined by whoever comes next: the start of another call, the release of
//     the IWbemServices that started it (which cancels and joins its calls), and
//     DllCanUnloadNow, which joins the finished ones and answers S_FALSE while any is left.
//     So the module is never unloaded under a thread of its own: by the time it may go,
//     every thread has been joined.
//   - At process exit a delivery that is still waiting (a fixture's delay) is not woken to
//     run against a half-destroyed process: its entry is left in place and the exit ends it.
//   - A thread never joins itself: when the last release of its services happens on it
//     (inside a sink callback), its own entry stays in the table for a later join.
//   - Joining waits for a sink callback in progress: a sink that never returns from
//     Indicate or SetStatus blocks whoever joins its thread.
//
// Thread safe: every member may be called from any thread.
#pragma once

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "service/delivery_job.h"

namespace kvwmi {

class DeliveryThreads {
  public:
    static DeliveryThreads& Instance();

    // Starts a thread that runs the job. Throws std::system_error when no thread can be made.
    void Start(std::shared_ptr<DeliveryJob> job);
    // The calls not yet done whose sink is `sink`.
    std::vector<std::shared_ptr<DeliveryJob>> FindBySink(IWbemObjectSink* sink);
    // Cancels every call of the owner with `result` and joins their threads (but the
    // calling thread's own).
    void CancelOwner(uint64_t owner, HRESULT result);
    // Joins the threads whose job is done; returns how many threads are left.
    size_t JoinFinished();
    // Whether the calling thread is one of the delivery threads.
    bool OnDeliveryThread();

    ~DeliveryThreads();

  private:
    DeliveryThreads() = default;
    struct Entry {
        std::shared_ptr<DeliveryJob> job;
        std::thread thread;
    };
    // Moves the entries the predicate picks out of the table (under the lock).
    template <class Pick>
    std::vector<Entry> Take(Pick pick);
    static void JoinAll(std::vector<Entry>& entries);

    std::mutex mutex_;
    // On the heap so that the destructor can leave it to threads still waiting at exit.
    std::vector<Entry>* const entries_ = new std::vector<Entry>();
};

}  // namespace kvwmi
