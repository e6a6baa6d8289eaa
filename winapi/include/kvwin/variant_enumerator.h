// An IEnumVARIANT over a snapshot of values: what a collection's _NewEnum returns when its
// elements can be copied out at the moment enumeration starts.
//
// The enumerator owns the values it was given; changing the collection afterwards does not
// change what it yields. Thread safety: one enumerator is used by one thread at a time (its
// position is not guarded); Clone gives an independent one.
#pragma once

#include <memory>
#include <vector>

#include "kvwin/com_object.h"
#include "win/com.h"
#include "win/comutil.h"
#include "win/oleauto.h"

namespace kvwin {

class VariantEnumerator final : public ComObject<IEnumVARIANT> {
  public:
    // Takes the values over: the enumerator yields copies of them and releases them when the
    // last of its clones goes.
    static VariantEnumerator* Create(std::vector<_variant_t> values) {
        auto items = std::make_shared<Items>();
        items->values = std::move(values);
        return new VariantEnumerator(std::move(items), 0);
    }

    STDMETHODIMP Next(ULONG celt, VARIANT* out, ULONG* fetched) override {
        if (fetched)
            *fetched = 0;
        if (celt > 0 && !out)
            return E_POINTER;
        ULONG n = 0;
        while (n < celt && next_ < items_->values.size()) {
            VariantInit(&out[n]);
            HRESULT hr = VariantCopy(&out[n], &items_->values[next_]);
            if (FAILED(hr)) {
                for (ULONG i = 0; i < n; ++i)
                    VariantClear(&out[i]);
                return hr;
            }
            ++n;
            ++next_;
        }
        if (fetched)
            *fetched = n;
        return n == celt ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG celt) override {
        size_t left = items_->values.size() - next_;
        next_ += celt < left ? celt : left;
        return celt <= left ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        next_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumVARIANT** out) override {
        if (!out)
            return E_POINTER;
        *out = new (std::nothrow) VariantEnumerator(items_, next_);
        return *out ? S_OK : E_OUTOFMEMORY;
    }

  private:
    struct Items {
        std::vector<_variant_t> values;
    };
    VariantEnumerator(std::shared_ptr<Items> items, size_t next)
        : items_(std::move(items)), next_(next) {}
    ~VariantEnumerator() override = default;

    std::shared_ptr<Items> items_;
    size_t next_;
};

// What a _NewEnum member returns: a new enumerator that takes the values over, stored in
// *result as VT_UNKNOWN. A null result (the caller wants no value) takes nothing.
//
// A collection builds its snapshot as owned values and hands it on:
//   std::vector<_variant_t> items;
//   for (...) { _variant_t v; SetVariantText(&v, text); items.push_back(std::move(v)); }
//   return ReturnEnumerator(call.Result(), std::move(items));
inline HRESULT ReturnEnumerator(VARIANT* result, std::vector<_variant_t> values) {
    if (!result)
        return S_OK;
    IUnknown* enumerator = VariantEnumerator::Create(std::move(values));  // may throw
    result->vt = VT_UNKNOWN;
    result->punkVal = enumerator;
    return S_OK;
}

}  // namespace kvwin
