// Class objects: how every CIM type reads, arrays, nulls, partial instances, system
// properties, names and enumeration, clones, MOF text and class objects.
#include "wmi_test_support.h"

namespace {

using namespace wmitest;

IWbemClassObjectPtr Instance(IWbemServices* services, const std::u16string& select,
                             const std::u16string& name) {
    std::vector<IWbemClassObjectPtr> objects;
    EXPECT_EQ(
        Query(services, u"SELECT " + select + u" FROM Kv_TestTypes WHERE Name = '" + name + u"'",
              objects),
        S_OK);
    EXPECT_EQ(objects.size(), 1u);
    return objects.empty() ? nullptr : objects[0];
}

// The elements of an array value as text, "vt:<element type>:a,b,c".
std::string ArrayText(IWbemClassObject* object, const char16_t* name) {
    VARIANT value;
    VariantInit(&value);
    EXPECT_EQ(object->Get(name, 0, &value, nullptr, nullptr), S_OK);
    if (!(V_VT(&value) & VT_ARRAY))
        return Describe(value);
    SAFEARRAY* array = V_ARRAY(&value);
    EXPECT_EQ(SafeArrayGetDim(array), 1u);
    LONG lower = -1, upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    EXPECT_EQ(lower, 0);
    VARTYPE element = VARTYPE(V_VT(&value) & ~VT_ARRAY);
    std::string text = "vt:" + std::to_string(element) + ":";
    for (LONG i = lower; i <= upper; ++i) {
        VARIANT item;
        VariantInit(&item);
        V_VT(&item) = element;
        EXPECT_EQ(SafeArrayGetElement(array, &i, &V_BSTR(&item)), S_OK);
        std::string described = Describe(item);
        text += (i ? "," : "") + described.substr(described.find(':') + 1);
        VariantClear(&item);
    }
    VariantClear(&value);
    return text;
}

TEST(WmiValues, EveryTypeReadsAsWmiTypesIt) {
    ScopedApartment apartment;
    IWbemServicesPtr services = ConnectLinked(u"root\\cimv2");
    IWbemClassObjectPtr alpha = Instance(services, u"*", u"alpha");
    ASSERT_TRUE(alpha != nullptr);
    struct Case {
        const char16_t* name;
        const char* value;
        CIMTYPE type;
    };
    const Case cases[] = {
        {u"Name", "bstr:alpha", CIM_STRING},
        {u"Flag", "bool:true", CIM_BOOLEAN},
        {u"S8", "i2:-5", CIM_SINT8},
        {u"U8", "ui1:200", CIM_UINT8},
        {u"S16", "i2:-300", CIM_SINT16},
        {u"U16", "i4:65535", CIM_UINT16},
        {u"S32", "i4:-70000", CIM_SINT32},
        {u"U32", "i4:-1", CIM_UINT32},  // 4294967295, its bits as signed
        {u"S64", "bstr:-9000000000", CIM_SINT64},
        {u"U64", "bstr:18446744073709551615", CIM_UINT64},
        {u"R32", "r4:1.500000", CIM_REAL32},
        {u"R64", "r8:2.250000", CIM_REAL64},
        {u"When", "bstr:20240131235959.000000+060", CIM_DATETIME},
        {u"u64", "bstr:18446744073709551615", CIM_UINT64},  // names are case-insensitive
    };
    for (const Case& c : cases) {
        CIMTYPE type = -1;
        EXPECT_EQ(GetText(alpha, c.name, &type), c.value) << Narrow(c.name);
        EXPECT_EQ(type, c.type) << Narrow(c.name);
    }
    EXPECT_EQ(ArrayText(alpha, u"Tags"), "vt:8:a,b\"c");
    EXPECT_EQ(ArrayText(alpha, u"Codes"), "vt:3:5,7,-3");
    EXPECT_EQ(ArrayText(alpha, u"Big"), "vt:8:18446744073709551615,2");
    EXPECT_EQ(ArrayText(alpha, u"Bits"), "vt:11:true,false");
    EXPECT_EQ(ArrayText(alpha, u"Small"), "vt:17:1,255");
    CIMTYPE type = 0;
    EXPECT_EQ(GetText(alpha, u"Codes", &type).substr(0, 3), "vt:");
    EXPECT_EQ(type, CIM_UINT32 | CIM_FLAG_ARRAY);

    // Nulls read as VT_NULL with their declared type; an empty array stays an array.
    IWbemClassObjectPtr beta = Instance(services, u"*", u"Beta");
    EXPECT_EQ(GetText(beta, u"U8", &type), "null");
    EXPECT_EQ(type, CIM_UINT8);
    EXPECT_EQ(GetText(beta, u"Codes", &type), "null");
    EXPECT_EQ(type, CIM_UINT32 | CIM_FLAG_ARRAY);
    EXPECT_EQ(ArrayText(beta, u"Tags"), "vt:8:");

    // A property the class lacks; names are not trimmed.
    EXPECT_EQ(GetText(alpha, u"Nope"), "error:80041002");
    EXPECT_EQ(GetText(alpha, u" Name"), "error:80041002");
    EXPECT_EQ(alpha->Get(nullptr, 0, nullptr, nullptr, nullptr), WBEM_E_INVALID_PARAMETER);
    // Only the type asked for.
    long flavor = -1;
    EXPECT_EQ(alpha->Get(u"U64", 0, nullptr, &type, &flavor), S_OK);
    EXPECT_EQ(type, CIM_UINT64);
    EXPECT_EQ(flavor, WBEM_FLAVOR_ORIGIN_LOCAL);
}

TEST(WmiValues, PartialInstancesAndSystemProperties) {
    ScopedApartment apartment;
    IWbemServicesPtr services = ConnectLinked(u"root\\cimv2");
    IWbemClassObjectPtr partial = Instance(services, u"U32", u"gamma [1]");
    ASSERT_TRUE(partial != nullptr);
    EXPECT_EQ(GetText(partial, u"U32"), "i4:-1294967296");
    EXPECT_EQ(GetText(partial, u"S32"), "null");             // not selected
    EXPECT_EQ(GetText(partial, u"Name"), "bstr:gamma [1]");  // a key: always there
    EXPECT_EQ(GetText(partial, u"Nope"), "error:80041002");
    EXPECT_EQ(GetText(partial, u"__CLASS"), "bstr:Kv_TestTypes");
    EXPECT_EQ(GetText(partial, u"__GENUS"), "i4:2");
    EXPECT_EQ(GetText(partial, u"__RELPATH"), "bstr:Kv_TestTypes.Name=\"gamma [1]\"");
    EXPECT_EQ(GetText(partial, u"__SUPERCLASS"), "null");
    EXPECT_EQ(GetText(partial, u"__PROPERTY_COUNT"), "i4:18");
    long flavor = 0;
    EXPECT_EQ(partial->Get(u"__CLASS", 0, nullptr, nullptr, &flavor), S_OK);
    EXPECT_EQ(flavor, WBEM_FLAVOR_ORIGIN_SYSTEM);
}

std::vector<std::string> Names(IWbemClassObject* object, long flags, const char16_t* qualifier) {
    SAFEARRAY* names = nullptr;
    EXPECT_EQ(object->GetNames(qualifier, flags, nullptr, &names), S_OK);
    std::vector<std::string> list;
    LONG upper = -1;
    SafeArrayGetUBound(names, 1, &upper);
    for (LONG i = 0; i <= upper; ++i) {
        BSTR name = nullptr;
        SafeArrayGetElement(names, &i, &name);
        list.push_back(Narrow(Take(name)));
    }
    SafeArrayDestroy(names);
    return list;
}

TEST(WmiValues, NamesAndEnumeration) {
    ScopedApartment apartment;
    IWbemServicesPtr services = ConnectLinked(u"root\\cimv2");
    IWbemClassObjectPtr beta = Instance(services, u"*", u"Beta");
    std::vector<std::string> all = Names(beta, WBEM_FLAG_ALWAYS, nullptr);
    ASSERT_EQ(all.size(), 10u + 18u);
    EXPECT_EQ(all[0], "__GENUS");
    EXPECT_EQ(all[10], "Name");
    EXPECT_EQ(all.back(), "Small");
    EXPECT_EQ(Names(beta, WBEM_FLAG_NONSYSTEM_ONLY, nullptr).size(), 18u);
    EXPECT_EQ(Names(beta, WBEM_FLAG_SYSTEM_ONLY, nullptr).size(), 10u);
    EXPECT_EQ(Names(beta, WBEM_FLAG_KEYS_ONLY, nullptr), std::vector<std::string>{"Name"});
    EXPECT_EQ(Names(beta, WBEM_FLAG_ONLY_IF_TRUE, u"key"), std::vector<std::string>{"Name"});
    EXPECT_EQ(Names(beta, WBEM_FLAG_ONLY_IF_FALSE, u"key").size(), 17u);

    EXPECT_EQ(beta->Next(0, nullptr, nullptr, nullptr, nullptr), WBEM_E_UNEXPECTED);
    ASSERT_EQ(beta->BeginEnumeration(WBEM_FLAG_NONSYSTEM_ONLY), S_OK);
    std::vector<std::string> seen;
    while (true) {
        BSTR name = nullptr;
        VARIANT value;
        VariantInit(&value);
        CIMTYPE type = 0;
        HRESULT hr = beta->Next(0, &name, &value, &type, nullptr);
        if (hr == WBEM_S_NO_MORE_DATA)
            break;
        ASSERT_EQ(hr, S_OK);
        seen.push_back(Narrow(Take(name)) + "=" + Describe(value));
        VariantClear(&value);
    }
    EXPECT_EQ(beta->EndEnumeration(), S_OK);
    ASSERT_EQ(seen.size(), 18u);
    EXPECT_EQ(seen[0], "Name=bstr:Beta");
    EXPECT_EQ(seen[7], "U32=i4:10");
    EXPECT_EQ(seen[2], "S8=null");
}

TEST(WmiValues, CloneTextAndClassObjects) {
    ScopedApartment apartment;
    IWbemServicesPtr services = ConnectLinked(u"root\\cimv2");
    IWbemClassObjectPtr partial = Instance(services, u"Flag, Tags, U64", u"alpha");
    IWbemClassObject* copy = nullptr;
    ASSERT_EQ(partial->Clone(&copy), S_OK);
    IWbemClassObjectPtr clone(copy, false);
    EXPECT_NE(static_cast<IWbemClassObject*>(clone), static_cast<IWbemClassObject*>(partial));
    EXPECT_EQ(GetText(clone, u"U64"), "bstr:18446744073709551615");
    EXPECT_EQ(GetText(clone, u"S32"), "null");  // still partial

    BSTR text = nullptr;
    ASSERT_EQ(partial->GetObjectText(0, &text), S_OK);
    EXPECT_EQ(Narrow(Take(text)),
              "\ninstance of Kv_TestTypes\n{\n\tName = \"alpha\";\n\tFlag = TRUE;\n\t"
              "U64 = \"18446744073709551615\";\n\tTags = {\"a\", \"b\\\"c\"};\n};\n");

    IWbemClassObject* raw = nullptr;
    ASSERT_EQ(services->GetObject(Bstr(u"kv_testtypes"), 0, nullptr, &raw, nullptr), S_OK);
    IWbemClassObjectPtr class_object(raw, false);
    CIMTYPE type = 0;
    EXPECT_EQ(GetText(class_object, u"U32", &type), "null");
    EXPECT_EQ(type, CIM_UINT32);
    EXPECT_EQ(GetText(class_object, u"__GENUS"), "i4:1");
    EXPECT_EQ(GetText(class_object, u"__RELPATH"), "bstr:Kv_TestTypes");
    ASSERT_EQ(class_object->GetObjectText(0, &text), S_OK);
    std::string mof = Narrow(Take(text));
    EXPECT_EQ(mof.rfind("\nclass Kv_TestTypes\n{\n\t[key] string Name;\n\tboolean Flag;\n", 0), 0u)
        << mof;
    EXPECT_NE(mof.find("\tstring Tags[];\n"), std::string::npos);

    EXPECT_EQ(services->GetObject(Bstr(u"Kv_Missing"), 0, nullptr, &raw, nullptr),
              WBEM_E_NOT_FOUND);
    struct PathCase {
        const char16_t* path;
        HRESULT expected;
        const char* name;
    };
    const PathCase paths[] = {
        {u"Kv_TestTypes.Name=\"alpha\"", S_OK, "bstr:alpha"},
        {u"Kv_TestTypes.name='BETA'", S_OK, "bstr:Beta"},
        {u"Kv_TestTypes=\"gamma [1]\"", S_OK, "bstr:gamma [1]"},
        {u"\\\\.\\root\\cimv2:Kv_TestTypes.Name=\"alpha\"", S_OK, "bstr:alpha"},
        {u"//./root/cimv2:Kv_TestTypes", S_OK, "null"},
        {u"Kv_TestTypes.Name=\"nobody\"", WBEM_E_NOT_FOUND, ""},
        {u"Kv_TestTypes.U32=5", WBEM_E_INVALID_OBJECT_PATH, ""},
        {u"Kv_TestTypes=@", WBEM_E_INVALID_OBJECT_PATH, ""},
        {u"Kv_TestTypes.Name=", WBEM_E_INVALID_OBJECT_PATH, ""},
        {u"Kv_TestTypes.Name=\"open", WBEM_E_INVALID_OBJECT_PATH, ""},
        {u"\\\\far\\root\\cimv2:Kv_TestTypes", WBEM_E_TRANSPORT_FAILURE, ""},
        {u"root\\nothing:Kv_TestTypes", WBEM_E_INVALID_NAMESPACE, ""},
    };
    for (const PathCase& c : paths) {
        raw = nullptr;
        EXPECT_EQ(services->GetObject(Bstr(c.path), 0, nullptr, &raw, nullptr), c.expected)
            << Narrow(c.path);
        IWbemClassObjectPtr found(raw, false);
        if (found != nullptr) {
            EXPECT_EQ(GetText(found, u"Name"), c.name) << Narrow(c.path);
        }
    }
    EXPECT_EQ(class_object->Put(u"U32", 0, nullptr, 0), WBEM_E_NOT_SUPPORTED);
    EXPECT_EQ(class_object->InheritsFrom(u"CIM_Thing"), WBEM_S_FALSE);
}

TEST(WmiValues, SynchronousEnumerators) {
    ScopedApartment apartment;
    IWbemServicesPtr services = ConnectLinked(u"root\\cimv2");
    IEnumWbemClassObject* raw = nullptr;
    ASSERT_EQ(services->CreateInstanceEnum(Bstr(u"Kv_TestTypes"), 0, nullptr, &raw), S_OK);
    IEnumWbemClassObjectPtr enumerator(raw, false);
    IWbemClassObject* objects[5] = {};
    ULONG returned = 99;
    EXPECT_EQ(enumerator->Next(-2, 1, objects, &returned), WBEM_E_INVALID_PARAMETER);
    EXPECT_EQ(enumerator->Next(0, 2, objects, &returned), S_OK);
    EXPECT_EQ(returned, 2u);
    IEnumWbemClassObject* copy = nullptr;
    ASSERT_EQ(enumerator->Clone(&copy), S_OK);
    IEnumWbemClassObjectPtr clone(copy, false);
    for (ULONG i = 0; i < returned; ++i)
        objects[i]->Release();
    EXPECT_EQ(enumerator->Next(long(WBEM_INFINITE), 5, objects, &returned), WBEM_S_FALSE);
    EXPECT_EQ(returned, 1u);
    objects[0]->Release();
    EXPECT_EQ(enumerator->Next(0, 1, objects, &returned), WBEM_S_FALSE);
    EXPECT_EQ(returned, 0u);
    // The clone kept its own place.
    EXPECT_EQ(clone->Skip(0, 1), S_OK);
    EXPECT_EQ(clone->Skip(0, 1), WBEM_S_FALSE);
    EXPECT_EQ(enumerator->Reset(), S_OK);
    EXPECT_EQ(enumerator->Skip(0, 3), S_OK);

    ASSERT_EQ(
        services->ExecQuery(Bstr(u"WQL"), Bstr(u"SELECT * FROM Kv_TestTypes"),
                            WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, &raw),
        S_OK);
    IEnumWbemClassObjectPtr forward(raw, false);
    EXPECT_EQ(forward->Reset(), WBEM_E_INVALID_OPERATION);
    EXPECT_EQ(forward->Clone(&copy), WBEM_E_INVALID_OPERATION);

    ASSERT_EQ(services->CreateClassEnum(nullptr, 0, nullptr, &raw), S_OK);
    IEnumWbemClassObjectPtr classes(raw, false);
    // Kv_TestTypes, Kv_TestFails, Kv_TestSelective, Kv_TestEmbedded
    EXPECT_EQ(classes->Skip(0, 4), S_OK);
    EXPECT_EQ(classes->Skip(0, 1), WBEM_S_FALSE);

    // A provider that throws fails the synchronous query.
    std::vector<IWbemClassObjectPtr> none;
    EXPECT_EQ(Query(services, u"SELECT * FROM Kv_TestFails", none), WBEM_E_PROVIDER_FAILURE);
}

// Embedded objects: VT_UNKNOWN holding an IWbemClassObject of the embedded class, arrays of
// them as SAFEARRAYs of VT_UNKNOWN; each a full object with its own text, nested ones too.
TEST(WmiValues, EmbeddedObjects) {
    ScopedApartment apartment;
    IWbemServicesPtr services = ConnectLinked(u"root\\cimv2");
    std::vector<IWbemClassObjectPtr> objects;
    ASSERT_EQ(Query(services, u"SELECT * FROM Kv_TestEmbedded WHERE One IS NOT NULL", objects),
              S_OK);
    ASSERT_EQ(objects.size(), 1u);
    IWbemClassObject* box = objects[0];

    auto embedded = [](IWbemClassObject* object, const char16_t* name) {
        VARIANT value;
        VariantInit(&value);
        CIMTYPE type = 0;
        EXPECT_EQ(object->Get(name, 0, &value, &type, nullptr), S_OK);
        EXPECT_EQ(type, CIM_OBJECT);
        IWbemClassObjectPtr inner;
        if (V_VT(&value) == VT_UNKNOWN) {
            EXPECT_EQ(V_UNKNOWN(&value)->QueryInterface(IID_IWbemClassObject,
                                                        reinterpret_cast<void**>(&inner)),
                      S_OK);
        } else {
            ADD_FAILURE() << Describe(value);
        }
        VariantClear(&value);
        return inner;
    };
    IWbemClassObjectPtr lid = embedded(box, u"One");
    ASSERT_TRUE(lid != nullptr);
    EXPECT_EQ(GetText(lid, u"__CLASS"), "bstr:Kv_Part");
    EXPECT_EQ(GetText(lid, u"Label"), "bstr:lid");
    EXPECT_EQ(GetText(lid, u"Size"), "i4:7");
    EXPECT_EQ(GetText(lid, u"__PATH"), "null");  // an embedded object lives in no namespace
    IWbemClassObjectPtr hinge = embedded(lid, u"Inner");
    ASSERT_TRUE(hinge != nullptr);
    EXPECT_EQ(GetText(hinge, u"Label"), "bstr:hinge");
    EXPECT_EQ(GetText(box, u"None"), "null");

    VARIANT many;
    VariantInit(&many);
    CIMTYPE type = 0;
    ASSERT_EQ(box->Get(u"Many", 0, &many, &type, nullptr), S_OK);
    EXPECT_EQ(type, CIM_OBJECT | CIM_FLAG_ARRAY);
    ASSERT_EQ(V_VT(&many), VT_ARRAY | VT_UNKNOWN);
    LONG upper = -1;
    SafeArrayGetUBound(V_ARRAY(&many), 1, &upper);
    ASSERT_EQ(upper, 1);
    std::string labels;
    for (LONG i = 0; i <= upper; ++i) {
        IUnknown* item = nullptr;
        ASSERT_EQ(SafeArrayGetElement(V_ARRAY(&many), &i, &item), S_OK);
        IWbemClassObjectPtr part;
        ASSERT_EQ(item->QueryInterface(IID_IWbemClassObject, reinterpret_cast<void**>(&part)),
                  S_OK);
        item->Release();
        labels += GetText(part, u"Label") + ";";
    }
    EXPECT_EQ(labels, "bstr:a;bstr:b;");
    // Nothing turns an object into text: a query document's row leaves such a property out.
    VARIANT text;
    VariantInit(&text);
    EXPECT_TRUE(FAILED(VariantChangeType(&text, &many, 0, VT_BSTR)));
    VariantClear(&many);

    BSTR mof = nullptr;
    ASSERT_EQ(box->GetObjectText(0, &mof), S_OK);
    EXPECT_EQ(Narrow(Take(mof)),
              "\ninstance of Kv_TestEmbedded\n{\n\tName = \"box\";\n"
              "\tOne = \ninstance of Kv_Part\n{\n\tLabel = \"lid\";\n\tSize = 7;\n"
              "\tInner = \ninstance of Kv_Part\n{\n\tLabel = \"hinge\";\n\tSize = 0;\n};\n};\n"
              "\tMany = {\ninstance of Kv_Part\n{\n\tLabel = \"a\";\n\tSize = 1;\n}, "
              "\ninstance of Kv_Part\n{\n\tLabel = \"b\";\n\tSize = 2;\n}};\n};\n");
}

}  // namespace
