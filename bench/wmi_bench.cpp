// The cost of delivering N objects of a fixture class through ExecQueryAsync (the road the
// library's WMI engine takes), beside the synchronous ExecQuery of the same objects
// measured in the same run. Each iteration connects once and runs the whole query: the
// file is read, the objects are made, filtered and handed over in batches of 32. Times are
// wall-clock times (the delivery runs on the service's thread, not the caller's).
//
//   build/bin/kavrel_wmi_bench
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>

#include "kvwin/utf.h"
#include "service/locator.h"
#include "win/environment.h"
#include "win/wbemcli.h"

namespace {

// Writes <folder>/items<N>.xml once per process and points the service at the folder.
std::u16string FixtureNamespace(int count) {
    static std::string folder = [] {
        char pattern[] = "/tmp/kavrel-wmi-bench-XXXXXX";
        std::string made = mkdtemp(pattern) ? pattern : "/tmp";
        SetEnvironmentVariableW(u"KAVREL_WMI_FIXTURES", kvwin::FromUtf8(made).c_str());
        return made;
    }();
    std::string name = "items" + std::to_string(count);
    std::ofstream file(folder + "/" + name + ".xml");
    file << "<fixture><class name='Kv_Item'><property name='Id' type='uint32' key='true'/>"
            "<property name='Label' type='string'/><property name='Size' type='uint64'/>";
    for (int i = 0; i < count; ++i)
        file << "<instance><value name='Id'>" << i << "</value><value name='Label'>item " << i
             << "</value><value name='Size'>" << i * 4096ull << "</value></instance>";
    file << "</class></fixture>";
    return u"root\\kavrel\\fixtures\\" + kvwin::FromUtf8(name);
}

IWbemServices* Connect(const std::u16string& ns) {
    IWbemLocator* locator = nullptr;
    kvwmi::CreateLocator(nullptr, IID_IWbemLocator, reinterpret_cast<void**>(&locator));
    BSTR path = SysAllocString(ns.c_str());
    IWbemServices* services = nullptr;
    locator->ConnectServer(path, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services);
    SysFreeString(path);
    locator->Release();
    return services;
}

// Counts what arrives and wakes the caller when the service lets go of it.
class CountingSink final : public IWbemObjectSink {
  public:
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        std::lock_guard lock(mutex_);
        return ++refs_;
    }
    STDMETHODIMP_(ULONG) Release() override {
        std::lock_guard lock(mutex_);
        if (--refs_ == 1)
            released_.notify_all();
        return refs_;
    }
    STDMETHODIMP Indicate(long count, IWbemClassObject** objects) override {
        for (long i = 0; i < count; ++i) {
            VARIANT value;
            VariantInit(&value);
            objects[i]->Get(u"Size", 0, &value, nullptr, nullptr);
            VariantClear(&value);
        }
        received_ += count;
        return WBEM_S_NO_ERROR;
    }
    STDMETHODIMP SetStatus(long, HRESULT, BSTR, IWbemClassObject*) override {
        return WBEM_S_NO_ERROR;
    }
    void WaitReleased() {
        std::unique_lock lock(mutex_);
        released_.wait(lock, [&] { return refs_ == 1; });
    }
    long received() const { return received_; }

  private:
    std::mutex mutex_;
    std::condition_variable released_;
    ULONG refs_ = 1;
    long received_ = 0;
};

void BM_ExecQueryAsync(benchmark::State& state) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    std::u16string ns = FixtureNamespace(int(state.range(0)));
    BSTR wql = SysAllocString(u"WQL");
    BSTR query = SysAllocString(u"SELECT Id, Size FROM Kv_Item WHERE Id >= 0");
    for (auto _ : state) {
        IWbemServices* services = Connect(ns);
        CountingSink sink;
        services->ExecQueryAsync(wql, query, 0, nullptr, &sink);
        sink.WaitReleased();
        services->Release();
        if (sink.received() != state.range(0))
            state.SkipWithError("objects were lost");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    SysFreeString(query);
    SysFreeString(wql);
    CoUninitialize();
}
BENCHMARK(BM_ExecQueryAsync)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_ExecQuerySynchronousBaseline(benchmark::State& state) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    std::u16string ns = FixtureNamespace(int(state.range(0)));
    BSTR wql = SysAllocString(u"WQL");
    BSTR query = SysAllocString(u"SELECT Id, Size FROM Kv_Item WHERE Id >= 0");
    for (auto _ : state) {
        IWbemServices* services = Connect(ns);
        IEnumWbemClassObject* enumerator = nullptr;
        services->ExecQuery(wql, query, WBEM_FLAG_FORWARD_ONLY, nullptr, &enumerator);
        long received = 0;
        IWbemClassObject* objects[32];
        ULONG returned = 0;
        while (enumerator->Next(long(WBEM_INFINITE), 32, objects, &returned) == WBEM_S_NO_ERROR ||
               returned > 0) {
            for (ULONG i = 0; i < returned; ++i) {
                VARIANT value;
                VariantInit(&value);
                objects[i]->Get(u"Size", 0, &value, nullptr, nullptr);
                VariantClear(&value);
                objects[i]->Release();
            }
            received += long(returned);
            returned = 0;
        }
        enumerator->Release();
        services->Release();
        if (received != state.range(0))
            state.SkipWithError("objects were lost");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    SysFreeString(query);
    SysFreeString(wql);
    CoUninitialize();
}
BENCHMARK(BM_ExecQuerySynchronousBaseline)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
