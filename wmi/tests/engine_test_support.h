// What the engine tests share: an apartment for the test body, a locator installed for the
// test, and texts for comparisons.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "fake_wmi.h"
#include "kvwin/utf.h"
#include "kvwin/wide_string.h"
#include "log_lines.h"
#include "wmi/row_map.h"
#include "wmi/wmi_async_query.h"

namespace wmitest {

// A multithreaded apartment for the test body, as the agent's threads have one.
class WmiEngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        ClearLoggedLines();
    }
    void TearDown() override {
        RemoveLocator();
        CoUninitialize();
    }

    // Installs a locator whose ConnectServer succeeds with services that follow plan, and
    // connects engine to it. The services stay with the caller (one reference).
    FakeServices* Connect(CWMIAsyncQuery& engine, DeliveryPlan plan) {
        FakeServices* services = new FakeServices(std::move(plan));
        FakeLocator* locator = new FakeLocator(WBEM_S_NO_ERROR, services);
        InstallLocator(locator);
        locator->Release();
        EXPECT_EQ(engine.Initialize(), S_OK);
        EXPECT_EQ(engine.ConnectServer(TEXT("\\\\.\\root\\cimv2")), 0);
        return services;
    }
};

inline std::string Utf8(const WString& text) {
    return kvwin::ToUtf8(text);
}

// A row as "name=value;name=value" in the map's order, for readable comparisons.
inline std::string RowText(const WMIRowMap& row) {
    std::string text;
    for (const auto& [name, value] : row)
        text += (text.empty() ? "" : ";") + Utf8(name) + "=" + Utf8(value);
    return text;
}

}  // namespace wmitest
