// What the COM runtime keeps per thread. Only the owning thread touches it.
#pragma once

#include "win/com.h"

namespace kvwin::com_detail {

struct ThreadState {
    int init_count = 0;                // successful CoInitializeEx calls not yet balanced
    bool multithreaded = false;        // the model of the current apartment
    IErrorInfo* error_info = nullptr;  // owned reference, or null
    ~ThreadState();
};

ThreadState& CurrentThreadState();

}  // namespace kvwin::com_detail
