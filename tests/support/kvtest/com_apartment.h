// The COM apartment a test runs in: entered for the object's lifetime.
#pragma once

#include <gtest/gtest.h>

#include "win/com.h"

namespace kvtest {

class ScopedApartment {
  public:
    explicit ScopedApartment(DWORD model = COINIT_MULTITHREADED) {
        EXPECT_EQ(CoInitializeEx(nullptr, model), S_OK);
    }
    ~ScopedApartment() { CoUninitialize(); }
    ScopedApartment(const ScopedApartment&) = delete;
    ScopedApartment& operator=(const ScopedApartment&) = delete;
};

}  // namespace kvtest
