// The threads that deliver asynchronous calls, owned by this module-wide table so that no
// thread of the service ever outlives the module's code.
//
//   - A call runs on a thread of the table: a parked one when there is one, else a new one.
//     A thread whose call is done parks for the next call; at most kMaxParked threads park,
//     any further one ends and is joined by the next Start or by the unload check. Starting
//     a thread per call cost more than the rest of a one-row query.
//   - Whoever ends a call's user waits for it: the release of the IWbemServices that started
//     calls cancels them and waits until each is done (but on the calling thread's own).
//   - DllCanUnloadNow first waits for the threads whose call is done to park (Settle) and
//     answers S_FALSE while a call is left; when the module may go, EndParked ends and joins
//     every parked thread. So the module is never unloaded under a thread of its own.
//   - At process exit the parked threads are ended and joined; a delivery that is still
//     waiting (a fixture's delay) is not woken to run against a half-destroyed process: the
//     table is left to it and the exit ends it.
//   - After fork the child has none of the parent's threads: it forgets them and starts
//     afresh.
//   - Waiting for a call waits for a sink callback in progress: a sink that never returns
//     from Indicate or SetStatus blocks whoever waits for its call.
//
// Thread safe: every member may be called from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "service/delivery_job.h"

namespace kvwmi {

class DeliveryThreads {
  public:
    static DeliveryThreads& Instance();

    // How many threads park between calls.
    static constexpr size_t kMaxParked = 2;

    // Runs the job on a parked thread, or a new one. Throws std::system_error when no thread
    // can be made.
    void Start(std::shared_ptr<DeliveryJob> job);
    // The calls not yet done whose sink is `sink`.
    std::vector<std::shared_ptr<DeliveryJob>> FindBySink(IWbemObjectSink* sink);
    // Cancels every call of the owner with `result` and waits until each is done (but one
    // running on the calling thread).
    void CancelOwner(uint64_t owner, HRESULT result);
    // Waits until every thread whose call is done has let go of it and parked or ended (but
    // the calling thread); joins the ended ones. Returns how many calls are still running.
    size_t Settle();
    // Ends and joins every parked thread (but the calling thread).
    void EndParked();
    // Whether the calling thread is one of the delivery threads.
    bool OnDeliveryThread();
    // Waits up to `limit` until no call is being delivered; returns how many still are.
    size_t WaitIdle(std::chrono::milliseconds limit);
    // Threads alive in the table, parked or delivering.
    size_t ThreadCount();

    ~DeliveryThreads();

  private:
    DeliveryThreads();
    struct Worker {
        std::thread thread;
        std::shared_ptr<DeliveryJob> job;  // the call being delivered, until it is done
        bool busy = false;                 // has a call, or is still letting go of one
        bool stop = false;                 // a parked thread is to end
        bool ended = false;                // the thread has left its loop: join it
        std::condition_variable wake;      // a call or the stop arrived
    };
    // On the heap so that the destructor can leave it to threads still delivering at exit,
    // and the child of a fork can leave its parent's to no one.
    struct Table {
        std::mutex mutex;
        std::condition_variable idle;  // a thread let go of its call, or ended
        size_t parked = 0;             // threads waiting for a call
        std::list<Worker> workers;
        Table* parent = nullptr;  // in a forked child, the parent's table, left as it was
    };

    void Serve(Worker& worker);
    // Moves the threads that ended out of the table (under its lock), for joining outside it.
    std::vector<std::thread> TakeEnded();
    static void JoinAll(std::vector<std::thread>& threads);

    Table* table_ = new Table();
};

}  // namespace kvwmi
