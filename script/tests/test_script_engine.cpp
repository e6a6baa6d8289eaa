#include "test_script_engine.h"

#include <map>

#include "kvwin/com_runtime.h"
#include "kvwin/utf.h"
#include "kvwin/wide_string.h"
#include "win/kernel_objects.h"
#include "win/oleauto.h"

namespace {

std::mutex g_logLock;
TestEngineLog g_log;

template <class Change>
void Write(Change&& change) {
    std::lock_guard<std::mutex> lock(g_logLock);
    change(g_log);
}

void Record(std::string call) {
    Write([&](TestEngineLog& log) { log.calls.push_back(std::move(call)); });
}

std::string Narrow(const WCHAR* text) {
    return text ? kvwin::ToUtf8(WString(text)) : std::string("(null)");
}

// The functions a script text defines: name -> behaviour.
std::map<WString, WString> FunctionsOf(const WString& text) {
    std::map<WString, WString> functions;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(TEXT('\n'), start);
        if (end == WString::npos)
            end = text.size();
        const WString line = text.substr(start, end - start);
        const size_t equals = line.find(TEXT('='));
        // Lines of the VBScript helper blocks carry '=' too; only "Name=behaviour" lines
        // without blanks before the '=' count.
        if (equals != WString::npos && equals > 0 && line.find(TEXT(' ')) > equals &&
            line.find(TEXT('\t')) == WString::npos)
            functions.emplace(line.substr(0, equals), line.substr(equals + 1));
        start = end + 1;
    }
    return functions;
}

class TestEngine;

// The script's global object: one member per function line.
class ScriptDispatch final : public kvwin::ComObject<IDispatch> {
  public:
    explicit ScriptDispatch(TestEngine* engine);
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID riid, LCID lcid, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override;

  private:
    ~ScriptDispatch() override;
    TestEngine* engine_;
};

class TestEngine final : public kvwin::ComObject<IActiveScript, IActiveScriptParse64> {
  public:
    explicit TestEngine(const char* engineClass) {
        interrupt_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        Write([&](TestEngineLog& log) {
            ++log.live;
            log.engineClass = engineClass;
        });
    }

    // ---- IActiveScript
    HRESULT STDMETHODCALLTYPE SetScriptSite(IActiveScriptSite* site) override {
        IActiveScriptSite* asked = nullptr;
        const HRESULT hr =
            site->QueryInterface(IID_IActiveScriptSite, reinterpret_cast<void**>(&asked));
        Record("SetScriptSite " + std::to_string(hr == S_OK && asked == site));
        if (FAILED(hr))
            return hr;
        site_ = asked;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetScriptSite(REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetScriptState(SCRIPTSTATE state) override {
        Record("SetScriptState " + std::to_string(state));
        if (text_.find(TEXT("!connect-fails")) != WString::npos) {
            site_->OnScriptError(nullptr);
            return SCRIPT_E_REPORTED;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetScriptState(SCRIPTSTATE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Close() override {
        Record("Close");
        if (site_) {
            site_->Release();
            site_ = nullptr;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddNamedItem(LPCOLESTR name, DWORD flags) override {
        Record("AddNamedItem " + Narrow(name) + " " + std::to_string(flags));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddTypeLib(REFGUID, DWORD, DWORD, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetScriptDispatch(LPCOLESTR item, IDispatch** dispatch) override {
        Record("GetScriptDispatch " + Narrow(item));
        *dispatch = new ScriptDispatch(this);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCurrentScriptThreadID(SCRIPTTHREADID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetScriptThreadID(DWORD, SCRIPTTHREADID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetScriptThreadState(SCRIPTTHREADID, SCRIPTTHREADSTATE*) override {
        return E_NOTIMPL;
    }
    // From any thread; remembered, so a function that starts later stops at once.
    HRESULT STDMETHODCALLTYPE InterruptScriptThread(SCRIPTTHREADID thread,
                                                    const EXCEPINFO* exception,
                                                    DWORD flags) override {
        Write([&](TestEngineLog& log) {
            ++log.interrupts;
            log.calls.push_back("InterruptScriptThread " + std::to_string(thread) + " " +
                                std::to_string(exception != nullptr) + " " + std::to_string(flags));
        });
        SetEvent(interrupt_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IActiveScript**) override { return E_NOTIMPL; }

    // ---- IActiveScriptParse64
    HRESULT STDMETHODCALLTYPE InitNew() override {
        Record("InitNew");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddScriptlet(LPCOLESTR, LPCOLESTR, LPCOLESTR, LPCOLESTR, LPCOLESTR,
                                           LPCOLESTR, DWORDLONG, ULONG, DWORD, BSTR*,
                                           EXCEPINFO*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ParseScriptText(LPCOLESTR code, LPCOLESTR item, IUnknown* context,
                                              LPCOLESTR delimiter, DWORDLONG cookie, ULONG line,
                                              DWORD flags, VARIANT* result,
                                              EXCEPINFO* exception) override {
        Record("ParseScriptText " + Narrow(item) + " " + std::to_string(context != nullptr) + " " +
               std::to_string(delimiter != nullptr) + " " + std::to_string(cookie) + " " +
               std::to_string(line) + " " + std::to_string(flags) + " " +
               std::to_string(result != nullptr) + " " + std::to_string(exception != nullptr));
        text_ = code;
        Write([&](TestEngineLog& log) { log.parsedText = text_; });
        if (text_.find(TEXT("!parse-fails")) != WString::npos) {
            site_->OnScriptError(nullptr);
            return SCRIPT_E_REPORTED;
        }
        functions_ = FunctionsOf(text_);
        return S_OK;
    }

    const std::map<WString, WString>& functions() const { return functions_; }
    IActiveScriptSite* site() const { return site_; }
    HANDLE interruptEvent() const { return interrupt_; }

  private:
    ~TestEngine() override {
        if (site_)
            site_->Release();
        CloseHandle(interrupt_);
        Write([](TestEngineLog& log) { --log.live; });
    }

    IActiveScriptSite* site_ = nullptr;
    HANDLE interrupt_ = nullptr;
    WString text_;
    std::map<WString, WString> functions_;
};

ScriptDispatch::ScriptDispatch(TestEngine* engine) : engine_(engine) {
    engine_->AddRef();
}

ScriptDispatch::~ScriptDispatch() {
    engine_->Release();
}

HRESULT ScriptDispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) {
    Record("GetIDsOfNames " + Narrow(names[0]) + " " + std::to_string(count) + " " +
           std::to_string(lcid));
    DISPID id = 1;
    for (const auto& function : engine_->functions()) {
        if (function.first == names[0]) {
            ids[0] = id;
            return S_OK;
        }
        ++id;
    }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

HRESULT ScriptDispatch::Invoke(DISPID member, REFIID, LCID lcid, WORD flags, DISPPARAMS* params,
                               VARIANT* result, EXCEPINFO*, UINT*) {
    auto function = engine_->functions().begin();
    std::advance(function, member - 1);
    Record("Invoke " + kvwin::ToUtf8(function->first) + " " + std::to_string(lcid) + " " +
           std::to_string(flags) + " " + std::to_string(params->cArgs) + " " +
           std::to_string(params->cNamedArgs));
    const WString& behaviour = function->second;
    if (behaviour.rfind(TEXT("number "), 0) == 0) {
        V_VT(result) = VT_I4;
        V_I4(result) = std::stoi(kvwin::ToUtf8(behaviour.substr(7)));
    } else if (behaviour.rfind(TEXT("text "), 0) == 0) {
        V_VT(result) = VT_BSTR;
        V_BSTR(result) = SysAllocString(behaviour.substr(5).c_str());
    } else if (behaviour == TEXT("array")) {
        SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, 2);
        V_VT(result) = VT_ARRAY | VT_I4;
        V_ARRAY(result) = array;
    } else if (behaviour == TEXT("fails")) {
        engine_->site()->OnScriptError(nullptr);
        return SCRIPT_E_REPORTED;
    } else if (behaviour == TEXT("endless")) {
        HANDLE started = CreateEventW(nullptr, TRUE, FALSE, kTestScriptStartedEvent);
        SetEvent(started);
        WaitForSingleObject(engine_->interruptEvent(), INFINITE);
        CloseHandle(started);
        return SCRIPT_E_REPORTED;
    }
    return S_OK;
}

HRESULT CreateEngine(const char* engineClass, IUnknown* outer, REFIID riid, void** ppv) {
    *ppv = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    auto* engine = new TestEngine(engineClass);
    const HRESULT hr = engine->QueryInterface(riid, ppv);
    engine->Release();
    return hr;
}

HRESULT CreateJScript(IUnknown* outer, REFIID riid, void** ppv) {
    return CreateEngine("JScript", outer, riid, ppv);
}

HRESULT CreateVBScript(IUnknown* outer, REFIID riid, void** ppv) {
    return CreateEngine("VBScript", outer, riid, ppv);
}

}  // namespace

TestEngineLog ReadTestEngineLog() {
    std::lock_guard<std::mutex> lock(g_logLock);
    return g_log;
}

void ClearTestEngineLog() {
    std::lock_guard<std::mutex> lock(g_logLock);
    const int live = g_log.live;
    g_log = TestEngineLog{};
    g_log.live = live;
}

ScopedTestEngine::ScopedTestEngine() {
    kvwin::RegisterBuiltinClass({CLSID_JScript, TEXT(""), TEXT(""), CreateJScript, TEXT("")});
    kvwin::RegisterBuiltinClass({CLSID_VBScript, TEXT(""), TEXT(""), CreateVBScript, TEXT("")});
}

ScopedTestEngine::~ScopedTestEngine() {
    kvwin::UnregisterBuiltinClass(CLSID_JScript);
    kvwin::UnregisterBuiltinClass(CLSID_VBScript);
}
