// ASSOCIATORS OF and REFERENCES OF, object paths, and key lookups pushed down to a class.
//
// The fixture namespace "people" holds two groups, three users and two associations
// (Kv_Member: Group/Member, Kv_Admin: Who/Of); the registered namespace root\kavrel\lookup
// holds Kv_Box, a class that answers by key (and counts how often it enumerates and looks
// up), and Kv_Stack, an association of Kv_Box with itself.
#include <algorithm>
#include <atomic>

#include "fixture_support.h"
#include "kvwin/ascii_case.h"
#include "provider/class_decl.h"
#include "service/object_path.h"
#include "test_sink.h"
#include "wmi_test_support.h"
#include "wql/parser.h"

namespace {

using namespace wmitest;
using kvwmi::ClassDecl;
using kvwmi::Instance;
using kvwmi::InstanceBuilder;

// ---- the registered classes -------------------------------------------------------------

std::atomic<int> box_fills{0};
std::atomic<int> box_lookups{0};

struct Box {
    std::uint64_t shelf;
    const char16_t* name;
    const char16_t* color;
};
constexpr Box kBoxes[] = {
    {1, u"a", u"red"}, {1, u"b", u"green"}, {2, u"b", u"blue"}, {2, u"c", u"red"}};

Instance MakeBox(const ClassDecl& decl, const Box& box) {
    return InstanceBuilder(decl)
        .Set(u"Shelf", box.shelf)
        .Set(u"Name", std::u16string(box.name))
        .Set(u"Color", std::u16string(box.color))
        .Take();
}

void FillBoxes(const ClassDecl& decl, std::vector<Instance>& out) {
    ++box_fills;
    for (const Box& box : kBoxes)
        out.push_back(MakeBox(decl, box));
}

// Answers Name = 'x' with the boxes of that name, ignoring case, plus box "a" every time (a
// lookup may give more than the matches); declines the name "decline".
bool LookupBoxes(const ClassDecl& decl, const std::vector<kvwmi::PropertyEquals>& equals,
                 const kvwmi::Selection&, std::vector<Instance>& out) {
    for (const kvwmi::PropertyEquals& condition : equals) {
        if (condition.property != decl.IndexOf(u"Name"))
            continue;
        if (condition.text == u"decline") {
            out.push_back(MakeBox(decl, kBoxes[0]));  // must be dropped by the service
            return false;
        }
        ++box_lookups;
        for (const Box& box : kBoxes) {
            if (kvwin::EqualsAsciiNoCase(std::u16string_view(box.name), condition.text) ||
                box.name == kBoxes[0].name)
                out.push_back(MakeBox(decl, box));
        }
        return true;
    }
    return false;
}

const ClassDecl kBoxClass{
    u"root\\kavrel\\lookup",
    u"Kv_Box",
    {{u"Shelf", CIM_UINT32, true}, {u"Name", CIM_STRING, true}, {u"Color", CIM_STRING}},
    FillBoxes,
    nullptr,
    LookupBoxes};
KAVREL_WMI_CLASS(kBoxClass);

// a is under b (shelf 1), b (shelf 1) is under c.
void FillStack(const ClassDecl& decl, std::vector<Instance>& out) {
    const std::u16string ns = u"\\\\.\\root\\kavrel\\lookup:";
    out.push_back(InstanceBuilder(decl)
                      .Set(u"Lower", ns + u"Kv_Box.Shelf=1,Name=\"a\"")
                      .Set(u"Upper", std::u16string(u"Kv_Box.Name='b',Shelf=1"))
                      .Take());
    out.push_back(InstanceBuilder(decl)
                      .Set(u"Lower", ns + u"Kv_Box.Shelf=1,Name=\"b\"")
                      .Set(u"Upper", ns + u"Kv_Box.Shelf=2,Name=\"c\"")
                      .Take());
}

const ClassDecl kStackClass{u"root\\kavrel\\lookup",
                            u"Kv_Stack",
                            {{u"Lower", CIM_REFERENCE, true}, {u"Upper", CIM_REFERENCE, true}},
                            FillStack};
KAVREL_WMI_CLASS(kStackClass);

// ---- helpers ------------------------------------------------------------------------------

const char kPeople[] = R"(<fixture>
  <class name="Kv_Group">
    <property name="Name" type="string" key="true"/>
    <instance><value name="Name">staff</value></instance>
    <instance><value name="Name">wheel</value></instance>
  </class>
  <class name="Kv_User">
    <property name="Domain" type="string" key="true"/>
    <property name="Name" type="string" key="true"/>
    <property name="Age" type="uint32"/>
    <instance><value name="Domain">D</value><value name="Name">alice</value><value name="Age">30</value></instance>
    <instance><value name="Domain">D</value><value name="Name">bob</value><value name="Age">40</value></instance>
    <instance><value name="Domain">D</value><value name="Name">o"dd</value></instance>
  </class>
  <class name="Kv_Member">
    <property name="Group" type="ref" key="true"/>
    <property name="Member" type="ref" key="true"/>
    <instance><value name="Group">\\.\root\kavrel\fixtures\people:Kv_Group.Name="staff"</value>
              <value name="Member">\\.\root\kavrel\fixtures\people:Kv_User.Domain="D",Name="alice"</value></instance>
    <instance><value name="Group">Kv_Group.Name="staff"</value>
              <value name="Member">Kv_User.Name="bob",Domain="D"</value></instance>
    <instance><value name="Group">Kv_Group="wheel"</value>
              <value name="Member">Kv_User.Domain='D',Name='Alice'</value></instance>
    <instance><value name="Group">Kv_Group.Name="staff"</value>
              <value name="Member">Kv_User.Domain="D",Name="o\"dd"</value></instance>
    <instance><value name="Group">Kv_Group.Name="staff"</value>
              <value name="Member">Kv_User.Domain="D",Name="nobody"</value></instance>
    <instance><value name="Group">\\.\root\elsewhere:Kv_Group.Name="staff"</value>
              <value name="Member">Kv_User.Domain="D",Name="bob"</value></instance>
  </class>
  <class name="Kv_Admin">
    <property name="Who" type="ref" key="true"/>
    <property name="Of" type="ref" key="true"/>
    <instance><value name="Who">Kv_User.Domain="D",Name="alice"</value>
              <value name="Of">Kv_Group.Name="staff"</value></instance>
  </class>
</fixture>)";

class Associations : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_.Write("people", kPeople);
        people_ = ConnectLinked(u"root\\kavrel\\fixtures\\people");
        boxes_ = ConnectLinked(u"root\\kavrel\\lookup");
    }

    // The __RELPATH of every result, sorted; or "error:<hex>".
    static std::vector<std::string> Paths(IWbemServices* services, std::u16string_view wql) {
        std::vector<IWbemClassObjectPtr> objects;
        const HRESULT hr = Query(services, wql, objects);
        std::vector<std::string> paths;
        if (hr != S_OK) {
            char text[32];
            snprintf(text, sizeof text, "error:%08X", unsigned(hr));
            return {text};
        }
        for (const IWbemClassObjectPtr& object : objects)
            paths.push_back(GetText(object, u"__RELPATH"));
        std::sort(paths.begin(), paths.end());
        return paths;
    }
    static std::string Code(HRESULT hr) {
        char text[32];
        snprintf(text, sizeof text, "error:%08X", unsigned(hr));
        return text;
    }

    ScopedApartment apartment_;
    FixtureFolder folder_;
    IWbemServicesPtr people_;
    IWbemServicesPtr boxes_;
};

using Strings = std::vector<std::string>;

const std::string kAlice = "bstr:Kv_User.Domain=\"D\",Name=\"alice\"";
const std::string kBob = "bstr:Kv_User.Domain=\"D\",Name=\"bob\"";
const std::string kOdd = "bstr:Kv_User.Domain=\"D\",Name=\"o\\\"dd\"";
const std::string kStaff = "bstr:Kv_Group.Name=\"staff\"";
const std::string kWheel = "bstr:Kv_Group.Name=\"wheel\"";

// ---- grammar and paths ----------------------------------------------------------------------

TEST(AssociationGrammar, AcceptsTheDocumentedFormsAndRefusesTheRest) {
    struct Case {
        const char16_t* text;
        bool ok;
    };
    const Case cases[] = {
        {u"ASSOCIATORS OF {X.Name='a'}", true},
        {u"associators of{X.Name=\"a b}\"}", true},
        {u"REFERENCES OF {X=@} WHERE ClassDefsOnly", true},
        {u"ASSOCIATORS OF {\\\\.\\root\\cimv2:X.K=\"C:\"} WHERE AssocClass = A ResultClass = R "
         u"ResultRole = P Role = Q RequiredQualifier = Q1 RequiredAssocQualifier = Q2 KeysOnly",
         true},
        {u"ASSOCIATORS {X.Name='a'}", false},
        {u"ASSOCIATORS OF X.Name='a'", false},
        {u"ASSOCIATORS OF {X.Name='a}'", false},
        {u"ASSOCIATORS OF {  }", false},
        {u"ASSOCIATORS OF {X} WHERE", false},
        {u"ASSOCIATORS OF {X} garbage", false},
        {u"ASSOCIATORS OF {X} WHERE AssocClass =", false},
        {u"ASSOCIATORS OF {X} WHERE AssocClass = 5", false},
        {u"ASSOCIATORS OF {X} WHERE Role = A Role = B", false},
        {u"ASSOCIATORS OF {X} WHERE ClassDefsOnly ResultClass = R", false},
        {u"ASSOCIATORS OF {X} WHERE KeysOnly ClassDefsOnly", false},
        {u"ASSOCIATORS OF {X} WHERE AssocClass = A AND Role = B", false},
        {u"REFERENCES OF {X} WHERE AssocClass = A", false},
        {u"SELECT * FROM X WHERE Name = 'ASSOCIATORS OF {'", true},
    };
    for (const Case& c : cases) {
        kvwmi::wql::Query query;
        kvwmi::wql::ParseError error;
        EXPECT_EQ(kvwmi::wql::Parse(c.text, query, error), c.ok) << Narrow(c.text);
    }
    kvwmi::wql::Query query;
    kvwmi::wql::ParseError error;
    ASSERT_TRUE(kvwmi::wql::Parse(
        u" references of { X.K = 'v' } where role = Q resultclass = \"R\" keysonly", query, error));
    EXPECT_EQ(query.kind, kvwmi::wql::QueryKind::References);
    EXPECT_EQ(Narrow(query.association.object_path), "X.K = 'v'");
    EXPECT_EQ(query.association.path_offset, 17u);
    EXPECT_EQ(Narrow(query.association.role), "Q");
    EXPECT_EQ(Narrow(query.association.result_class), "R");
    EXPECT_TRUE(query.association.keys_only);
    EXPECT_FALSE(query.association.class_defs_only);
}

TEST(ObjectPaths, NamespaceKeysAndQuotes) {
    kvwmi::ObjectPath path;
    ASSERT_TRUE(
        kvwmi::ParseObjectPath(u"\\\\.\\root\\cimv2:Win32_LogicalDisk.DeviceID=\"C:\"", path));
    EXPECT_EQ(Narrow(path.server), ".");
    EXPECT_EQ(Narrow(path.ns), "root\\cimv2");
    EXPECT_EQ(Narrow(path.class_name), "Win32_LogicalDisk");
    ASSERT_EQ(path.keys.size(), 1u);
    EXPECT_EQ(Narrow(path.keys[0].second.text), "C:");

    ASSERT_TRUE(kvwmi::ParseObjectPath(u"//./root/cimv2:Win32_Process.Handle='1'", path));
    EXPECT_EQ(Narrow(path.ns), "root\\cimv2");
    EXPECT_EQ(Narrow(path.keys[0].second.text), "1");

    ASSERT_TRUE(kvwmi::ParseObjectPath(u"A.K1=\"x\\\"y\\\\z:w\",K2=-12,K3=true", path));
    ASSERT_EQ(path.keys.size(), 3u);
    EXPECT_EQ(Narrow(path.keys[0].second.text), "x\"y\\z:w");
    EXPECT_EQ(Narrow(kvwmi::KeyText(path.keys[1].second)), "-12");
    EXPECT_EQ(Narrow(kvwmi::KeyText(path.keys[2].second)), "TRUE");

    ASSERT_TRUE(kvwmi::ParseObjectPath(u"root\\x:Single=@", path));
    EXPECT_TRUE(path.singleton);
    EXPECT_EQ(Narrow(path.ns), "root\\x");

    for (const char16_t* bad : {u"", u":A", u"A.", u"A.K", u"A.K=", u"A.K=\"open", u"A.K=1 ",
                                u"A.K=1,", u"A=@x", u"\\\\\\root:A", u"A.K=x"})
        EXPECT_FALSE(kvwmi::ParseObjectPath(bad, path)) << Narrow(bad);
}

// ---- ASSOCIATORS OF and REFERENCES OF over a fixture -----------------------------------------

TEST_F(Associations, AssociatorsFollowEveryAssociationAndItsFilters) {
    const std::u16string staff = u"ASSOCIATORS OF {Kv_Group.Name=\"staff\"}";
    // Kv_Member gives alice, bob and o"dd ("nobody" does not exist, the reference into
    // another namespace is not this staff); Kv_Admin gives alice once more.
    EXPECT_EQ(Paths(people_, staff), (Strings{kAlice, kAlice, kBob, kOdd}));
    EXPECT_EQ(Paths(people_, staff + u" WHERE AssocClass = Kv_Member"),
              (Strings{kAlice, kBob, kOdd}));
    EXPECT_EQ(Paths(people_, staff + u" WHERE AssocClass = kv_admin ResultRole = Who"),
              (Strings{kAlice}));
    EXPECT_EQ(Paths(people_, staff + u" WHERE ResultClass = Kv_Group"), Strings{});
    EXPECT_EQ(Paths(people_, staff + u" WHERE Role = Member"), Strings{});

    // The source by any spelling of its keys: case, quotes, order, the namespace.
    const Strings alice_groups{kStaff, kStaff, kWheel};
    EXPECT_EQ(Paths(people_, u"ASSOCIATORS OF {Kv_User.Name='ALICE',Domain='d'}"), alice_groups);
    EXPECT_EQ(Paths(people_,
                    u"associators of {\\\\.\\root\\kavrel\\fixtures\\people:"
                    u"Kv_User.Domain=\"D\",Name=\"alice\"}"),
              alice_groups);
    EXPECT_EQ(
        Paths(people_, u"ASSOCIATORS OF {Kv_User.Domain=\"D\",Name=\"alice\"} WHERE Role = Who"),
        Strings{kStaff});
    EXPECT_EQ(Paths(people_, u"ASSOCIATORS OF {Kv_User.Domain=\"D\",Name=\"o\\\"dd\"}"),
              Strings{kStaff});

    // Each result is a whole object of its class, with its path in this namespace.
    std::vector<IWbemClassObjectPtr> objects;
    ASSERT_EQ(Query(people_, staff + u" WHERE AssocClass = Kv_Member", objects), S_OK);
    ASSERT_EQ(objects.size(), 3u);
    for (const IWbemClassObjectPtr& object : objects) {
        EXPECT_EQ(GetText(object, u"__CLASS"), "bstr:Kv_User");
        EXPECT_EQ(GetText(object, u"__NAMESPACE"), "bstr:root\\kavrel\\fixtures\\people");
        EXPECT_NE(GetText(object, u"__PATH").find(":Kv_User.Domain="), std::string::npos);
    }
    std::string ages;
    for (const IWbemClassObjectPtr& object : objects)
        ages += GetText(object, u"Age") + ";";
    EXPECT_NE(ages.find("i4:30;"), std::string::npos) << ages;
}

TEST_F(Associations, ClassDefinitionsAndKeysOnly) {
    std::vector<IWbemClassObjectPtr> objects;
    ASSERT_EQ(
        Query(people_, u"ASSOCIATORS OF {Kv_User.Domain=\"D\",Name=\"alice\"} WHERE ClassDefsOnly",
              objects),
        S_OK);
    ASSERT_EQ(objects.size(), 1u);  // one definition, however many groups
    EXPECT_EQ(GetText(objects[0], u"__RELPATH"), "bstr:Kv_Group");
    EXPECT_EQ(GetText(objects[0], u"__GENUS"), "i4:1");

    ASSERT_EQ(
        Query(people_, u"REFERENCES OF {Kv_User.Domain=\"D\",Name=\"alice\"} WHERE ClassDefsOnly",
              objects),
        S_OK);
    std::vector<std::string> classes;
    for (const IWbemClassObjectPtr& object : objects)
        classes.push_back(GetText(object, u"__CLASS"));
    std::sort(classes.begin(), classes.end());
    EXPECT_EQ(classes, (Strings{"bstr:Kv_Admin", "bstr:Kv_Member"}));

    ASSERT_EQ(
        Query(people_,
              u"ASSOCIATORS OF {Kv_Group.Name=\"staff\"} WHERE KeysOnly AssocClass = Kv_Admin",
              objects),
        S_OK);
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(GetText(objects[0], u"Name"), "bstr:alice");
    EXPECT_EQ(GetText(objects[0], u"Age"), "null");
}

TEST_F(Associations, ReferencesGiveTheAssociationInstances) {
    const std::u16string alice = u"REFERENCES OF {Kv_User.Domain=\"D\",Name=\"alice\"}";
    std::vector<IWbemClassObjectPtr> objects;
    ASSERT_EQ(Query(people_, alice, objects), S_OK);
    ASSERT_EQ(objects.size(), 3u);
    std::vector<std::string> groups;
    for (const IWbemClassObjectPtr& object : objects) {
        const bool member = GetText(object, u"__CLASS") == "bstr:Kv_Member";
        CIMTYPE type = 0;
        groups.push_back(GetText(object, member ? u"Group" : u"Of", &type));
        EXPECT_EQ(type, CIM_REFERENCE);
    }
    std::sort(groups.begin(), groups.end());
    EXPECT_EQ(groups,
              (Strings{"bstr:Kv_Group.Name=\"staff\"", "bstr:Kv_Group=\"wheel\"",
                       "bstr:\\\\.\\root\\kavrel\\fixtures\\people:Kv_Group.Name=\"staff\""}));
    EXPECT_EQ(Paths(people_, alice + u" WHERE ResultClass = Kv_Admin").size(), 1u);
    EXPECT_EQ(Paths(people_, alice + u" WHERE Role = Member").size(), 2u);
    EXPECT_EQ(Paths(people_, alice + u" WHERE Role = Group"), Strings{});
}

TEST_F(Associations, ErrorsAsWindowsGivesThem) {
    std::vector<IWbemClassObjectPtr> objects;
    // A source instance that does not exist ends the query with "not found".
    EXPECT_EQ(Query(people_, u"ASSOCIATORS OF {Kv_Group.Name=\"nobody\"}", objects),
              WBEM_E_NOT_FOUND);
    EXPECT_EQ(Query(people_, u"REFERENCES OF {Kv_Group.Name=\"nobody\"}", objects),
              WBEM_E_NOT_FOUND);
    EXPECT_EQ(Query(people_, u"ASSOCIATORS OF {Kv_Nothing.Name=\"x\"}", objects), WBEM_E_NOT_FOUND);
    EXPECT_EQ(Query(people_, u"ASSOCIATORS OF {Kv_User.Name=\"alice\"}", objects),
              WBEM_E_INVALID_OBJECT_PATH);
    EXPECT_EQ(Query(people_, u"ASSOCIATORS OF {Kv_User.Name=}", objects), WBEM_E_INVALID_QUERY);
    EXPECT_EQ(Query(people_, u"ASSOCIATORS OF {Kv_Group.Name=\"staff\"} WHERE Role", objects),
              WBEM_E_INVALID_QUERY);
    EXPECT_EQ(
        Query(people_, u"ASSOCIATORS OF {\\\\faraway\\root\\x:Kv_Group.Name=\"staff\"}", objects),
        WBEM_E_TRANSPORT_FAILURE);
    // A class path names no instance: nothing is associated with it here.
    EXPECT_EQ(Paths(people_, u"ASSOCIATORS OF {Kv_Group}"), Strings{});
}

TEST_F(Associations, AsynchronousDeliveryGivesTheSameObjects) {
    TestSink sink;
    ASSERT_EQ(people_->ExecQueryAsync(Bstr(u"WQL"),
                                      Bstr(u"ASSOCIATORS OF {Kv_Group.Name=\"staff\"} WHERE "
                                           u"AssocClass = Kv_Member"),
                                      0, nullptr, &sink),
              S_OK);
    ASSERT_TRUE(sink.WaitReleased());
    EXPECT_EQ(sink.objects().size(), 3u);
    ASSERT_EQ(sink.statuses().size(), 1u);
    EXPECT_EQ(sink.statuses()[0].result, S_OK);

    TestSink missing;
    ASSERT_EQ(people_->ExecQueryAsync(Bstr(u"WQL"), Bstr(u"REFERENCES OF {Kv_Group.Name=\"x\"}"), 0,
                                      nullptr, &missing),
              S_OK);
    ASSERT_TRUE(missing.WaitReleased());
    EXPECT_EQ(missing.statuses().at(0).result, WBEM_E_NOT_FOUND);
}

// ---- key lookups ------------------------------------------------------------------------------

TEST_F(Associations, KeyConditionsReachTheClassAndGiveTheRowsOfTheFullFilter) {
    struct Case {
        const char16_t* pushed;  // a condition the class is asked to look up
        const char16_t* full;    // the same rows, by a condition it cannot use
    };
    const Case cases[] = {
        {u"Name = 'b'", u"Name = 'b' OR Name = 'b'"},
        {u"Name = 'B' AND Shelf = 1", u"NOT (Name <> 'B' OR Shelf <> 1)"},
        {u"(Color = 'red' AND Name = 'c')", u"Color = 'red' AND Name LIKE 'c'"},
        {u"Name = 'zzz'", u"Name LIKE 'zzz'"},
    };
    for (const Case& c : cases) {
        const int lookups = box_lookups, fills = box_fills;
        const Strings pushed =
            Paths(boxes_, u"SELECT * FROM Kv_Box WHERE " + std::u16string(c.pushed));
        EXPECT_EQ(box_lookups, lookups + 1) << Narrow(c.pushed);
        EXPECT_EQ(box_fills, fills) << Narrow(c.pushed);
        EXPECT_EQ(pushed, Paths(boxes_, u"SELECT * FROM Kv_Box WHERE " + std::u16string(c.full)))
            << Narrow(c.pushed);
    }
    EXPECT_EQ(Paths(boxes_, u"SELECT * FROM Kv_Box WHERE Name = 'b'"),
              (Strings{"bstr:Kv_Box.Shelf=1,Name=\"b\"", "bstr:Kv_Box.Shelf=2,Name=\"b\""}));
    // A lookup that declines leaves the class to be listed; what it appended is dropped.
    const int fills = box_fills;
    EXPECT_EQ(Paths(boxes_, u"SELECT * FROM Kv_Box WHERE Name = 'decline'"), Strings{});
    EXPECT_EQ(box_fills, fills + 1);
}

TEST_F(Associations, GetObjectByPathIsAKeyLookup) {
    for (const char16_t* path : {u"Kv_Box.Shelf=2,Name=\"b\"", u"Kv_Box.Name='B',Shelf=2",
                                 u"kv_box.shelf=\"2\",name=\"b\"",
                                 u"\\\\.\\root\\kavrel\\lookup:Kv_Box.Shelf=2,Name=\"b\""}) {
        const int lookups = box_lookups, fills = box_fills;
        IWbemClassObject* raw = nullptr;
        ASSERT_EQ(boxes_->GetObject(Bstr(path), 0, nullptr, &raw, nullptr), S_OK) << Narrow(path);
        IWbemClassObjectPtr object(raw, false);
        EXPECT_EQ(GetText(object, u"Color"), "bstr:blue") << Narrow(path);
        EXPECT_EQ(box_lookups, lookups + 1);
        EXPECT_EQ(box_fills, fills);
    }
    for (const auto& [path, code] : std::vector<std::pair<const char16_t*, HRESULT>>{
             {u"Kv_Box.Shelf=3,Name=\"b\"", WBEM_E_NOT_FOUND},
             {u"Kv_Box.Name=\"b\"", WBEM_E_INVALID_OBJECT_PATH},
             {u"Kv_Box.Shelf=1,Name=\"b\",Color=\"green\"", WBEM_E_INVALID_OBJECT_PATH},
             {u"Kv_Box.Shelf=1,Name=\"b", WBEM_E_INVALID_OBJECT_PATH}}) {
        IWbemClassObject* raw = nullptr;
        EXPECT_EQ(boxes_->GetObject(Bstr(path), 0, nullptr, &raw, nullptr), code) << Narrow(path);
        EXPECT_EQ(raw, nullptr);
    }
}

TEST_F(Associations, GetOfAnAssociationMatchesItsReferencesByWhatTheyName) {
    // The first Kv_Stack row holds Lower = \\.\root\kavrel\lookup:Kv_Box.Shelf=1,Name="a"
    // and Upper = Kv_Box.Name='b',Shelf=1.
    for (
        const char16_t* path : {
            uR"(Kv_Stack.Lower="Kv_Box.Name=\"A\",Shelf=1",Upper="KV_BOX.shelf=1,NAME='b'")",
            uR"(Kv_Stack.Upper='Kv_Box.Shelf=01,Name="b"',Lower='\\\\srv\\ROOT\\kavrel\\lookup:Kv_Box.Shelf=1,Name="a"')",
        }) {
        IWbemClassObject* raw = nullptr;
        ASSERT_EQ(boxes_->GetObject(Bstr(path), 0, nullptr, &raw, nullptr), S_OK) << Narrow(path);
        IWbemClassObjectPtr object(raw, false);
        EXPECT_EQ(GetText(object, u"Upper"), "bstr:Kv_Box.Name='b',Shelf=1");  // as the row has it
    }
    for (
        const char16_t* path : {
            uR"(Kv_Stack.Lower="Kv_Box.Name=\"a\",Shelf=2",Upper="Kv_Box.Shelf=1,Name='b'")",
            uR"(Kv_Stack.Lower="\\\\.\\root\\other:Kv_Box.Shelf=1,Name=\"a\"",Upper="Kv_Box.Shelf=1,Name='b'")",
            uR"(Kv_Stack.Lower="Kv_Box.Shelf=1,Name=\"a\",Color=\"red\"",Upper="Kv_Box.Shelf=1,Name='b'")",
            uR"(Kv_Stack.Lower="Kv_Box.Shelf=1,Shelf=1",Upper="Kv_Box.Shelf=1,Name='b'")",
            uR"(Kv_Stack.Lower="Kv_Crate.Shelf=1,Name=\"a\"",Upper="Kv_Box.Shelf=1,Name='b'")",
            uR"(Kv_Stack.Lower="Kv_Box",Upper="Kv_Box.Shelf=1,Name='b'")",
            uR"(Kv_Stack.Lower="not a path",Upper="Kv_Box.Shelf=1,Name='b'")",
        }) {
        IWbemClassObject* raw = nullptr;
        EXPECT_EQ(boxes_->GetObject(Bstr(path), 0, nullptr, &raw, nullptr), WBEM_E_NOT_FOUND)
            << Narrow(path);
        EXPECT_EQ(raw, nullptr);
    }
    // The single-key form names the one key whatever it is called.
    EXPECT_TRUE(kvwmi::SameReference(u"Kv_Group=\"Staff\"", u"kv_group.NAME='staff'"));
    EXPECT_FALSE(kvwmi::SameReference(u"Kv_Group=\"staff\"", u"Kv_Group.Name=\"wheel\""));
    EXPECT_FALSE(kvwmi::SameReference(u"Kv_Group=@", u"Kv_Group.Name=\"staff\""));
}

TEST_F(Associations, RolesOfAnAssociationOfAClassWithItself) {
    const std::u16string b = u"ASSOCIATORS OF {Kv_Box.Shelf=1,Name=\"b\"}";
    EXPECT_EQ(Paths(boxes_, b),
              (Strings{"bstr:Kv_Box.Shelf=1,Name=\"a\"", "bstr:Kv_Box.Shelf=2,Name=\"c\""}));
    EXPECT_EQ(Paths(boxes_, b + u" WHERE Role = Lower"), Strings{"bstr:Kv_Box.Shelf=2,Name=\"c\""});
    EXPECT_EQ(Paths(boxes_, b + u" WHERE ResultRole = Lower"),
              Strings{"bstr:Kv_Box.Shelf=1,Name=\"a\""});
    EXPECT_EQ(Paths(boxes_, u"REFERENCES OF {Kv_Box.Shelf=1,Name=\"b\"}").size(), 2u);
    EXPECT_EQ(Paths(boxes_, u"REFERENCES OF {Kv_Box.Shelf=2,Name=\"b\"}"), Strings{});
}

}  // namespace
