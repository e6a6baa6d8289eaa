// The Windows smoke test of kavrel.dll, run under Wine by scripts/windows-smoke.sh.
//
// It loads the DLL as a host does, runs one WMI query document through
// GetInventoryInformationInternal against the system's own WMI service and XML DOM, reads
// back the agent log record the query wrote and unloads the DLL. It prints what it checked
// and exits 0 when everything held, 1 otherwise.
//
// Wine keeps an asynchronous query's sink until the call is cancelled or the service object
// goes away, where Windows releases it once the query has completed; the library's engine
// waits without limit for that release. The test therefore wraps the sink Wine is handed and
// cancels the finished call itself, in the test, never in the library. The agent's event
// class, which the library fills with the rows, is served by a stand-in registered here.
#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <string>

#include "stand_in_event.h"

namespace {

int g_failures = 0;

void Check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    std::fflush(stdout);
    if (!ok)
        ++g_failures;
}

using Export = HRESULT(__cdecl*)(const wchar_t*, BSTR*);
using ExecQueryAsyncFn = HRESULT(STDMETHODCALLTYPE*)(IWbemServices*, BSTR, BSTR, LONG,
                                                     IWbemContext*, IWbemObjectSink*);
using CancelAsyncCallFn = HRESULT(STDMETHODCALLTYPE*)(IWbemServices*, IWbemObjectSink*);

ExecQueryAsyncFn g_execQueryAsync = nullptr;
CancelAsyncCallFn g_cancelAsyncCall = nullptr;

struct CancelRequest {
    IWbemServices* services;
    IWbemObjectSink* sink;
};

DWORD WINAPI CancelFinishedCall(void* param) {
    auto* request = static_cast<CancelRequest*>(param);
    g_cancelAsyncCall(request->services, request->sink);
    request->services->Release();
    delete request;
    return 0;
}

// Passes everything through to the library's sink; once the call's status has arrived it
// cancels the finished call from another thread, so Wine lets go of the sink.
class ForwardingSink final : public IWbemObjectSink {
  public:
    ForwardingSink(IWbemObjectSink* inner, IWbemServices* services)
        : inner_(inner), services_(services) {
        inner_->AddRef();
        services_->AddRef();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IWbemObjectSink) {
            *ppv = static_cast<IWbemObjectSink*>(this);
            AddRef();
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
    HRESULT STDMETHODCALLTYPE Indicate(LONG count, IWbemClassObject** objects) override {
        return inner_->Indicate(count, objects);
    }
    HRESULT STDMETHODCALLTYPE SetStatus(LONG flags, HRESULT result, BSTR param,
                                        IWbemClassObject* status) override {
        const HRESULT hr = inner_->SetStatus(flags, result, param, status);
        if (flags == WBEM_STATUS_COMPLETE && !cancelled_.exchange(true)) {
            services_->AddRef();
            auto* request = new CancelRequest{services_, this};
            HANDLE thread = CreateThread(nullptr, 0, CancelFinishedCall, request, 0, nullptr);
            if (thread) {
                CloseHandle(thread);
            } else {
                services_->Release();
                delete request;
            }
        }
        return hr;
    }

  private:
    ~ForwardingSink() {
        inner_->Release();
        services_->Release();
    }

    std::atomic<ULONG> refs_{1};
    std::atomic<bool> cancelled_{false};
    IWbemObjectSink* inner_;
    IWbemServices* services_;
};

HRESULT STDMETHODCALLTYPE WrappedExecQueryAsync(IWbemServices* self, BSTR language, BSTR query,
                                                LONG flags, IWbemContext* context,
                                                IWbemObjectSink* sink) {
    if (!sink)
        return g_execQueryAsync(self, language, query, flags, context, sink);
    auto* forwarding = new ForwardingSink(sink, self);
    const HRESULT hr = g_execQueryAsync(self, language, query, flags, context, forwarding);
    forwarding->Release();
    return hr;
}

// IWbemServices' methods in declaration order: IUnknown's three, OpenNamespace,
// CancelAsyncCall (4), ..., ExecQuery (20), ExecQueryAsync (21).
constexpr size_t kCancelAsyncCallSlot = 4;
constexpr size_t kExecQueryAsyncSlot = 21;

// Every service object of Wine's WMI shares one table of methods; its ExecQueryAsync entry
// is pointed at the wrapper above.
bool WrapWineQueries() {
    IWbemLocator* locator = nullptr;
    if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                reinterpret_cast<void**>(&locator)))) {
        return false;
    }
    IWbemServices* services = nullptr;
    BSTR path = SysAllocString(L"root\\cimv2");
    const HRESULT hr =
        locator->ConnectServer(path, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services);
    SysFreeString(path);
    locator->Release();
    if (FAILED(hr) || !services)
        return false;
    void** table = *reinterpret_cast<void***>(services);
    void** execSlot = &table[kExecQueryAsyncSlot];
    void** cancelSlot = &table[kCancelAsyncCallSlot];
    g_cancelAsyncCall = reinterpret_cast<CancelAsyncCallFn>(*cancelSlot);
    DWORD old = 0;
    bool ok = false;
    if (VirtualProtect(execSlot, sizeof(void*), PAGE_READWRITE, &old)) {
        g_execQueryAsync = reinterpret_cast<ExecQueryAsyncFn>(*execSlot);
        *execSlot = reinterpret_cast<void*>(&WrappedExecQueryAsync);
        VirtualProtect(execSlot, sizeof(void*), old, &old);
        ok = true;
    }
    services->Release();
    return ok;
}

std::wstring AgentLogPath() {
    wchar_t data[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"ProgramData", data, MAX_PATH))
        wcscpy(data, L"C:\\ProgramData");
    return std::wstring(data) + L"\\Norvale\\Norvale Agent\\Logs\\Agent.log";
}

std::string ReadWholeFile(const std::wstring& path) {
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

constexpr wchar_t kQuery[] =
    L"<query namespace=\"root\\cimv2\" class=\"Win32_Processor\">"
    L"<properties><property mapsTo=\"0\">DeviceID</property>"
    L"<property mapsTo=\"1\">Name</property></properties></query>";

}  // namespace

int main() {
    // Every level into the agent log for this process, so the query leaves its records.
    SetEnvironmentVariableW(L"Zor_{32865580-A882-48ef-9C9E-81CFA48FB3C1}", L"0000003F");
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    Check(SUCCEEDED(init), "COM initialised (multithreaded apartment)");
    Check(WrapWineQueries(), "Wine's query sink hand-back wrapped");
    const DWORD eventClass = RegisterStandInEvent();
    Check(eventClass != 0, "the stand-in event class registered");

    HMODULE library = LoadLibraryW(L"kavrel.dll");
    Check(library != nullptr, "LoadLibraryW(kavrel.dll)");
    if (!library)
        return 1;
    auto internal = reinterpret_cast<Export>(
        reinterpret_cast<void*>(GetProcAddress(library, "GetInventoryInformationInternal")));
    auto normal = reinterpret_cast<Export>(
        reinterpret_cast<void*>(GetProcAddress(library, "GetInventoryInformation")));
    Check(internal && normal, "both exports found");
    if (!internal || !normal)
        return 1;

    BSTR result = nullptr;
    Check(internal(nullptr, &result) == E_POINTER && !result, "a null document gives E_POINTER");

    const std::wstring logPath = AgentLogPath();
    const size_t logBefore = ReadWholeFile(logPath).size();

    const HRESULT hr = internal(kQuery, &result);
    char status[64];
    std::snprintf(status, sizeof(status), "Win32_Processor query succeeded (0x%08lX)",
                  static_cast<unsigned long>(hr));
    Check(SUCCEEDED(hr) && result, status);
    if (result) {
        const std::wstring text(result, SysStringLen(result));
        std::printf("result: %ls\n", text.c_str());
        Check(text.find(L"<row") != std::wstring::npos, "the result holds at least one row");
        Check(text.find(L"column=\"1\"") != std::wstring::npos, "the row holds the Name column");
        SysFreeString(result);
    }

    const std::string log = ReadWholeFile(logPath);
    std::printf("agent log %ls: %zu bytes\n", logPath.c_str(), log.size());
    Check(log.size() > logBefore, "the query wrote agent log records");
    if (log.size() > logBefore)
        std::printf("%s\n", log.substr(logBefore, 2000).c_str());

    Check(FreeLibrary(library) != FALSE, "FreeLibrary ran the unload steps");
    if (eventClass)
        CoRevokeClassObject(eventClass);
    CoUninitialize();
    std::printf("%s\n", g_failures == 0 ? "smoke test passed" : "smoke test FAILED");
    return g_failures == 0 ? 0 : 1;
}
