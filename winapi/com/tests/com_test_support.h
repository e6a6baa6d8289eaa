// What the COM tests share: an apartment for the test body, registration of the test server
// module, and an object that reports when it goes away.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "kvtest/com_support.h"
#include "kvwin/com_guid_text.h"
#include "kvwin/com_object.h"
#include "kvwin/utf.h"
#include "test_server.h"
#include "win/registry.h"

namespace comtest {

using kvtest::ScopedApartment;
using kvtest::SetClassesRootDefault;

// The native path of the test server module, as the build placed it.
inline std::u16string TestServerPath() {
    return kvwin::FromUtf8(KV_TEST_SERVER_PATH);
}

// Registers the test class with `server` as its InprocServer32, the ProgID
// "KvTest.Counter.1" and the version-independent "KvTest.Counter" (through CurVer).
inline void RegisterTestServer(const std::u16string& server) {
    const std::u16string clsid = kvwin::GuidToText(kClsidTestCounter);
    SetClassesRootDefault(u"CLSID\\" + clsid + u"\\InprocServer32", server);
    SetClassesRootDefault(u"CLSID\\" + clsid + u"\\ProgID", u"KvTest.Counter.1");
    SetClassesRootDefault(u"KvTest.Counter.1\\CLSID", clsid);
    SetClassesRootDefault(u"KvTest.Counter\\CurVer", u"KvTest.Counter.1");
}

// Text of a wide string, for comparisons in expectations.
inline std::u16string Text(const WCHAR* s) {
    return std::u16string(kvwin::WideView(s));
}

struct IProbe : IUnknown {
    STDMETHOD_(int, Tag)() = 0;
};
struct IOther : IUnknown {
    STDMETHOD_(int, Other)() = 0;
};
// An interface no test object implements.
struct IAbsent : IUnknown {
    STDMETHOD_(int, Absent)() = 0;
};

}  // namespace comtest

KV_DECLARE_UUID(comtest::IProbe, "9A7E4C21-5D3B-4E8F-A1C2-0B1C2D3E4F01");
KV_DECLARE_UUID(comtest::IOther, "9A7E4C21-5D3B-4E8F-A1C2-0B1C2D3E4F02");
KV_DECLARE_UUID(comtest::IAbsent, "9A7E4C21-5D3B-4E8F-A1C2-0B1C2D3E4F03");

namespace comtest {

// An object with IProbe and IOther that sets *destroyed when it goes away.
class Probe final : public kvwin::ComObject<IProbe, IOther> {
  public:
    explicit Probe(bool* destroyed = nullptr) : destroyed_(destroyed) {}
    int STDMETHODCALLTYPE Tag() override { return 7; }
    int STDMETHODCALLTYPE Other() override { return 8; }

  private:
    ~Probe() override {
        if (destroyed_)
            *destroyed_ = true;
    }
    bool* destroyed_;
};

// The reference count of an object: AddRef and Release again.
inline ULONG RefCount(IUnknown* p) {
    p->AddRef();
    return p->Release();
}

}  // namespace comtest
