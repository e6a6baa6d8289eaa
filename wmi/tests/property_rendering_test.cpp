// How property values become text, and what a property that cannot be read costs.
#include <climits>

#include "engine_test_support.h"
#include "kvwin/wide_string.h"
#include "wmi/property_rendering.h"

namespace wmitest {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

_variant_t Bool(VARIANT_BOOL value) {
    _variant_t v;
    v.vt = VT_BOOL;
    v.boolVal = value;
    return v;
}

_variant_t NullString() {
    _variant_t v;
    v.vt = VT_BSTR;
    v.bstrVal = nullptr;
    return v;
}

struct Rendering {
    const char* what;
    _variant_t value;
    std::string text;
};

TEST(PropertyRenderingTest, ValuesByType) {
    const Rendering renderings[] = {
        {"VARIANT_TRUE", Bool(VARIANT_TRUE), "True"},
        {"bool 1", Bool(1), "True"},
        {"bool 0", Bool(VARIANT_FALSE), "False"},
        {"string", _variant_t(TEXT("Win32 \u00e9t\u00e9")), "Win32 \xc3\xa9t\xc3\xa9"},
        {"empty string", _variant_t(TEXT("")), ""},
        {"null string", NullString(), ""},
        {"integer array", IntegerArray({5, 7, -3}), "5;7;-3;"},
        {"one element", IntegerArray({5}), "5"},
        {"one negative element", IntegerArray({-5}), "-5"},
        {"empty array", IntegerArray({}), ""},
        {"extremes", IntegerArray({INT_MIN, INT_MAX, 0}), "-2147483648;2147483647;0;"},
        {"lower bound 3", IntegerArray({10, 20}, 3), "10;20;"},
        {"VT_I4", _variant_t(42), "42"},
        {"negative VT_I4", _variant_t(-42), "-42"},
        {"VT_EMPTY", _variant_t(), ""},
        {"VT_UI1", _variant_t(BYTE(200)), "200"},
        {"VT_R8", _variant_t(2.5), "2.5"},
    };
    for (const Rendering& rendering : renderings) {
        SCOPED_TRACE(rendering.what);
        EXPECT_EQ(Utf8(RenderPropertyValue(rendering.value)), rendering.text);
    }
}

TEST(PropertyRenderingTest, AStringArrayCannotBeRendered) {
    try {
        RenderPropertyValue(StringArray({TEXT("a"), TEXT("b")}));
        ADD_FAILURE() << "a string array was rendered";
    } catch (const _com_error& error) {
        EXPECT_TRUE(FAILED(error.Error()));
    }
}

class ObjectRowTest : public WmiEngineTest {};

TEST_F(ObjectRowTest, EachPropertyIsReadAndRenderedOnItsOwn) {
    FakeObject* object = NewObject();
    object->Set(TEXT("Enabled"), Bool(VARIANT_TRUE))
        .Set(TEXT("Codes"), IntegerArray({1, 2}))
        .Set(TEXT("Caption"), _variant_t(TEXT("disk")))
        .Set(TEXT("Vendor"), Null())
        .Set(TEXT("Names"), StringArray({TEXT("x")}))
        .Fail(TEXT("Broken"), WBEM_E_FAILED)
        .Fail(TEXT("Huge"), WBEM_E_OUT_OF_MEMORY)
        .Fail(TEXT("Odd"), WBEM_E_INVALID_PARAMETER)
        .Fail(TEXT("Class"), WBEM_E_INVALID_CLASS)
        .Fail(TEXT("Half"), WBEM_S_FALSE);
    const std::vector<WString> names = {TEXT("Enabled"), TEXT("Broken"), TEXT("Codes"),
                                        TEXT("Missing"), TEXT("Vendor"), TEXT("Huge"),
                                        TEXT("Names"),   TEXT("Odd"),    TEXT("Class"),
                                        TEXT("Half"),    TEXT("Caption")};
    WMIRows rows = {WMIRowMap{{TEXT("earlier"), TEXT("row")}}};
    AppendObjectRow(object, names, rows);
    object->Release();

    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(RowText(rows[0]), "earlier=row");
    // The boolean's text does not carry over into the array's; the null, the unreadable and
    // the unrenderable properties have no entry.
    EXPECT_EQ(RowText(rows[1]), "Caption=disk;Codes=1;2;;Enabled=True");
    const std::string prefix = "8|CWmiQuery::ExecuteQuery|WMI Property Failed - Property:";
    EXPECT_THAT(
        LoggedLines(),
        ElementsAre(prefix + "Broken Error:WBEM_E_FAILED",
                    prefix + "Missing Error:PROPERTY_NOT_FOUND",
                    prefix + "Huge Error:WBEM_E_OUT_OF_MEMORY", prefix + "Names Error:Unknown",
                    prefix + "Odd Error:WBEM_E_INVALID_PARAMETER",
                    prefix + "Class Error:Unknown Error", prefix + "Half Error:Unknown Error"));
}

TEST_F(ObjectRowTest, AnObjectWithNothingReadableStillGivesARow) {
    FakeObject* object = NewObject();
    WMIRows rows;
    AppendObjectRow(object, {TEXT("A"), TEXT(""), TEXT("B")}, rows);
    object->Release();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_TRUE(rows[0].empty());
    const std::string prefix = "8|CWmiQuery::ExecuteQuery|WMI Property Failed - Property:";
    EXPECT_THAT(LoggedLines(), ElementsAre(prefix + "A Error:PROPERTY_NOT_FOUND",
                                           prefix + " Error:PROPERTY_NOT_FOUND",
                                           prefix + "B Error:PROPERTY_NOT_FOUND"));
}

TEST_F(ObjectRowTest, NamesAreCaseSensitiveAndARepeatedNameIsOneEntry) {
    FakeObject* object = NewObject();
    object->Set(TEXT("Name"), _variant_t(TEXT("one"))).Set(TEXT("name"), _variant_t(TEXT("two")));
    WMIRows rows;
    AppendObjectRow(object, {TEXT("Name"), TEXT("name"), TEXT("Name")}, rows);
    object->Release();
    EXPECT_EQ(RowText(rows.at(0)), "Name=one;name=two");  // names compare case-sensitively
    EXPECT_THAT(LoggedLines(), IsEmpty());
}

}  // namespace
}  // namespace wmitest
