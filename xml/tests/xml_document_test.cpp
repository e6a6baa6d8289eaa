// Reading query documents: loading, attributes by name and by path, element text.
#include <gtest/gtest.h>

#include "kvtest/com_support.h"
#include "kvtest/log_capture.h"
#include "kvwin/com_runtime.h"
#include "win/errors.h"
#include "xml/xml_document.h"

namespace {

class XmlAccess : public ::testing::Test {
  protected:
    kvtest::ScopedApartment apartment;
    IXMLDOMElementPtr root = GetRootElement(
        u"<query namespace='root\\cimv2' empty='' mapsTo='12x' bad='x' neg=' -7'>"
        u"<filter clause='Name = 1'/><filter clause='second'/>"
        u"<scriptText>function f() {<![CDATA[ return 1; ]]>}<b>bold</b></scriptText>"
        u"</query>");
};

TEST_F(XmlAccess, AttributesByNameAndByPath) {
    std::u16string value = u"untouched";
    EXPECT_TRUE(GetAttributeString(root, u"namespace", value));
    EXPECT_EQ(value, u"root\\cimv2");
    EXPECT_TRUE(GetAttributeString(root, u"empty", value));
    EXPECT_EQ(value, u"");
    EXPECT_TRUE(GetAttributeString(root, u"filter/clause", value));
    EXPECT_EQ(value, u"Name = 1");
    value = u"untouched";
    EXPECT_TRUE(GetAttributeString(root, u"filter/@clause", value));
    EXPECT_EQ(value, u"Name = 1");

    value = u"untouched";
    EXPECT_FALSE(GetAttributeString(root, u"missing", value));
    EXPECT_FALSE(GetAttributeString(root, u"nothing/clause", value));
    EXPECT_FALSE(GetAttributeString(root, u"filter/missing", value));
    EXPECT_FALSE(GetAttributeString(nullptr, u"namespace", value));
    EXPECT_EQ(value, u"untouched");
}

TEST_F(XmlAccess, NumbersReadAsTheRuntimeReadsThem) {
    int32_t number = 99;
    EXPECT_TRUE(GetAttributeNumber(root, u"mapsTo", number));
    EXPECT_EQ(number, 12);
    EXPECT_TRUE(GetAttributeNumber(root, u"bad", number));
    EXPECT_EQ(number, 0);
    EXPECT_TRUE(GetAttributeNumber(root, u"neg", number));
    EXPECT_EQ(number, -7);
    number = 99;
    EXPECT_FALSE(GetAttributeNumber(root, u"missing", number));
    EXPECT_EQ(number, 99);
}

TEST_F(XmlAccess, ElementTextIncludesDescendantsAndCData) {
    std::u16string text;
    EXPECT_TRUE(GetChildTextString(root, u"scriptText", text));
    EXPECT_EQ(text, u"function f() { return 1; }bold");
    std::u16string own;
    EXPECT_TRUE(GetChildTextString(root, u"", own));
    EXPECT_EQ(own, text);  // the filters have no text
    EXPECT_TRUE(GetChildTextString(root, nullptr, own));
    text = u"untouched";
    EXPECT_FALSE(GetChildTextString(root, u"noSuchChild", text));
    EXPECT_EQ(text, u"untouched");
}

TEST(XmlLoading, TextThatDoesNotParseRaisesTheParsersCodeAfterOneWarning) {
    kvtest::ScopedApartment apartment;
    kvtest::ClearLoggedLines();
    try {
        GetRootElement(u"this is not XML");
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
    kvwin::RegisterBuiltinClass({CLSID_DOMDocument, u"", u"", nullptr, u"libno-such-module.so"});
    kvtest::ClearLoggedLines();
    try {
        LoadXMLDOMDocument(u"<a/>");
        FAIL() << "no error raised";
    } catch (const _com_error& error) {
        EXPECT_TRUE(FAILED(error.Error()));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(error.Error()));
    }
    EXPECT_EQ(kvtest::Lines().size(), 1u);
}

}  // namespace
