// Activation keeps what the registry said of a class while the registry is unchanged: every
// change, made by this process or another, is seen by the next activation.
#include <gtest/gtest.h>

#include "com_test_support.h"
#include "kvtest/test_env.h"
#include "kvwin/registry_store.h"

namespace {

using comtest::RegisterTestServer;
using comtest::ScopedApartment;
using comtest::TestServerPath;

const std::u16string kServerKey =
    u"CLSID\\" + kvwin::GuidToText(kClsidTestCounter) + u"\\InprocServer32";

HRESULT Activate() {
    IUnknown* object = nullptr;
    const HRESULT hr =
        CoCreateInstance(kClsidTestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object));
    if (object)
        object->Release();
    return hr;
}

HRESULT ClassOfProgId(const char16_t* name) {
    CLSID clsid{};
    return CLSIDFromProgID(name, &clsid);
}

// Runs `body` in a forked child: a process of its own with its own registry connections.
void InAnotherProcess(const std::function<void()>& body) {
    const kvtest::ChildResult child = kvtest::RunInChild([&] {
        body();
        if (::testing::Test::HasFailure())
            ::_exit(1);
    });
    ASSERT_TRUE(child.exited && child.exit_code == 0) << child.output;
}

TEST(ActivationCache, RegistrationsChangedByAnotherProcessAreSeenByTheNextCall) {
    ScopedApartment apartment;
    EXPECT_EQ(Activate(), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(ClassOfProgId(u"KvTest.Counter"), CO_E_CLASSSTRING);
    EXPECT_EQ(Activate(), REGDB_E_CLASSNOTREG) << "asked twice, still unregistered";

    InAnotherProcess([] { RegisterTestServer(TestServerPath()); });
    EXPECT_EQ(Activate(), S_OK);
    EXPECT_EQ(ClassOfProgId(u"KvTest.Counter"), S_OK);

    // Pointed at a module that is not there, then unregistered by an empty server name.
    InAnotherProcess([] { kvtest::SetClassesRootDefault(kServerKey, u"/nonexistent/Kv.dll"); });
    EXPECT_EQ(Activate(), HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
    InAnotherProcess([] { kvtest::SetClassesRootDefault(kServerKey, u""); });
    EXPECT_EQ(Activate(), REGDB_E_CLASSNOTREG);
    InAnotherProcess(
        [] { EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"KvTest.Counter"), ERROR_SUCCESS); });
    EXPECT_EQ(ClassOfProgId(u"KvTest.Counter"), CO_E_CLASSSTRING);
    EXPECT_EQ(ClassOfProgId(u"KvTest.Counter.1"), S_OK) << "only the deleted name went";
}

TEST(ActivationCache, ThisProcessesOwnChangesAndAnotherStateRootAreSeenAtOnce) {
    ScopedApartment apartment;
    RegisterTestServer(TestServerPath());
    EXPECT_EQ(Activate(), S_OK);
    kvtest::SetClassesRootDefault(kServerKey, u"");
    EXPECT_EQ(Activate(), REGDB_E_CLASSNOTREG);
    kvtest::SetClassesRootDefault(kServerKey, TestServerPath());
    EXPECT_EQ(Activate(), S_OK);
    {
        kvtest::ScopedStateRoot other;  // another machine's registry
        EXPECT_EQ(Activate(), REGDB_E_CLASSNOTREG);
    }
    EXPECT_EQ(Activate(), S_OK);
}

TEST(ActivationCache, TheHiveStampMovesWithEveryCommittedChangeAndOnlyThen) {
    using kvwin::registry::Hive;
    using kvwin::registry::HiveChangeStamp;
    uint64_t first = 0, again = 0, after = 0, afterChild = 0;
    ASSERT_EQ(HiveChangeStamp(Hive::Machine, first), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(HiveChangeStamp(Hive::Machine, again), ERROR_SUCCESS);
    EXPECT_EQ(again, first) << "reads change nothing";

    kvtest::SetClassesRootDefault(u"KvStamp", u"one");
    ASSERT_EQ(HiveChangeStamp(Hive::Machine, after), ERROR_SUCCESS);
    EXPECT_NE(after, first);
    InAnotherProcess([] { kvtest::SetClassesRootDefault(u"KvStamp", u"two"); });
    ASSERT_EQ(HiveChangeStamp(Hive::Machine, afterChild), ERROR_SUCCESS);
    EXPECT_NE(afterChild, after);
}

}  // namespace
