// What the VBScript tests share: an engine with the JScript tests' recording site and "Test"
// helper (ok, Signal, Call, Name), set up in one step.
#pragma once

#include "script_test_support.h"

namespace vbstest {

using jstest::RecordingSite;
using jstest::ScopedApartment;
using jstest::TestHelper;

struct Script {
    jstest::IActiveScriptPtr engine;
    jstest::IActiveScriptParse64Ptr parse;
    RecordingSite* site = new RecordingSite();  // the engine holds it; `site` borrows
    TestHelper* helper = new TestHelper();      // owned here

    explicit Script(bool with_helper = true, DWORD item_flags = SCRIPTITEM_ISVISIBLE) {
        EXPECT_EQ(engine.CreateInstance(CLSID_VBScript), S_OK);
        EXPECT_EQ(engine->QueryInterface(IID_PPV_ARGS(&parse)), S_OK);
        if (with_helper) {
            helper->AddRef();
            site->items[u"Test"] = helper;
        }
        EXPECT_EQ(engine->SetScriptSite(site), S_OK);
        site->Release();
        EXPECT_EQ(parse->InitNew(), S_OK);
        if (with_helper) {
            EXPECT_EQ(engine->AddNamedItem(u"Test", item_flags), S_OK);
        }
    }
    ~Script() {
        if (engine)
            engine->Close();
        helper->Release();
    }

    HRESULT Parse(std::u16string_view code, DWORD flags = 0, VARIANT* result = nullptr,
                  ULONG start_line = 0) {
        std::u16string text(code);
        return parse->ParseScriptText(text.c_str(), nullptr, nullptr, nullptr, 0, start_line, flags,
                                      result, nullptr);
    }
    HRESULT Start() { return engine->SetScriptState(SCRIPTSTATE_CONNECTED); }
    // Parses and runs; returns the first failure.
    HRESULT Run(std::u16string_view code) {
        HRESULT hr = Parse(code);
        HRESULT started = Start();
        return FAILED(hr) ? hr : started;
    }

    // Calls a global function through GetScriptDispatch, as the library's host does.
    HRESULT Call(const std::u16string& name, VARIANT* result, std::vector<VARIANT> args = {}) {
        IDispatch* global = nullptr;
        HRESULT hr = engine->GetScriptDispatch(nullptr, &global);
        if (FAILED(hr))
            return hr;
        DISPID id = 0;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
        hr = global->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id);
        if (SUCCEEDED(hr)) {
            std::vector<VARIANT> reversed(args.rbegin(), args.rend());
            DISPPARAMS params{reversed.data(), nullptr, UINT(reversed.size()), 0};
            hr = global->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                                nullptr, nullptr);
        }
        global->Release();
        return hr;
    }

    std::string Errors() const {
        std::string out;
        for (const auto& e : site->errors)
            out +=
                "line " + std::to_string(e.line + 1) + ": " + kvwin::ToUtf8(e.description) + "\n";
        return out;
    }
};

}  // namespace vbstest
