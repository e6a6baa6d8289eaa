// A std::thread with a thread handle of the layer made before it starts.
#include "kvwin/waitable_thread.h"

#include <system_error>

#include "sync_objects.h"

namespace kvwin {

WaitableThread::WaitableThread(std::function<void()> body) {
    auto state = std::make_shared<ThreadState>();
    handle_ = InsertHandle(std::make_shared<ThreadObject>(state));
    if (!handle_)
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                "no handle for a new thread");
    try {
        // The handle exists before the thread does, so a wait that starts right after this
        // constructor cannot miss the end of even the shortest body.
        thread_ = std::thread([state, body = std::move(body)] {
            AdoptThreadState(state);
            body();
            FinishThread(*state, 0);
        });
    } catch (...) {
        CloseHandle(handle_);
        handle_ = nullptr;
        throw;
    }
}

WaitableThread::~WaitableThread() {
    if (thread_.joinable())
        thread_.join();
    if (handle_)
        CloseHandle(handle_);
}

void WaitableThread::join() {
    thread_.join();
}

}  // namespace kvwin
