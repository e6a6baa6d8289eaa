#include "stand_in_event.h"

#include <oleauto.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hubevent/hub_event.h"

namespace {

std::mutex g_lock;

template <class Interface>
class Object : public Interface {
  public:
    virtual ~Object() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == __uuidof(Interface)) {
            *ppv = static_cast<Interface*>(this);
            this->AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }

  private:
    std::atomic<ULONG> refs_{1};
};

using Row = std::map<LONG, std::wstring>;
struct Block {
    std::wstring dataClass;
    std::vector<std::shared_ptr<Row>> rows;
};

bool ColumnOf(const VARIANT& column, LONG& out) {
    VARIANT converted;
    VariantInit(&converted);
    if (FAILED(VariantChangeType(&converted, const_cast<VARIANT*>(&column), 0, VT_I4)))
        return false;
    out = converted.lVal;
    return out >= 0;
}

class DataRow final : public Object<IHubDataRow> {
  public:
    explicit DataRow(std::shared_ptr<Row> row) : row_(std::move(row)) {}
    HRESULT STDMETHODCALLTYPE SetValue(VARIANT column, VARIANT value) override {
        LONG index = 0;
        if (!ColumnOf(column, index))
            return E_INVALIDARG;
        std::lock_guard<std::mutex> hold(g_lock);
        if (value.vt == VT_EMPTY || value.vt == VT_NULL) {
            row_->erase(index);
            return S_OK;
        }
        VARIANT text;
        VariantInit(&text);
        const HRESULT hr = VariantChangeType(&text, &value, 0, VT_BSTR);
        if (FAILED(hr))
            return hr;
        (*row_)[index].assign(text.bstrVal ? text.bstrVal : L"", SysStringLen(text.bstrVal));
        VariantClear(&text);
        return S_OK;
    }

  private:
    std::shared_ptr<Row> row_;
};

class ColumnList final : public Object<IHubColumnList> {
  public:
    HRESULT STDMETHODCALLTYPE SetColumnOption(ULONG, LONG) override { return S_OK; }
};

class DataBlock final : public Object<IHubDataBlock> {
  public:
    explicit DataBlock(std::shared_ptr<Block> block) : block_(std::move(block)) {}
    HRESULT STDMETHODCALLTYPE AddRow(VARIANT, IHubDataRow** row) override {
        if (!row)
            return E_POINTER;
        auto data = std::make_shared<Row>();
        {
            std::lock_guard<std::mutex> hold(g_lock);
            block_->rows.push_back(data);
        }
        *row = new DataRow(data);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetColumns(IHubColumnList** columns) override {
        if (!columns)
            return E_POINTER;
        *columns = new ColumnList();
        return S_OK;
    }

  private:
    std::shared_ptr<Block> block_;
};

class Resource final : public Object<IDispatch> {
  public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
};

void AppendEscaped(std::wstring& out, const std::wstring& text) {
    for (wchar_t c : text) {
        switch (c) {
            case L'&':
                out += L"&amp;";
                break;
            case L'<':
                out += L"&lt;";
                break;
            case L'>':
                out += L"&gt;";
                break;
            case L'"':
                out += L"&quot;";
                break;
            default:
                out += c;
        }
    }
}

class Event final : public Object<IZorHubEvent> {
  public:
    HRESULT STDMETHODCALLTYPE SetEventGuid(BSTR id) override { return id ? S_OK : E_INVALIDARG; }
    HRESULT STDMETHODCALLTYPE GetDefaultResource(IDispatch** resource) override {
        if (!resource)
            return E_POINTER;
        *resource = new Resource();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddDataBlock(VARIANT name, VARIANT, IHubDataBlock** block) override {
        if (!block)
            return E_POINTER;
        if (name.vt != VT_BSTR)
            return DISP_E_TYPEMISMATCH;
        auto data = std::make_shared<Block>();
        data->dataClass.assign(name.bstrVal ? name.bstrVal : L"", SysStringLen(name.bstrVal));
        {
            std::lock_guard<std::mutex> hold(g_lock);
            blocks_.push_back(data);
        }
        *block = new DataBlock(data);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetXml(BSTR* xml) override {
        if (!xml)
            return E_POINTER;
        std::wstring text = L"<event option=\"0\">\n";
        {
            std::lock_guard<std::mutex> hold(g_lock);
            for (const auto& block : blocks_) {
                text += L"<resource name=\"Default\" dataclass=\"";
                AppendEscaped(text, block->dataClass);
                text += L"\">\n";
                for (const auto& row : block->rows) {
                    text += L"<row>";
                    for (const auto& [column, value] : *row) {
                        text += L"<value column=\"" + std::to_wstring(column) + L"\">";
                        AppendEscaped(text, value);
                        text += L"</value>";
                    }
                    text += L"</row>\n";
                }
                text += L"</resource>\n";
            }
        }
        text += L"</event>";
        *xml = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *xml ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE SetEventOption(LONG) override { return S_OK; }

  private:
    std::vector<std::shared_ptr<Block>> blocks_;
};

class Factory final : public Object<IClassFactory> {
  public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        Event* event = new Event();
        const HRESULT hr = event->QueryInterface(riid, ppv);
        event->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

}  // namespace

DWORD RegisterStandInEvent() {
    Factory* factory = new Factory();
    DWORD cookie = 0;
    const HRESULT hr = CoRegisterClassObject(CLSID_ZorHubEvent, factory, CLSCTX_INPROC_SERVER,
                                             REGCLS_MULTIPLEUSE, &cookie);
    factory->Release();
    return SUCCEEDED(hr) ? cookie : 0;
}
