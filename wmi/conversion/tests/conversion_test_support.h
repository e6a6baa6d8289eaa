// Helpers of the conversion tests: running a function the way a query does (the value's own
// string as the result), and setting the process's time zone for one test.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "kvwin/utf.h"
#include "kvwin/wide_string.h"
#include "wmi/conversion/data_conversion.h"

namespace convtest {

// Process with the value's string as the result, as the query's row assembly calls it.
inline std::string Convert(const std::string& function, const std::string& value) {
    WString text = kvwin::FromUtf8(value);
    CDataConversion::Process(text.c_str(), kvwin::FromUtf8(function).c_str(), TEXT(""), text);
    return kvwin::ToUtf8(text);
}

// Sets TZ for the life of the object, and puts the previous setting back.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ"))
            previous_ = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (previous_)
            ::setenv("TZ", previous_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

  private:
    std::optional<std::string> previous_;
};

}  // namespace convtest
