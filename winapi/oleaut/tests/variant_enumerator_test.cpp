// The snapshot enumerator a collection's _NewEnum returns: it owns the values it is given,
// hands out copies, and lets go of the values only when the last of its clones goes.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "kvtest/held_memory_bound.h"
#include "kvwin/com_object.h"
#include "kvwin/variant_enumerator.h"
#include "win/comutil.h"

namespace {

// An object that records when its last reference goes.
class Probe final : public kvwin::ComObject<IUnknown> {
  public:
    explicit Probe(bool& gone) : gone_(gone) {}

  private:
    ~Probe() override { gone_ = true; }
    bool& gone_;
};

std::vector<_variant_t> OneObjectAndOneNumber(IUnknown* object) {
    std::vector<_variant_t> values;
    values.emplace_back(object, true);
    values.emplace_back(7);  // VT_I4
    return values;
}

TEST(VariantEnumerator, OwnsItsValuesUntilTheLastCloneGoes) {
    bool gone = false;
    IUnknown* probe = new Probe(gone);
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(kvwin::ReturnEnumerator(&result, OneObjectAndOneNumber(probe)), S_OK);
    probe->Release();
    ASSERT_EQ(result.vt, VT_UNKNOWN);
    IEnumVARIANT* first = nullptr;
    ASSERT_EQ(result.punkVal->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&first)),
              S_OK);
    VariantClear(&result);

    // What Next hands out is the caller's own copy.
    VARIANT items[3];
    ULONG fetched = 0;
    EXPECT_EQ(first->Next(3, items, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(items[0].vt, VT_UNKNOWN);
    EXPECT_EQ(items[0].punkVal, probe);
    EXPECT_EQ(items[1].vt, VT_I4);
    EXPECT_EQ(items[1].lVal, 7);
    VariantClear(&items[0]);
    VariantClear(&items[1]);
    EXPECT_FALSE(gone);

    // A clone shares the values and keeps its own position.
    IEnumVARIANT* clone = nullptr;
    ASSERT_EQ(first->Reset(), S_OK);
    ASSERT_EQ(first->Clone(&clone), S_OK);
    first->Release();
    EXPECT_FALSE(gone);
    EXPECT_EQ(clone->Skip(1), S_OK);
    EXPECT_EQ(clone->Next(1, items, &fetched), S_OK);
    EXPECT_EQ(items[0].lVal, 7);
    clone->Release();
    EXPECT_TRUE(gone);
}

TEST(VariantEnumerator, ACallerThatWantsNoResultLeavesNothingHeld) {
    bool gone = false;
    IUnknown* probe = new Probe(gone);
    EXPECT_EQ(kvwin::ReturnEnumerator(nullptr, OneObjectAndOneNumber(probe)), S_OK);
    probe->Release();
    EXPECT_TRUE(gone);
}

TEST(VariantEnumerator, AnEnumeratorRefusedPastTheHeldMemoryBoundLeavesTheResultEmpty) {
    bool gone = false;
    IUnknown* probe = new Probe(gone);
    {
        // No room left (the probe is charged, so this is never 0, the default bound).
        kvtest::ScopedHeldMemoryBound bound(kvwin::HeldMemoryInUse());
        VARIANT result;
        VariantInit(&result);
        EXPECT_THROW(kvwin::ReturnEnumerator(&result, OneObjectAndOneNumber(probe)),
                     std::bad_alloc);
        EXPECT_EQ(result.vt, VT_EMPTY);
        EXPECT_EQ(VariantClear(&result), S_OK);
    }
    probe->Release();
    EXPECT_TRUE(gone);  // the values given went with the refused enumerator
}

}  // namespace
