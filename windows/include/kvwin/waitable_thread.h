// A thread whose end can be waited for through a HANDLE, on Windows.
//
// The same class as the platform layer's (same members, same rules), made here from a CRT
// thread: its handle is a real thread handle, signalled when the body has returned. Starting
// throws std::system_error when no thread can be made; the destructor joins a thread that
// was not joined yet and closes the handle. Not thread safe: one owner thread starts, waits
// for and joins it.
#pragma once

#include <process.h>

#include <functional>
#include <memory>
#include <system_error>

#include "win/handles.h"

namespace kvwin {

class WaitableThread {
  public:
    explicit WaitableThread(std::function<void()> body) {
        auto owned = std::make_unique<std::function<void()>>(std::move(body));
        const uintptr_t h = _beginthreadex(nullptr, 0, &Run, owned.get(), 0, nullptr);
        if (h == 0)
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        owned.release();
        handle_ = reinterpret_cast<HANDLE>(h);
    }
    ~WaitableThread() {
        if (handle_) {
            if (!joined_)
                WaitForSingleObject(handle_, INFINITE);
            CloseHandle(handle_);
        }
    }
    WaitableThread(const WaitableThread&) = delete;
    WaitableThread& operator=(const WaitableThread&) = delete;

    HANDLE handle() const { return handle_; }
    bool joinable() const { return handle_ && !joined_; }
    void join() {
        if (!joinable())
            throw std::system_error(std::make_error_code(std::errc::invalid_argument));
        WaitForSingleObject(handle_, INFINITE);
        joined_ = true;
    }

  private:
    // noexcept: an exception leaving the body ends the process, as with std::thread.
    static unsigned __stdcall Run(void* param) noexcept {
        std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(param));
        (*body)();
        return 0;
    }

    HANDLE handle_ = nullptr;
    bool joined_ = false;
};

}  // namespace kvwin
