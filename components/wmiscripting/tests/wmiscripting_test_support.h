// What the scripting-face tests share: a JScript engine (with the helper "Test" whose ok()
// records failures) that runs one script text and reports what went wrong.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "kvtest/script_test_support.h"

namespace wmitest {

// Runs `code` in a fresh engine (JScript unless told otherwise); the script checks with
// Test.ok(cond, message).
inline void RunScript(const std::u16string& code, const CLSID& engine = CLSID_JScript) {
    jstest::ScopedApartment apartment;
    jstest::Script s(true, engine);
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

// The same in a VBScript engine, where For Each and By-reference out parameters differ.
inline void RunVBScript(const std::u16string& code) {
    RunScript(code, CLSID_VBScript);
}

}  // namespace wmitest
