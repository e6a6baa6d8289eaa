// Values across the COM boundary: arrays of each element type COM hands out, their storage
// order, and the round trip back to a SAFEARRAY.
#include <gtest/gtest.h>

#include "interpreter.h"
#include "variant_conversion.h"

namespace kvvbs {
namespace {

TEST(VBScriptVariants, ArraysOfEachElementTypeBecomeScriptArrays) {
    SAFEARRAY* longs = SafeArrayCreateVector(VT_I4, 0, 3);
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, 2);
    SAFEARRAY* texts = SafeArrayCreateVector(VT_BSTR, 0, 2);
    for (LONG i = 0; i < 3; ++i) {
        LONG v = 10 * i;
        SafeArrayPutElement(longs, &i, &v);
    }
    for (LONG i = 0; i < 2; ++i) {
        BYTE b = BYTE(200 + i);
        SafeArrayPutElement(bytes, &i, &b);
        BSTR t = SysAllocString(i ? u"two" : u"one");
        SafeArrayPutElement(texts, &i, t);
        SysFreeString(t);
    }
    struct Case {
        VARTYPE vt;
        SAFEARRAY* array;
        int32_t upper;
    } cases[] = {{VT_I4, longs, 2}, {VT_UI1, bytes, 1}, {VT_BSTR, texts, 1}};
    for (const Case& c : cases) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_ARRAY | c.vt;
        v.parray = c.array;
        Value a = FromVariant(v);
        ASSERT_TRUE(a.Is(Kind::Array)) << c.vt;
        EXPECT_EQ(a.AsArray()->upper, std::vector<int32_t>{c.upper});
        VariantClear(&v);
        if (c.vt == VT_I4) {
            EXPECT_TRUE(a.AsArray()->items[2].Is(Kind::Long));
            EXPECT_EQ(a.AsArray()->items[2].AsInt(), 20);
        } else if (c.vt == VT_UI1) {
            EXPECT_TRUE(a.AsArray()->items[1].Is(Kind::Byte));
            EXPECT_EQ(a.AsArray()->items[1].AsInt(), 201);
        } else {
            EXPECT_EQ(a.AsArray()->items[1].AsString(), u"two");
        }
    }
}

TEST(VBScriptVariants, ATwoDimensionalArrayKeepsItsIndexesBothWays) {
    // a(i, j) = 10 * i + j for a 2 x 3 array, out to a SAFEARRAY and back.
    auto* rep = new ArrayRep();
    Value a = Value::AttachArray(rep);
    rep->upper = {1, 2};
    rep->items.resize(6);
    for (int i = 0; i <= 1; ++i) {
        for (int j = 0; j <= 2; ++j) {
            Value index[] = {Value::Long(i), Value::Long(j)};
            rep->items[ElementIndex(*rep, index, 2)] = Value::Long(10 * i + j);
        }
    }
    VARIANT v;
    VariantInit(&v);
    ToVariant(a, &v);
    ASSERT_EQ(v.vt, VT_ARRAY | VT_VARIANT);
    ASSERT_EQ(SafeArrayGetDim(v.parray), 2u);
    LONG upper = 0;
    SafeArrayGetUBound(v.parray, 1, &upper);  // dimension 1: the left-most
    EXPECT_EQ(upper, 1);
    SafeArrayGetUBound(v.parray, 2, &upper);
    EXPECT_EQ(upper, 2);
    VARIANT* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(v.parray, reinterpret_cast<void**>(&data)), S_OK);
    EXPECT_EQ(data[1].lVal, 10);  // a(1, 0): the left-most index varies fastest
    EXPECT_EQ(data[5].lVal, 12);  // a(1, 2)
    SafeArrayUnaccessData(v.parray);
    Value back = FromVariant(v);
    VariantClear(&v);
    Value index[] = {Value::Long(1), Value::Long(1)};
    const ArrayRep& b = *back.AsArray();
    EXPECT_EQ(b.items[ElementIndex(b, index, 2)].AsInt(), 11);
}

TEST(VBScriptVariants, WmiValueKindsAndOmittedArguments) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_UI4;
    v.ulVal = 0xFFFFFFFFu;
    EXPECT_TRUE(FromVariant(v).Is(Kind::Double));
    v.vt = VT_NULL;
    EXPECT_TRUE(FromVariant(v).IsNull());
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    EXPECT_TRUE(FromVariant(v).IsMissing());
    VARIANT inner;
    VariantInit(&inner);
    inner.vt = VT_I2;
    inner.iVal = -3;
    v.vt = VT_BYREF | VT_VARIANT;
    v.pvarVal = &inner;
    Value r = FromVariant(v);
    EXPECT_TRUE(r.Is(Kind::Integer));
    EXPECT_EQ(r.AsInt(), -3);
}

}  // namespace
}  // namespace kvvbs
