// What the VBScript tests share: an engine with the JScript tests' recording site and "Test"
// helper (ok, Signal, Call, Name), set up in one step.
#pragma once

#include "script_test_support.h"

namespace vbstest {

using jstest::RecordingSite;
using jstest::ScopedApartment;
using jstest::TestHelper;

// The shared engine holder, with the VBScript engine.
struct Script : jstest::Script {
    explicit Script(bool with_helper = true, DWORD item_flags = SCRIPTITEM_ISVISIBLE)
        : jstest::Script(with_helper, CLSID_VBScript, item_flags) {}
};

}  // namespace vbstest
