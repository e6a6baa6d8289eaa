// The process-wide count of what objects hold for scripts, and how a VARIANT is sized for it.
#include "kvwin/held_memory.h"

#include <gtest/gtest.h>

#include "kvtest/held_memory_bound.h"
#include "win/comutil.h"

namespace {

TEST(HeldMemory, ChargesStopAtTheBoundAndHoldersGiveBackWhatTheyTook) {
    const size_t before = kvwin::HeldMemoryInUse();
    kvtest::ScopedHeldMemoryBound bound(before + 1000);
    {
        kvwin::HeldMemory a;
        kvwin::HeldMemory b;
        EXPECT_TRUE(a.Charge(600));
        EXPECT_FALSE(b.Charge(401));  // refused whole, nothing taken
        EXPECT_EQ(b.bytes(), 0u);
        EXPECT_TRUE(b.Charge(400));
        EXPECT_FALSE(a.Change(600, 601));
        EXPECT_TRUE(a.Change(600, 100));  // shrinking always succeeds
        EXPECT_TRUE(b.Change(400, 900));
        EXPECT_FALSE(b.Charge(size_t(-1)));  // no wrap-around
        a.Refund(5000);                      // never more than it holds
        EXPECT_EQ(a.bytes(), 0u);
        EXPECT_EQ(kvwin::HeldMemoryInUse(), before + 900);
    }
    EXPECT_EQ(kvwin::HeldMemoryInUse(), before);
}

TEST(HeldMemory, AVariantCountsItsTextsAndArraysButNotObjects) {
    EXPECT_EQ(kvwin::VariantHeldBytes(_variant_t(42L)), 0u);
    const size_t text = kvwin::VariantHeldBytes(_variant_t(u"0123456789"));
    EXPECT_GE(text, 20u);
    EXPECT_LT(text, 40u);

    // An array of variants holding texts and an array of variants, by reference too.
    SAFEARRAY* inner = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    for (LONG i = 0; i < 2; ++i) {
        _variant_t item(u"0123456789");
        SafeArrayPutElement(inner, &i, &item);
    }
    SAFEARRAY* outer = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    _variant_t nested;
    nested.vt = VT_ARRAY | VT_VARIANT;
    nested.parray = inner;
    LONG zero = 0;
    SafeArrayPutElement(outer, &zero, &nested);
    _variant_t array;
    array.vt = VT_ARRAY | VT_VARIANT;
    array.parray = outer;
    const size_t bytes = kvwin::VariantHeldBytes(array);
    EXPECT_GE(bytes, 2 * text + 3 * sizeof(VARIANT));
    VARIANT ref;
    ref.vt = VT_BYREF | VT_VARIANT;
    ref.pvarVal = &array;
    EXPECT_EQ(kvwin::VariantHeldBytes(ref), bytes);
}

}  // namespace
