// A standard thread whose end can be waited for through a HANDLE.
//
// On Windows a std::thread's native handle is a thread HANDLE, so code there waits for a
// worker and, say, an event together with WaitForMultipleObjects and then joins the thread.
// WaitableThread gives the same: handle() is a thread handle of this layer, signalled once
// the body has returned, usable in every wait together with events and mutexes; join() then
// waits for the thread itself to be gone, as std::thread::join does.
//
//   kvwin::WaitableThread worker([&] { Work(); });
//   HANDLE both[2] = {worker.handle(), cancel};
//   WaitForMultipleObjects(2, both, FALSE, limit);
//   worker.join();
//
// Starting throws std::system_error when no thread can be made (as std::thread does); an
// exception leaving the body ends the process (as with std::thread). The handle belongs to
// the object and is closed by its destructor. The destructor joins a thread that was not
// joined yet, so a worker never outlives what it refers to. Not thread safe: one owner
// thread starts, waits for and joins it.
#pragma once

#include <functional>
#include <thread>

#include "win/handles.h"

namespace kvwin {

class KVWIN_API WaitableThread {
  public:
    explicit WaitableThread(std::function<void()> body);
    ~WaitableThread();
    WaitableThread(const WaitableThread&) = delete;
    WaitableThread& operator=(const WaitableThread&) = delete;

    // Signalled when the body has returned. GetExitCodeThread gives STILL_ACTIVE until then
    // and 0 after; GetThreadId gives the thread's id once the thread has started.
    HANDLE handle() const { return handle_; }
    bool joinable() const { return thread_.joinable(); }
    // Waits without limit for the thread to end. Throws std::system_error as std::thread.
    void join();

  private:
    HANDLE handle_ = nullptr;
    std::thread thread_;
};

}  // namespace kvwin
