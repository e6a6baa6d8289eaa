// The event, mutex and thread objects behind their handles.
#pragma once

#include <pthread.h>

#include <memory>

#include "kvwin/waitable.h"
#include "shared_segment.h"

namespace kvwin {

// Lives in a segment, shared by every process that has the event open (an unnamed event's
// segment is this process's own).
struct EventState {
    std::atomic<uint32_t> signalled;
    std::atomic<uint32_t> wake;
    uint32_t manual_reset;
};

// Thread safety: all state is atomic in the segment.
class EventObject : public Waitable {
  public:
    explicit EventObject(std::shared_ptr<SharedSegment> segment);
    HandleKind Kind() const override { return HandleKind::Event; }
    std::atomic<uint32_t>& WakeWord() override { return state_->wake; }
    bool WakeWordShared() const override { return segment_->shared(); }
    TakeResult TryTake() override;
    bool IsSignalled() override;
    void Untake() override;
    void Set();
    void Reset();

  private:
    std::shared_ptr<SharedSegment> segment_;
    EventState* state_;
};

// A robust, recursive mutex, process-shared when named: the kernel tells the next locker
// when the owning thread or process died with it held.
struct MutexState {
    pthread_mutex_t mutex;
    // Moves on every release; the top bit says a wait for several objects may sleep on it
    // (a wait for the mutex alone sleeps in the kernel's lock), so a release with no such
    // sleeper makes no wake-up call.
    std::atomic<uint32_t> wake;
};

// Thread safety: the pthread mutex is the synchronisation.
class MutexObject : public Waitable {
  public:
    explicit MutexObject(std::shared_ptr<SharedSegment> segment);
    HandleKind Kind() const override { return HandleKind::Mutex; }
    std::atomic<uint32_t>& WakeWord() override { return state_->wake; }
    bool WakeWordShared() const override { return segment_->shared(); }
    TakeResult TryTake() override;
    bool IsSignalled() override;
    void Untake() override;
    uint32_t MaxSleepMs() const override { return 50; }
    void AnnounceSleeper() override;
    // Blocks up to `timeout_ms` (UINT32_MAX: no limit), woken by the kernel on release and on
    // the owner's death. Returns NotSignalled on time-out.
    TakeResult Take(uint32_t timeout_ms);
    bool Release();  // false: the caller does not own it

  private:
    std::shared_ptr<SharedSegment> segment_;
    MutexState* state_;
};

// What a thread handle waits for; shared by the running thread and its handles.
struct ThreadState {
    std::atomic<uint32_t> done{0};
    std::atomic<uint32_t> exit_code{STILL_ACTIVE_CODE};
    DWORD thread_id = 0;
    static constexpr uint32_t STILL_ACTIVE_CODE = 259;
};

class ThreadObject : public Waitable {
  public:
    explicit ThreadObject(std::shared_ptr<ThreadState> state) : state_(std::move(state)) {}
    HandleKind Kind() const override { return HandleKind::Thread; }
    std::atomic<uint32_t>& WakeWord() override { return state_->done; }
    bool WakeWordShared() const override { return false; }
    TakeResult TryTake() override {
        return IsSignalled() ? TakeResult::Taken : TakeResult::NotSignalled;
    }
    bool IsSignalled() override { return state_->done.load(std::memory_order_acquire) != 0; }
    const std::shared_ptr<ThreadState>& state() const { return state_; }

  private:
    std::shared_ptr<ThreadState> state_;
};

// Marks a thread finished and wakes its waiters.
void FinishThread(ThreadState& state, uint32_t exit_code);

// Makes state the calling thread's own (its id is filled in), for a thread started with a
// handle made beforehand; the starter calls FinishThread when the thread's work is done.
void AdoptThreadState(std::shared_ptr<ThreadState> state);

}  // namespace kvwin
