// Runs a function on a thread with a small stack, for tests that prove a recursion over
// hostile input is bounded: a host may call us from a thread with far less stack than the
// default 8 MB, and an unbounded recursion that the default stack would survive kills it.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <functional>

namespace kvtest {

// Runs `body` on a new thread with `stack_bytes` of stack and waits for it. False when the
// thread could not be started.
inline bool RunOnSmallStack(const std::function<void()>& body, size_t stack_bytes = 256 * 1024) {
    pthread_attr_t attributes;
    if (::pthread_attr_init(&attributes) != 0)
        return false;
    bool started = ::pthread_attr_setstacksize(&attributes, stack_bytes) == 0;
    pthread_t thread{};
    auto run = [](void* argument) -> void* {
        (*static_cast<const std::function<void()>*>(argument))();
        return nullptr;
    };
    started = started && ::pthread_create(&thread, &attributes, run,
                                          const_cast<std::function<void()>*>(&body)) == 0;
    ::pthread_attr_destroy(&attributes);
    if (started)
        ::pthread_join(thread, nullptr);
    return started;
}

}  // namespace kvtest
