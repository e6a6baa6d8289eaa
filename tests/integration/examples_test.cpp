// Every WMI query document in examples/ run through the in-process road against this
// machine's live classes. Each must give a result document with rows, unless the machine
// has nothing of the class at all (firmware tables in a container, memory modules for a
// user who cannot read them): then the test says so and skips.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "entry/query_driver.h"
#include "kvtest/com_support.h"
#include "kvtest/documented_classes.h"
#include "kvwin/utf.h"
#include "win/comdef.h"
#include "win/oleauto.h"
#include "win/wbemcli.h"
#include "xml/xml_document.h"

namespace {

std::vector<std::string> WmiExamples() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(KAVREL_EXAMPLES_DIR)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".xml" && name.rfind("script-", 0) != 0)
            names.push_back(entry.path().stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::u16string ReadExample(const std::string& name) {
    std::ifstream in(std::string(KAVREL_EXAMPLES_DIR) + "/" + name + ".xml", std::ios::binary);
    return kvwin::FromUtf8(std::string(std::istreambuf_iterator<char>(in), {}));
}

// How many instances WMI has of the class in its namespace, asked directly.
long InstanceCount(const std::u16string& nameSpace, const std::u16string& className) {
    IWbemLocator* locator = nullptr;
    if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                reinterpret_cast<void**>(&locator))))
        return -1;
    IWbemServices* services = nullptr;
    HRESULT hr = locator->ConnectServer(_bstr_t(nameSpace.c_str()), nullptr, nullptr, nullptr, 0,
                                        nullptr, nullptr, &services);
    locator->Release();
    if (FAILED(hr))
        return -1;
    IEnumWbemClassObject* objects = nullptr;
    hr = services->ExecQuery(_bstr_t(u"WQL"), _bstr_t((u"select * from " + className).c_str()),
                             WBEM_FLAG_FORWARD_ONLY, nullptr, &objects);
    services->Release();
    if (FAILED(hr))
        return -1;
    long count = 0;
    for (;;) {
        IWbemClassObject* object = nullptr;
        ULONG got = 0;
        if (objects->Next(WBEM_INFINITE, 1, &object, &got) != S_OK || got == 0)
            break;
        object->Release();
        ++count;
    }
    objects->Release();
    return count;
}

class Example : public ::testing::TestWithParam<std::string> {};

TEST_P(Example, GivesRowsFromThisMachine) {
    kvtest::ScopedApartment apartment;
    const std::u16string document = ReadExample(GetParam());
    ASSERT_FALSE(document.empty());
    BSTR result = nullptr;
    const HRESULT hr = RunQueryDocument(document.c_str(), &result);
    if (hr != S_OK) {
        std::u16string className, nameSpace;
        GetAttributeString(GetRootElement(document.c_str()), u"class", className);
        GetAttributeString(GetRootElement(document.c_str()), u"namespace", nameSpace);
        const long count = InstanceCount(nameSpace, className);
        ASSERT_EQ(count, 0) << "the query failed with 0x" << std::hex << hr << " although "
                            << kvwin::ToUtf8(className) << " has instances here";
        GTEST_SKIP() << kvwin::ToUtf8(className) << " has no instances on this machine";
    }
    const std::u16string text(result, SysStringLen(result));
    SysFreeString(result);
    EXPECT_EQ(text.rfind(u"<result>\n<row>", 0), 0u) << kvwin::ToUtf8(text);
    // The result is well-formed XML: the DOM reads it back.
    IXMLDOMElementPtr root = GetRootElement(text.c_str());
    IXMLDOMNodeList* rows = nullptr;
    ASSERT_EQ(root->selectNodes(_bstr_t(u"row"), &rows), S_OK);
    LONG count = 0;
    rows->get_length(&count);
    rows->Release();
    EXPECT_GT(count, 0);
}

INSTANTIATE_TEST_SUITE_P(WmiExamples, Example, ::testing::ValuesIn(WmiExamples()),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// A document run again is read from what was kept of its text: each text keeps its own
// bindings (columns, conversion rules, filter), also once more texts were run than are kept.
TEST(KeptDocuments, EachTextGivesItsOwnRowsRunAfterRun) {
    kvtest::ScopedApartment apartment;
    auto document = [](int column, const char16_t* filter) {
        return u"<query namespace=\"root\\cimv2\" class=\"Win32_OperatingSystem\">"
               u"<rules><rule name=\"r\"><definition><function name=\"GetSQLBooleantoBit\" "
               u"param=\"\"/></definition></rule></rules><properties>"
               u"<property mapsTo=\"" +
               kvwin::FromUtf8(std::to_string(column)) +
               u"\">Caption</property><property mapsTo=\"99\" rule=\"r\">Primary</property>"
               u"</properties><filter clause=\"" +
               filter + u"\"/></query>";
    };
    auto run = [](const std::u16string& text) {
        BSTR result = nullptr;
        EXPECT_EQ(RunQueryDocument(text.c_str(), &result), S_OK);
        std::u16string out(result ? result : u"", SysStringLen(result));
        SysFreeString(result);
        return out;
    };
    const std::u16string first = run(document(0, u""));
    EXPECT_NE(first.find(u"<value column=\"0\">"), std::u16string::npos) << kvwin::ToUtf8(first);
    EXPECT_NE(first.find(u"<value column=\"99\">1</value>"), std::u16string::npos)
        << kvwin::ToUtf8(first);
    for (int column = 1; column <= 20; ++column) {
        const std::u16string other = run(document(column, u""));
        const std::u16string mark = u"<value column=\"" + kvwin::FromUtf8(std::to_string(column));
        EXPECT_NE(other.find(mark), std::u16string::npos) << kvwin::ToUtf8(other);
        EXPECT_EQ(other.find(u"<value column=\"0\">"), std::u16string::npos);
        EXPECT_EQ(run(document(0, u"")), first) << "after column " << column;
    }
    // A filter that matches nothing: no rows, whether the text was run before or not.
    BSTR result = nullptr;
    const std::u16string none = document(0, u"where Primary = FALSE");
    for (int again = 0; again < 2; ++again) {
        EXPECT_EQ(RunQueryDocument(none.c_str(), &result), static_cast<HRESULT>(0x80041000));
        EXPECT_EQ(result, nullptr);
    }
}

// A document asking for every property Windows documents for a class, as an inventory
// written for Windows asks for them: one per class of the documented lists.
TEST(WindowsDocuments, EveryDocumentedPropertyOfEveryClassRuns) {
    kvtest::ScopedApartment apartment;
    std::ifstream in(KAVREL_DOCUMENTED_PROPERTIES);
    const auto classes = kvtest::ParseDocumentedClasses(
        std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    ASSERT_FALSE(classes.empty());
    for (const kvtest::DocumentedClass& documented : classes) {
        const std::string& className = documented.name;
        SCOPED_TRACE(className);
        std::string document =
            "<query namespace=\"" + documented.ns + "\" class=\"" + className + "\"><properties>";
        for (size_t i = 0; i < documented.properties.size(); ++i)
            document += "<property mapsTo=\"" + std::to_string(i) + "\">" +
                        documented.properties[i].first + "</property>";
        document += "</properties></query>";
        BSTR result = nullptr;
        const HRESULT hr = RunQueryDocument(kvwin::FromUtf8(document).c_str(), &result);
        if (hr != S_OK) {
            // Only a class with nothing on this machine may come back without rows.
            EXPECT_EQ(InstanceCount(kvwin::FromUtf8(documented.ns), kvwin::FromUtf8(className)), 0)
                << "0x" << std::hex << hr;
            continue;
        }
        const std::u16string text(result, SysStringLen(result));
        SysFreeString(result);
        EXPECT_EQ(text.rfind(u"<result>\n<row>", 0), 0u) << kvwin::ToUtf8(text).substr(0, 200);
    }
}

}  // namespace
