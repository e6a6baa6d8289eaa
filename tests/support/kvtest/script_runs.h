// What the script engines' tests do alike, over any engine holder `Script` with the members
// engine (an IActiveScript smart pointer), helper (with `signalled`, `failures`, `checks`),
// site (with `errors`), Parse, Start and Call:
//   * InterruptWhenSpinning runs a script's entry procedure on a thread of its own, waits
//     for the script to signal that it spins, interrupts it from the test thread and expects
//     the call to end with E_ABORT;
//   * RunScriptFile runs a behaviour script whose checks call the helper, and turns every
//     failed check and every script error into a test failure.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>

#include "kvtest/com_support.h"
#include "kvwin/utf.h"
#include "win/activscp.h"
#include "win/comdef.h"

namespace kvtest {

inline constexpr auto kScriptPatience = std::chrono::seconds(60);

// `setup` (optional) runs on the script's thread before the code is parsed.
template <class Script>
void InterruptWhenSpinning(std::function<void(Script&)> setup, const std::u16string& code,
                           const std::u16string& entry) {
    std::promise<IActiveScript*> engine_ready;
    std::promise<HRESULT> finished;
    std::remove_reference_t<decltype(std::declval<Script&>().helper)> helper = nullptr;
    std::thread thread([&] {
        ScopedApartment apartment(COINIT_APARTMENTTHREADED);
        Script s;
        if (setup)
            setup(s);
        helper = s.helper;
        s.engine->AddRef();
        engine_ready.set_value(s.engine.GetInterfacePtr());
        HRESULT hr = s.Parse(code);
        if (SUCCEEDED(hr))
            hr = s.Start();
        _variant_t result;
        if (SUCCEEDED(hr))
            hr = s.Call(entry, &result);
        finished.set_value(hr);
        // The test still holds its engine reference; Script closes the engine here.
    });
    auto engine_future = engine_ready.get_future();
    auto done = finished.get_future();
    if (engine_future.wait_for(kScriptPatience) != std::future_status::ready) {
        ADD_FAILURE() << "the script thread did not start";
        thread.join();
        return;
    }
    IActiveScript* engine = engine_future.get();
    // The script signals just before it starts to spin.
    EXPECT_TRUE(helper->signalled.WaitFor(kScriptPatience));
    EXPECT_EQ(done.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    SCRIPTTHREADSTATE state;
    EXPECT_EQ(engine->GetScriptThreadState(SCRIPTTHREADID_BASE, &state), S_OK);
    EXPECT_EQ(state, SCRIPTTHREADSTATE_RUNNING);
    EXPECT_EQ(engine->InterruptScriptThread(SCRIPTTHREADID_ALL, nullptr, 0), S_OK);
    EXPECT_EQ(done.wait_for(kScriptPatience), std::future_status::ready);
    thread.join();
    EXPECT_EQ(done.get(), E_ABORT);
    engine->Release();
}

template <class Script>
void InterruptWhenSpinning(const std::u16string& code, const std::u16string& entry) {
    InterruptWhenSpinning<Script>(nullptr, code, entry);
}

inline std::u16string ReadScriptFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return kvwin::FromUtf8(text.str());
}

template <class Script>
void RunScriptFile(Script& s, const std::string& path) {
    std::u16string code = ReadScriptFile(path);
    ASSERT_FALSE(code.empty()) << path;
    EXPECT_EQ(s.Parse(code), S_OK);
    EXPECT_EQ(s.Start(), S_OK);
    for (const auto& e : s.site->errors)
        ADD_FAILURE() << "script error at line " << e.line + 1 << ", column " << e.column + 1
                      << ": " << kvwin::ToUtf8(e.description);
    for (const auto& f : s.helper->failures)
        ADD_FAILURE() << "check failed: " << f;
    EXPECT_GT(s.helper->checks, 0);
}

}  // namespace kvtest
