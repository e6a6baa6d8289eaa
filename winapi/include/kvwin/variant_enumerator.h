// An IEnumVARIANT over a snapshot of values: what a collection's _NewEnum returns when its
// elements can be copied out at the moment enumeration starts.
//
// The enumerator owns its copies; changing the collection afterwards does not change what it
// yields. Thread safety: one enumerator is used by one thread at a time (its position is
// not guarded); Clone gives an independent one.
#pragma once

#include <memory>
#include <vector>

#include "kvwin/com_object.h"
#include "win/com.h"
#include "win/oleauto.h"

namespace kvwin {

class VariantEnumerator final : public ComObject<IEnumVARIANT> {
  public:
    // Copies of the values (VariantCopy); values that cannot be copied become VT_EMPTY.
    static VariantEnumerator* Create(const VARIANT* values, size_t count) {
        auto items = std::make_shared<Items>();
        items->values.resize(count);
        for (size_t i = 0; i < count; ++i) {
            VariantInit(&items->values[i]);
            VariantCopy(&items->values[i], &values[i]);
        }
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
        std::vector<VARIANT> values;
        ~Items() {
            for (auto& v : values)
                VariantClear(&v);
        }
    };
    VariantEnumerator(std::shared_ptr<Items> items, size_t next)
        : items_(std::move(items)), next_(next) {}
    ~VariantEnumerator() override = default;

    std::shared_ptr<Items> items_;
    size_t next_;
};

// What a _NewEnum member returns: a new enumerator over copies of the values, stored in
// *result as VT_UNKNOWN. A null result (the caller wants no value) takes nothing.
inline HRESULT ReturnEnumerator(VARIANT* result, const VARIANT* values, size_t count) {
    if (!result)
        return S_OK;
    result->vt = VT_UNKNOWN;
    result->punkVal = VariantEnumerator::Create(values, count);
    return S_OK;
}

}  // namespace kvwin
