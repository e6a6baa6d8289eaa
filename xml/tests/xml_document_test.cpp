// Reading query documents: loading, attributes by name and by path, element text.
#include <gtest/gtest.h>

#include "kvtest/com_support.h"
#include "kvtest/log_capture.h"
#include "kvwin/com_runtime.h"
#include "kvwin/wide_string.h"
#include "win/errors.h"
#include "xml/xml_document.h"

namespace {

class XmlAccess : public ::testing::Test {
  protected:
    kvtest::ScopedApartment apartment;
    IXMLDOMElementPtr root = GetRootElement(
        TEXT("<query namespace='root\\cimv2' empty='' mapsTo='12x' bad='x' neg=' -7'>")
            TEXT("<filter clause='Name = 1'/><filter clause='second'/>")
                TEXT("<scriptText>function f() {<![CDATA[ return 1; ]]>}<b>bold</b></scriptText>")
                    TEXT("</query>"));
};

TEST_F(XmlAccess, AttributesByNameAndByPath) {
    WString value = TEXT("untouched");
    EXPECT_TRUE(GetAttributeString(root, TEXT("namespace"), value));
    EXPECT_EQ(value, TEXT("root\\cimv2"));
    EXPECT_TRUE(GetAttributeString(root, TEXT("empty"), value));
    EXPECT_EQ(value, TEXT(""));
    EXPECT_TRUE(GetAttributeString(root, TEXT("filter/clause"), value));
    EXPECT_EQ(value, TEXT("Name = 1"));
    value = TEXT("untouched");
    EXPECT_TRUE(GetAttributeString(root, TEXT("filter/@clause"), value));
    EXPECT_EQ(value, TEXT("Name = 1"));

    value = TEXT("untouched");
    EXPECT_FALSE(GetAttributeString(root, TEXT("missing"), value));
    EXPECT_FALSE(GetAttributeString(root, TEXT("nothing/clause"), value));
    EXPECT_FALSE(GetAttributeString(root, TEXT("filter/missing"), value));
    EXPECT_FALSE(GetAttributeString(nullptr, TEXT("namespace"), value));
    EXPECT_EQ(value, TEXT("untouched"));
}

TEST_F(XmlAccess, NumbersReadAsTheRuntimeReadsThem) {
    int32_t number = 99;
    EXPECT_TRUE(GetAttributeNumber(root, TEXT("mapsTo"), number));
    EXPECT_EQ(number, 12);
    EXPECT_TRUE(GetAttributeNumber(root, TEXT("bad"), number));
    EXPECT_EQ(number, 0);
    EXPECT_TRUE(GetAttributeNumber(root, TEXT("neg"), number));
    EXPECT_EQ(number, -7);
    number = 99;
    EXPECT_FALSE(GetAttributeNumber(root, TEXT("missing"), number));
    EXPECT_EQ(number, 99);
}

TEST_F(XmlAccess, ElementTextIncludesDescendantsAndCData) {
    WString text;
    EXPECT_TRUE(GetChildTextString(root, TEXT("scriptText"), text));
    EXPECT_EQ(text, TEXT("function f() { return 1; }bold"));
    WString own;
    EXPECT_TRUE(GetChildTextString(root, TEXT(""), own));
    EXPECT_EQ(own, text);  // the filters have no text
    EXPECT_TRUE(GetChildTextString(root, nullptr, own));
    text = TEXT("untouched");
    EXPECT_FALSE(GetChildTextString(root, TEXT("noSuchChild"), text));
    EXPECT_EQ(text, TEXT("untouched"));
}

TEST(XmlLoading, TextThatDoesNotParseRaisesTheParsersCodeAfterOneWarning) {
    kvtest::ScopedApartment apartment;
    kvtest::ClearLoggedLines();
    try {
        GetRootElement(TEXT("this is not XML"));
        FAIL() << "no error raised";
    } catch (const _com_error& error) {
        EXPECT_EQ(static_cast<uint32_t>(error.Error()) & 0xFFFFFF00u, 0xC00CE500u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(error.Error()));
        EXPECT_NE(error.Description().length(), 0u);
    }
    const std::vector<std::string> lines = kvtest::Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("2|LoadXMLDOMDocument|Error loading document: ", 0), 0u);
}

TEST(XmlLoading, ADomThatCannotBeCreatedIsReportedWithItsCode) {
    kvtest::ScopedApartment apartment;
    // Point the document class at a module that does not exist.
    kvwin::RegisterBuiltinClass(
        {CLSID_DOMDocument, TEXT(""), TEXT(""), nullptr, TEXT("libno-such-module.so")});
    kvtest::ClearLoggedLines();
    try {
        LoadXMLDOMDocument(TEXT("<a/>"));
        FAIL() << "no error raised";
    } catch (const _com_error& error) {
        EXPECT_TRUE(FAILED(error.Error()));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(error.Error()));
    }
    EXPECT_EQ(kvtest::Lines().size(), 1u);
}

}  // namespace
