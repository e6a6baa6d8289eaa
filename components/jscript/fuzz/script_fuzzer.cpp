// Arbitrary text as a JScript program: compiling and running it must never crash, leak or
// recurse without bound. A program that is still running after a short budget is stopped
// with InterruptScriptThread from another thread, as the library's time limit does.
//
// The input's bytes are read as UTF-8 (invalid sequences included), so the corpus holds
// plain script texts. The site names no items: a script reaches only the engine itself and
// the objects it can create.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "kvwin/com_object.h"
#include "kvwin/utf.h"
#include "win/activscp.h"
#include "win/com.h"
#include "win/oleauto.h"

namespace {

constexpr auto kBudget = std::chrono::milliseconds(100);

class QuietSite final : public kvwin::ComObject<IActiveScriptSite> {
  public:
    STDMETHODIMP GetLCID(LCID*) override { return E_NOTIMPL; }
    STDMETHODIMP GetItemInfo(LPCOLESTR, DWORD, IUnknown** unk, ITypeInfo** info) override {
        if (unk)
            *unk = nullptr;
        if (info)
            *info = nullptr;
        return TYPE_E_ELEMENTNOTFOUND;
    }
    STDMETHODIMP GetDocVersionString(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    STDMETHODIMP OnStateChange(SCRIPTSTATE) override { return S_OK; }
    STDMETHODIMP OnScriptError(IActiveScriptError*) override { return S_OK; }
    STDMETHODIMP OnEnterScript() override { return S_OK; }
    STDMETHODIMP OnLeaveScript() override { return S_OK; }
};

// Interrupts the engine when the budget runs out before the run ends.
class Watchdog {
  public:
    explicit Watchdog(IActiveScript* engine) : engine_(engine) {
        thread_ = std::thread([this] {
            std::unique_lock<std::mutex> hold(lock_);
            if (!done_.wait_for(hold, kBudget, [this] { return finished_; }))
                engine_->InterruptScriptThread(SCRIPTTHREADID_ALL, nullptr, 0);
        });
    }
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> hold(lock_);
            finished_ = true;
        }
        done_.notify_all();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

  private:
    IActiveScript* engine_;
    std::mutex lock_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const HRESULT apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    (void)apartment;
    const std::u16string text =
        kvwin::FromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
    IActiveScript* engine = nullptr;
    if (FAILED(CoCreateInstance(CLSID_JScript, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript,
                                reinterpret_cast<void**>(&engine))))
        std::abort();  // the engine must be there
    IActiveScriptParse64* parse = nullptr;
    if (FAILED(engine->QueryInterface(IID_IActiveScriptParse64, reinterpret_cast<void**>(&parse))))
        std::abort();
    QuietSite* site = new QuietSite();
    engine->SetScriptSite(site);
    site->Release();
    parse->InitNew();
    {
        Watchdog watchdog(engine);
        engine->SetScriptState(SCRIPTSTATE_CONNECTED);
        parse->ParseScriptText(text.c_str(), nullptr, nullptr, nullptr, 0, 0, 0, nullptr, nullptr);
    }
    engine->Close();
    parse->Release();
    engine->Release();
    return 0;
}
