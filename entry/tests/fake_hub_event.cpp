#include "fake_hub_event.h"

#include "kvwin/utf.h"
#include "kvwin/wide_string.h"
#include "win/errors.h"
#include "win/oleauto.h"

namespace entrytest {
namespace {

FakeEventScript g_script;

void Record(const WString& call) {
    if (g_script.calls)
        g_script.calls->push_back(call);
}

class FakeBlock final : public kvwin::ComObject<IHubDataBlock> {
  public:
    STDMETHODIMP AddRow(VARIANT, IHubDataRow** row) override {
        *row = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetColumns(IHubColumnList** columns) override {
        *columns = nullptr;
        return E_NOTIMPL;
    }
};

class FakeEvent final : public kvwin::ComObject<IZorHubEvent> {
  public:
    STDMETHODIMP SetEventGuid(BSTR id) override {
        Record(TEXT("SetEventGuid(") + WString(id ? id : TEXT("")) + TEXT(")"));
        return S_OK;
    }
    STDMETHODIMP GetDefaultResource(IDispatch** resource) override {
        *resource = nullptr;
        Record(TEXT("GetDefaultResource"));
        return g_script.default_resource;
    }
    STDMETHODIMP AddDataBlock(VARIANT name, VARIANT resource, IHubDataBlock** block) override {
        WString call = TEXT("AddDataBlock(");
        call += name.vt == VT_BSTR ? WString(name.bstrVal) : TEXT("?");
        call += resource.vt == VT_DISPATCH
                    ? (resource.pdispVal ? TEXT(",dispatch)") : TEXT(",null dispatch)"))
                    : TEXT(",other)");
        Record(call);
        *block = new FakeBlock();
        return S_OK;
    }
    STDMETHODIMP GetXml(BSTR* xml) override {
        *xml = g_script.xml.empty() ? nullptr : SysAllocString(g_script.xml.c_str());
        return S_OK;
    }
    STDMETHODIMP SetEventOption(LONG option) override {
        Record(TEXT("SetEventOption(") + kvwin::FromUtf8(std::to_string(option)) + TEXT(")"));
        return S_OK;
    }
};

HRESULT CreateFake(IUnknown* outer, REFIID riid, void** ppv) {
    if (FAILED(g_script.create)) {
        *ppv = nullptr;
        return g_script.create;
    }
    return kvwin::CreateComInstance<FakeEvent>(outer, riid, ppv);
}

}  // namespace

ScopedFakeHubEvent::ScopedFakeHubEvent(FakeEventScript script) {
    g_script = std::move(script);
    kvwin::RegisterBuiltinClass(
        {CLSID_ZorHubEvent, TEXT("ZorHub.Event.1"), TEXT("ZorHub.Event"), CreateFake, TEXT("")});
}

ScopedFakeHubEvent::~ScopedFakeHubEvent() {
    kvwin::RegisterBuiltinClass({CLSID_ZorHubEvent, TEXT("ZorHub.Event.1"), TEXT("ZorHub.Event"),
                                 nullptr, TEXT("libkavrel-hubevent.so")});
    g_script = {};
}

}  // namespace entrytest
