// Fixture namespaces: values of every kind from the file, injected Get failures, repeats,
// refused connections, bad files and the registry's folder.
#include "fixture_support.h"
#include "test_sink.h"
#include "win/registry.h"
#include "wmi_test_support.h"

namespace {

using namespace wmitest;

const char* const kDisks = R"(<fixture>
  <class name="Kv_Disk">
    <property name="Name" type="string" key="true"/>
    <property name="Size" type="uint64"/>
    <property name="Sectors" type="uint32"/>
    <property name="Offset" type="sint8"/>
    <property name="Ratio" type="real32"/>
    <property name="Removable" type="boolean"/>
    <property name="Installed" type="datetime"/>
    <property name="Paths" type="string[]"/>
    <property name="Flags" type="uint32[]"/>
    <property name="Serials" type="uint64[]"/>
    <instance>
      <value name="Name">disk0</value>
      <value name="Size">18446744073709551615</value>
      <value name="Sectors">0xFFFFFFFF</value>
      <value name="Offset">-128</value>
      <value name="Ratio">0.25</value>
      <value name="Removable">true</value>
      <value name="Installed">20230101000000.000000+000</value>
      <value name="Paths"><item>/dev/sda</item><item>C:\</item></value>
      <value name="Flags"><item>1</item><item>4294967295</item></value>
      <value name="Serials"><item>12345678901234567890</item></value>
      <fail name="Ratio" result="0x80041006"/>
      <fail name="Sectors"/>
    </instance>
    <instance repeat="2"><value name="Name">blank</value></instance>
  </class>
</fixture>)";

TEST(WmiFixture, ValuesNullsRepeatsAndInjectedFailures) {
    ScopedApartment apartment;
    FixtureFolder fixtures;
    fixtures.Write("disks", kDisks);
    IWbemServicesPtr services = ConnectLinked(u"root\\KAVREL\\fixtures\\disks");
    std::vector<IWbemClassObjectPtr> objects;
    ASSERT_EQ(Query(services, u"SELECT * FROM kv_disk", objects), S_OK);
    ASSERT_EQ(objects.size(), 3u);
    IWbemClassObject* disk = objects[0];
    EXPECT_EQ(GetText(disk, u"Size"), "bstr:18446744073709551615");
    EXPECT_EQ(GetText(disk, u"Offset"), "i2:-128");
    EXPECT_EQ(GetText(disk, u"Removable"), "bool:true");
    EXPECT_EQ(GetText(disk, u"Installed"), "bstr:20230101000000.000000+000");
    EXPECT_EQ(GetText(disk, u"Ratio"), "error:80041006");
    EXPECT_EQ(GetText(disk, u"Sectors"), "error:80041001");  // the default injected code
    EXPECT_EQ(GetText(disk, u"Paths").substr(0, 3), "vt:");
    BSTR text = nullptr;
    ASSERT_EQ(disk->GetObjectText(0, &text), S_OK);
    std::string mof = Narrow(Take(text));
    EXPECT_NE(mof.find("\tPaths = {\"/dev/sda\", \"C:\\\\\"};\n"), std::string::npos) << mof;
    EXPECT_NE(mof.find("\tFlags = {1, -1};\n"), std::string::npos) << mof;
    EXPECT_NE(mof.find("\tSerials = {\"12345678901234567890\"};\n"), std::string::npos) << mof;
    // Copies of a repeated instance; a property without a value is null.
    EXPECT_EQ(GetText(objects[2], u"Name"), "bstr:blank");
    EXPECT_EQ(GetText(objects[2], u"Size"), "null");
    EXPECT_EQ(GetText(objects[2], u"Paths"), "null");

    ASSERT_EQ(
        Query(services, u"SELECT Name FROM Kv_Disk WHERE Size > 1 AND Removable = TRUE", objects),
        S_OK);
    EXPECT_EQ(objects.size(), 1u);
}

TEST(WmiFixture, ConnectionsAndBadFiles) {
    ScopedApartment apartment;
    FixtureFolder fixtures;
    fixtures.Write("denied", "<fixture connect-result='0x80041003'/>");
    fixtures.Write("broken", "<fixture><class name='X'>");
    fixtures.Write("wrongroot", "<fixtures/>");
    fixtures.Write("badtype",
                   "<fixture><class name='X'><property name='a' type='int'/></class></fixture>");
    fixtures.Write("badvalue",
                   "<fixture><class name='X'><property name='a' type='uint8'/>"
                   "<instance><value name='a'>256</value></instance></class></fixture>");
    fixtures.Write("undeclared",
                   "<fixture><class name='X'><property name='a' type='uint8'/>"
                   "<instance><value name='b'>1</value></instance></class></fixture>");
    fixtures.Write("empty", "<fixture/>");
    struct Case {
        const char16_t* path;
        HRESULT expected;
    };
    const Case cases[] = {
        {u"root\\kavrel\\fixtures\\denied", WBEM_E_ACCESS_DENIED},
        {u"root\\kavrel\\fixtures\\broken", WBEM_E_FAILED},
        {u"root\\kavrel\\fixtures\\wrongroot", WBEM_E_FAILED},
        {u"root\\kavrel\\fixtures\\badtype", WBEM_E_FAILED},
        {u"root\\kavrel\\fixtures\\badvalue", WBEM_E_FAILED},
        {u"root\\kavrel\\fixtures\\undeclared", WBEM_E_FAILED},
        {u"root\\kavrel\\fixtures\\missing", WBEM_E_INVALID_NAMESPACE},
        {u"root\\kavrel\\fixtures\\..", WBEM_E_INVALID_NAMESPACE},
        {u"root\\kavrel\\fixtures\\empty\\deeper", WBEM_E_INVALID_NAMESPACE},
        {u"root\\kavrel\\fixtures\\empty", S_OK},
    };
    IWbemLocatorPtr locator = LinkedLocator();
    for (const Case& c : cases) {
        IWbemServicesPtr services;
        EXPECT_EQ(Connect(locator, c.path, services), c.expected) << Narrow(c.path);
    }
}

TEST(WmiFixture, ChosenResultsAtConnectionAndStart) {
    ScopedApartment apartment;
    FixtureFolder fixtures;
    fixtures.Write("odd",
                   "<fixture connect-result='1'><class name='Kv_A' start-result='1'>"
                   "<property name='Id' type='uint32' key='true'/>"
                   "<instance><value name='Id'>1</value></instance></class>"
                   "<class name='Kv_B' start-result='0x80041001'/></fixture>");
    IWbemServicesPtr services;
    ASSERT_EQ(Connect(LinkedLocator(), u"root\\kavrel\\fixtures\\odd", services), S_FALSE);
    ASSERT_TRUE(services != nullptr);
    // A success code comes with a call that runs; a failure refuses it.
    TestSink sink;
    EXPECT_EQ(StartQuery(services, u"SELECT * FROM Kv_A", sink), S_FALSE);
    ASSERT_TRUE(sink.WaitReleased());
    EXPECT_EQ(sink.objects().size(), 1u);
    TestSink refused;
    EXPECT_EQ(StartQuery(services, u"SELECT * FROM Kv_B", refused), WBEM_E_FAILED);
    EXPECT_EQ(refused.refs(), 1u);
    EXPECT_TRUE(refused.statuses().empty());
    std::vector<IWbemClassObjectPtr> objects;
    EXPECT_EQ(Query(services, u"SELECT * FROM Kv_B", objects), WBEM_E_FAILED);
}

// A query text asked again is answered from its first preparation only where it names the
// same class: a fixture class named like a registered one has its own properties and rows,
// whichever namespace asks the text first, each time.
TEST(WmiFixture, OneQueryTextInTwoNamespaces) {
    ScopedApartment apartment;
    FixtureFolder fixtures;
    fixtures.Write("twin",
                   "<fixture><class name='Kv_TestTypes'>"
                   "<property name='Name' type='string' key='true'/>"
                   "<property name='Extra' type='uint32'/>"
                   "<instance><value name='Name'>twin</value><value name='Extra'>7</value>"
                   "</instance></class></fixture>");
    IWbemServicesPtr registered = ConnectLinked(u"root\\cimv2");
    IWbemServicesPtr twin = ConnectLinked(u"root\\kavrel\\fixtures\\twin");
    std::vector<IWbemClassObjectPtr> objects;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(Query(registered, u"SELECT Name FROM Kv_TestTypes", objects), S_OK);
        ASSERT_EQ(objects.size(), 3u);
        EXPECT_EQ(GetText(objects[0], u"Name"), "bstr:alpha");
        ASSERT_EQ(Query(twin, u"SELECT Name FROM Kv_TestTypes", objects), S_OK);
        ASSERT_EQ(objects.size(), 1u);
        EXPECT_EQ(GetText(objects[0], u"Name"), "bstr:twin");

        ASSERT_EQ(Query(twin, u"SELECT Extra FROM Kv_TestTypes", objects), S_OK);
        ASSERT_EQ(objects.size(), 1u);
        EXPECT_EQ(GetText(objects[0], u"Extra"), "i4:7");
        EXPECT_TRUE(FAILED(Query(registered, u"SELECT Extra FROM Kv_TestTypes", objects)));
    }
}

TEST(WmiFixture, TheFolderMayComeFromTheRegistry) {
    ScopedApartment apartment;
    std::string folder;
    {
        FixtureFolder fixtures;  // unset again when it goes
        fixtures.Write("reg", "<fixture><class name='Kv_R'/></fixture>");
        folder = fixtures.path();
    }
    IWbemLocatorPtr locator = LinkedLocator();
    IWbemServicesPtr services;
    EXPECT_EQ(Connect(locator, u"root\\kavrel\\fixtures\\reg", services), WBEM_E_INVALID_NAMESPACE);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kavrel\\WMI", 0, nullptr, 0,
                              KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    std::u16string value = kvwin::FromUtf8(folder);
    ASSERT_EQ(RegSetValueExW(key, u"FixtureFolder", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(value.c_str()),
                             DWORD((value.size() + 1) * sizeof(WCHAR))),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(Connect(locator, u"root\\kavrel\\fixtures\\reg", services), S_OK);
    std::vector<IWbemClassObjectPtr> objects;
    EXPECT_EQ(Query(services, u"SELECT * FROM Kv_R", objects), S_OK);
    EXPECT_TRUE(objects.empty());
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kavrel\\WMI"), ERROR_SUCCESS);
}

}  // namespace
