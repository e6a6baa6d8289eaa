// A Windows-written query naming every documented property of a class, run through the
// WMI service as a script or an inventory document would: each class of the documented
// list answers it, in its own namespace, and every property of every instance reads back
// with the CIM type Windows documents.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "kvtest/com_support.h"
#include "kvtest/documented_classes.h"
#include "kvwin/utf.h"
#include "win/comdef.h"
#include "win/oleauto.h"
#include "win/wbemcli.h"

namespace {

std::vector<kvtest::DocumentedClass> ReadDocumented() {
    std::ifstream in(KAVREL_DOCUMENTED_PROPERTIES);
    return kvtest::ParseDocumentedClasses(
        std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

std::string TypeText(CIMTYPE type) {
    static const std::map<CIMTYPE, std::string> kNames = {
        {CIM_BOOLEAN, "boolean"},   {CIM_UINT8, "uint8"},   {CIM_SINT8, "sint8"},
        {CIM_UINT16, "uint16"},     {CIM_SINT16, "sint16"}, {CIM_UINT32, "uint32"},
        {CIM_SINT32, "sint32"},     {CIM_UINT64, "uint64"}, {CIM_SINT64, "sint64"},
        {CIM_REAL32, "real32"},     {CIM_REAL64, "real64"}, {CIM_STRING, "string"},
        {CIM_DATETIME, "datetime"}, {CIM_OBJECT, "object"}, {CIM_REFERENCE, "ref"}};
    auto found = kNames.find(type & ~CIM_FLAG_ARRAY);
    const std::string base = found == kNames.end() ? "?" : found->second;
    return (type & CIM_FLAG_ARRAY) ? base + "[]" : base;
}

TEST(DocumentedQueries, EveryDocumentedPropertyCanBeAskedFor) {
    kvtest::ScopedApartment apartment;
    const auto classes = ReadDocumented();
    ASSERT_FALSE(classes.empty());
    IWbemLocator* locator = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                               reinterpret_cast<void**>(&locator)),
              S_OK);
    for (const kvtest::DocumentedClass& doc : classes) {
        SCOPED_TRACE(doc.ns + " " + doc.name);
        IWbemServices* services = nullptr;
        ASSERT_EQ(locator->ConnectServer(_bstr_t(kvwin::FromUtf8(doc.ns).c_str()), nullptr, nullptr,
                                         nullptr, 0, nullptr, nullptr, &services),
                  S_OK);
        std::string select;
        for (const auto& [property, type] : doc.properties)
            select += (select.empty() ? "" : ", ") + property;
        const std::u16string wql = kvwin::FromUtf8("SELECT " + select + " FROM " + doc.name);
        IEnumWbemClassObject* objects = nullptr;
        ASSERT_EQ(services->ExecQuery(_bstr_t(u"WQL"), _bstr_t(wql.c_str()), WBEM_FLAG_FORWARD_ONLY,
                                      nullptr, &objects),
                  S_OK);
        for (;;) {
            IWbemClassObject* object = nullptr;
            ULONG got = 0;
            const HRESULT hr = objects->Next(WBEM_INFINITE, 1, &object, &got);
            if (got == 0) {
                EXPECT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
                break;
            }
            for (const auto& [property, type] : doc.properties) {
                VARIANT value;
                VariantInit(&value);
                CIMTYPE cim = 0;
                EXPECT_EQ(object->Get(kvwin::FromUtf8(property).c_str(), 0, &value, &cim, nullptr),
                          S_OK)
                    << property;
                EXPECT_EQ(TypeText(cim), type) << property;
                VariantClear(&value);
            }
            object->Release();
        }
        objects->Release();
        services->Release();
    }
    locator->Release();
}

}  // namespace
