// An event component of the test's own, registered in place of the real one: its XML text
// and its default resource are the test's choice, and it records the calls it gets.
#pragma once

#include <string>
#include <vector>

#include "hubevent/hub_event.h"
#include "kvwin/com_object.h"
#include "kvwin/com_runtime.h"
#include "kvwin/wide_string.h"

namespace entrytest {

struct FakeEventScript {
    WString xml;                            // what GetXml returns
    HRESULT default_resource = S_OK;        // GetDefaultResource's result (no resource given)
    HRESULT create = S_OK;                  // a failure makes creation fail
    std::vector<WString>* calls = nullptr;  // "AddDataBlock(name,vt,null)" ...
};

// Registers the fake for CLSID_ZorHubEvent for the object's lifetime.
class ScopedFakeHubEvent {
  public:
    explicit ScopedFakeHubEvent(FakeEventScript script);
    ~ScopedFakeHubEvent();
};

}  // namespace entrytest
