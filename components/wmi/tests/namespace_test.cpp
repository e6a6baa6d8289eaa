// Connecting: the forms of a namespace path, its errors, the module's activation and
// unloading, and the proxy blanket.
#include "kvwin/com_runtime.h"
#include "service/namespace_path.h"
#include "win/sysinfo.h"
#include "wmi_test_support.h"

namespace {

using namespace wmitest;

TEST(WmiNamespace, PathFormsAndTheirErrors) {
    ScopedApartment apartment;
    std::u16string own = kvwmi::LocalServerName();
    struct Case {
        std::u16string path;
        HRESULT expected;
    };
    const Case cases[] = {
        {u"\\\\.\\root\\cimv2", S_OK},
        {u"\\\\.\\ROOT\\CIMV2", S_OK},
        {u"root\\cimv2", S_OK},
        {u"root\\default", S_OK},
        {u"//./root/cimv2", S_OK},
        {u"\\\\.\\root\\cimv2\\", S_OK},
        {u"\\\\localhost\\root\\default", S_OK},
        {u"\\\\LOCALHOST/root/cimv2", S_OK},
        {u"\\\\" + own + u"\\root\\cimv2", S_OK},
        {u"\\\\.\\root\\kavrel\\test", S_OK},  // a namespace a registered class declares
        {u"\\\\.\\root\\nothing", WBEM_E_INVALID_NAMESPACE},
        {u"\\\\.\\root", WBEM_E_INVALID_NAMESPACE},
        {u"\\\\.\\", WBEM_E_INVALID_NAMESPACE},
        {u"\\\\.", WBEM_E_INVALID_NAMESPACE},
        {u"", WBEM_E_INVALID_NAMESPACE},
        {u"root\\\\cimv2", WBEM_E_INVALID_NAMESPACE},
        {u"\\\\\\root\\cimv2", WBEM_E_INVALID_NAMESPACE},
        {u"\\\\.\\root\\kavrel\\fixtures\\none", WBEM_E_INVALID_NAMESPACE},
        {u"\\\\faraway-host\\root\\cimv2", WBEM_E_TRANSPORT_FAILURE},
        {u"//faraway-host/root/nothing", WBEM_E_TRANSPORT_FAILURE},
    };
    IWbemLocatorPtr locator = LinkedLocator();
    for (const Case& c : cases) {
        IWbemServicesPtr services;
        EXPECT_EQ(Connect(locator, c.path, services), c.expected) << Narrow(c.path);
        EXPECT_EQ(services != nullptr, SUCCEEDED(c.expected)) << Narrow(c.path);
    }
}

TEST(WmiNamespace, ArgumentsAndCredentials) {
    ScopedApartment apartment;
    IWbemLocatorPtr locator = LinkedLocator();
    IWbemServices* services = reinterpret_cast<IWbemServices*>(0x1);
    EXPECT_EQ(
        locator->ConnectServer(nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services),
        WBEM_E_INVALID_PARAMETER);
    EXPECT_EQ(services, nullptr);
    EXPECT_EQ(locator->ConnectServer(Bstr(u"root\\cimv2"), nullptr, nullptr, nullptr, 0, nullptr,
                                     nullptr, nullptr),
              WBEM_E_INVALID_PARAMETER);
    // Credentials on a local connection are refused, as WMI refuses them; an empty user
    // name is no credential.
    EXPECT_EQ(locator->ConnectServer(Bstr(u"root\\cimv2"), Bstr(u"admin"), Bstr(u"secret"), nullptr,
                                     0, nullptr, nullptr, &services),
              WBEM_E_LOCAL_CREDENTIALS);
    EXPECT_EQ(locator->ConnectServer(Bstr(u"root\\cimv2"), Bstr(u""), nullptr, nullptr, 0, nullptr,
                                     nullptr, &services),
              S_OK);
    services->Release();
}

TEST(WmiNamespace, TheNamespaceNameAppearsInPaths) {
    ScopedApartment apartment;
    IWbemServicesPtr services = ConnectLinked(u"//./root/cimv2");
    std::vector<IWbemClassObjectPtr> objects;
    ASSERT_EQ(Query(services, u"SELECT Name FROM Kv_TestTypes WHERE Name = 'alpha'", objects),
              S_OK);
    ASSERT_EQ(objects.size(), 1u);
    std::string server = Narrow(kvwmi::LocalServerName());
    EXPECT_EQ(GetText(objects[0], u"__NAMESPACE"), "bstr:root\\cimv2");
    EXPECT_EQ(GetText(objects[0], u"__SERVER"), "bstr:" + server);
    EXPECT_EQ(GetText(objects[0], u"__PATH"),
              "bstr:\\\\" + server + "\\root\\cimv2:Kv_TestTypes.Name=\"alpha\"");
}

TEST(WmiNamespace, TheModuleIsActivatedByItsClassAndUnloadsWhenUnused) {
    ScopedApartment apartment;
    size_t before = kvwin::LoadedServerModuleCount();
    {
        IWbemLocator* locator = nullptr;
        ASSERT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_ALL, IID_IWbemLocator,
                                   reinterpret_cast<void**>(&locator)),
                  S_OK);
        IWbemLocatorPtr holder(locator, false);
        IWbemServicesPtr services;
        ASSERT_EQ(Connect(locator, u"\\\\.\\root\\cimv2", services), S_OK);
        EXPECT_EQ(CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                    RPC_C_AUTHN_LEVEL_DEFAULT, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                                    EOAC_NONE),
                  S_OK);
        EXPECT_EQ(CoSetProxyBlanket(nullptr, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                    RPC_C_AUTHN_LEVEL_DEFAULT, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                                    EOAC_NONE),
                  E_INVALIDARG);
        // The module has its own class table: the test program's classes are not in it.
        std::vector<IWbemClassObjectPtr> objects;
        EXPECT_EQ(Query(services, u"SELECT * FROM Kv_TestTypes", objects), WBEM_E_INVALID_CLASS);
        EXPECT_EQ(kvwin::LoadedServerModuleCount(), before + 1);
        // Still in use: the module stays.
        CoFreeUnusedLibraries();
        EXPECT_EQ(kvwin::LoadedServerModuleCount(), before + 1);
    }
    CoFreeUnusedLibraries();
    EXPECT_EQ(kvwin::LoadedServerModuleCount(), before);
}

}  // namespace
