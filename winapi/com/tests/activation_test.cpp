// Activation of the test server module through the registry, class names, and apartments.
#include <gtest/gtest.h>

#include <thread>

#include "com_test_support.h"
#include "kvwin/com_runtime.h"
#include "win/comdef.h"

_COM_SMARTPTR_TYPEDEF(ITestCounter, __uuidof(ITestCounter));

namespace {

using comtest::RegisterTestServer;
using comtest::ScopedApartment;
using comtest::TestServerPath;

constexpr CLSID kUnregistered = kvwin::GuidFromLiteral("0B5D7E2A-1C3F-4A6B-8D9E-F0A1B2C3D4E5");

LONG Increment(ITestCounter* counter) {
    LONG value = 0;
    EXPECT_EQ(counter->Increment(&value), S_OK);
    return value;
}

TEST(Activation, ByClsidAndByProgIdThroughTheRegistry) {
    ScopedApartment apartment;
    RegisterTestServer(TestServerPath());

    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(u"KvTest.Counter.1", &clsid), S_OK);
    EXPECT_TRUE(clsid == kClsidTestCounter);
    clsid = GUID_NULL;
    EXPECT_EQ(CLSIDFromProgID(u"kvtest.COUNTER", &clsid), S_OK);  // CurVer, any case
    EXPECT_TRUE(clsid == kClsidTestCounter);
    LPOLESTR prog_id = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(kClsidTestCounter, &prog_id), S_OK);
    EXPECT_EQ(comtest::Text(prog_id), u"KvTest.Counter.1");
    CoTaskMemFree(prog_id);

    ITestCounter* direct = nullptr;
    ASSERT_EQ(
        CoCreateInstance(kClsidTestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&direct)),
        S_OK);
    ASSERT_NE(direct, nullptr);
    EXPECT_EQ(Increment(direct), 1);
    EXPECT_EQ(Increment(direct), 2);

    // Each creation is a new object; the text forms all name the same class.
    ITestCounterPtr by_prog_id, by_text, by_ansi;
    EXPECT_EQ(by_prog_id.CreateInstance(u"KvTest.Counter"), S_OK);
    EXPECT_EQ(by_text.CreateInstance(kvwin::GuidToText(kClsidTestCounter).c_str()), S_OK);
    EXPECT_EQ(by_ansi.CreateInstance("KvTest.Counter.1", nullptr, CLSCTX_INPROC_SERVER), S_OK);
    EXPECT_EQ(Increment(by_prog_id), 1);
    EXPECT_EQ(Increment(by_text), 1);
    EXPECT_EQ(Increment(by_ansi), 1);
    EXPECT_FALSE(by_prog_id == direct);

    // The module stays loaded while its objects live, and goes once they are all released.
    EXPECT_EQ(kvwin::LoadedServerModuleCount(), 1u);
    direct->Release();
    by_prog_id = nullptr;
    by_text = nullptr;
    CoFreeUnusedLibraries();
    EXPECT_EQ(kvwin::LoadedServerModuleCount(), 1u);
    by_ansi = nullptr;
    CoFreeUnusedLibraries();
    EXPECT_EQ(kvwin::LoadedServerModuleCount(), 0u);

    // And it loads again on the next activation.
    ITestCounterPtr again(kClsidTestCounter);
    EXPECT_EQ(Increment(again), 1);
}

TEST(Activation, ServerLockKeepsTheModuleLoaded) {
    ScopedApartment apartment;
    RegisterTestServer(TestServerPath());
    IClassFactory* factory = nullptr;
    ASSERT_EQ(
        CoGetClassObject(kClsidTestCounter, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&factory)),
        S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    CoFreeUnusedLibraries();
    EXPECT_EQ(kvwin::LoadedServerModuleCount(), 1u);

    ASSERT_EQ(
        CoGetClassObject(kClsidTestCounter, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&factory)),
        S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory->Release();
    CoFreeUnusedLibraries();
    EXPECT_EQ(kvwin::LoadedServerModuleCount(), 0u);
}

TEST(Activation, WindowsModuleNameFindsTheSharedObjectBesideTheLayer) {
    ScopedApartment apartment;
    RegisterTestServer(u"KvComTestServer.dll");
    ITestCounterPtr counter;
    ASSERT_EQ(counter.CreateInstance(kClsidTestCounter), S_OK);
    EXPECT_EQ(Increment(counter), 1);

    // A name already found is not trusted beyond its module's life: once unloaded, the next
    // activation finds and loads the file again, and another name is looked for afresh.
    counter = nullptr;
    CoFreeUnusedLibraries();
    ASSERT_EQ(kvwin::LoadedServerModuleCount(), 0u);
    ASSERT_EQ(counter.CreateInstance(kClsidTestCounter), S_OK);
    EXPECT_EQ(kvwin::LoadedServerModuleCount(), 1u);
    counter = nullptr;
    RegisterTestServer(u"KvComTestServerGone.dll");
    EXPECT_EQ(counter.CreateInstance(kClsidTestCounter), HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
    RegisterTestServer(u"libKvComTestServer.so");
    ASSERT_EQ(counter.CreateInstance(kClsidTestCounter), S_OK);
    EXPECT_EQ(kvwin::LoadedServerModuleCount(), 1u) << "both names are the one module";
}

TEST(Activation, UnregisteredClassesAndUnknownNames) {
    ScopedApartment apartment;
    RegisterTestServer(TestServerPath());

    void* out = &out;  // must be cleared on failure
    EXPECT_EQ(CoCreateInstance(kUnregistered, nullptr, CLSCTX_ALL, IID_IUnknown, &out),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(out, nullptr);
    // Only in-process servers exist.
    out = &out;
    EXPECT_EQ(CoCreateInstance(kClsidTestCounter, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &out),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(out, nullptr);
    // The class is there but does not have the interface.
    out = &out;
    EXPECT_EQ(
        CoCreateInstance(kClsidTestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, &out),
        E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);

    CLSID clsid = kClsidTestCounter;
    EXPECT_EQ(CLSIDFromProgID(u"KvTest.NoSuchThing", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromString(u"KvTest.NoSuchThing", &clsid), REGDB_E_WRITEREGDB);
    LPOLESTR prog_id = nullptr;
    EXPECT_EQ(ProgIDFromCLSID(kUnregistered, &prog_id), REGDB_E_CLASSNOTREG);

    // The smart pointer lets go of what it held and returns the failure.
    ITestCounterPtr counter(kClsidTestCounter);
    ASSERT_TRUE(counter);
    EXPECT_EQ(counter.CreateInstance(kUnregistered), REGDB_E_CLASSNOTREG);
    EXPECT_TRUE(counter == nullptr);
    EXPECT_EQ(counter.CreateInstance(u"KvTest.NoSuchThing"), CO_E_CLASSSTRING);
    EXPECT_EQ(counter.CreateInstance(u"{not a guid}"), CO_E_CLASSSTRING);
    EXPECT_EQ(counter.CreateInstance(static_cast<LPCWSTR>(nullptr)), E_INVALIDARG);

    // Its creating constructors raise the failure instead.
    try {
        ITestCounterPtr never(kUnregistered);
        ADD_FAILURE() << "no error raised";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), REGDB_E_CLASSNOTREG);
        EXPECT_EQ(comtest::Text(e.ErrorMessage()), u"The class is not registered.");
    }
    try {
        ITestCounterPtr never(u"KvTest.NoSuchThing");
        ADD_FAILURE() << "no error raised";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), CO_E_CLASSSTRING);
    }

    // A registration that names a module that is not there.
    comtest::SetClassesRootDefault(
        u"CLSID\\" + kvwin::GuidToText(kClsidTestCounter) + u"\\InprocServer32",
        u"C:\\Program Files\\Nowhere\\Missing.dll");
    EXPECT_EQ(counter.CreateInstance(kClsidTestCounter), HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
}

TEST(Apartment, CountedPerThreadAndModelFixedUntilTheLastUninitialize) {
    IUnknown* out = nullptr;
    EXPECT_EQ(CoInitializeEx(nullptr, 0x100), E_INVALIDARG);
    EXPECT_EQ(CoInitializeEx(&out, COINIT_MULTITHREADED), E_INVALIDARG);
    EXPECT_FALSE(kvwin::ThreadHasApartment());

    EXPECT_EQ(CoInitialize(nullptr), S_OK);  // single-threaded
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);

    // Another thread has an apartment of its own, of either model.
    HRESULT other_first = E_FAIL, other_second = E_FAIL;
    std::thread other([&] {
        other_first = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        other_second = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        CoUninitialize();
        CoUninitialize();
    });
    other.join();
    EXPECT_EQ(other_first, S_OK);
    EXPECT_EQ(other_second, S_FALSE);

    // Two successes, two CoUninitialize calls; the refused call was not counted.
    CoUninitialize();
    EXPECT_TRUE(kvwin::ThreadHasApartment());
    CoUninitialize();
    EXPECT_FALSE(kvwin::ThreadHasApartment());
    EXPECT_EQ(CoCreateInstance(kUnregistered, nullptr, CLSCTX_ALL, IID_IUnknown,
                               reinterpret_cast<void**>(&out)),
              CO_E_NOTINITIALIZED);
    CoUninitialize();  // one too many: nothing happens

    // Once left, the thread may choose the other model.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), RPC_E_CHANGED_MODE);
    CoUninitialize();
    EXPECT_FALSE(kvwin::ThreadHasApartment());
}

}  // namespace
