// What the scripting-face tests share: a JScript engine (with the helper "Test" whose ok()
// records failures) that runs one script text and reports what went wrong.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "script_test_support.h"

namespace wmitest {

// Runs `code` in a fresh JScript engine; the script checks with Test.ok(cond, message).
inline void RunScript(const std::u16string& code) {
    jstest::ScopedApartment apartment;
    jstest::Script s;
    ASSERT_EQ(s.Start(), S_OK);
    HRESULT hr = s.Parse(code);
    for (const auto& e : s.site->errors)
        ADD_FAILURE() << "script error " << std::hex << e.code << ": "
                      << kvwin::ToUtf8(e.description) << " at line " << std::dec << e.line << ": "
                      << kvwin::ToUtf8(e.line_text);
    EXPECT_EQ(hr, S_OK);
    for (const auto& f : s.helper->failures)
        ADD_FAILURE() << f;
    EXPECT_GT(s.helper->checks, 0);
}

}  // namespace wmitest
