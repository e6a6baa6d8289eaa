// What the VBScript tests share: an engine with the JScript tests' recording site and "Test"
// helper (ok, Signal, Call, Name), set up in one step, and a collection to walk.
#pragma once

#include <atomic>
#include <span>

#include "kvtest/script_test_support.h"

namespace vbstest {

using jstest::BindTestName;
using jstest::RecordingSite;
using jstest::ScopedApartment;
using jstest::TestHelper;

// The shared engine holder, with the VBScript engine.
struct Script : jstest::Script {
    explicit Script(bool with_helper = true, DWORD item_flags = SCRIPTITEM_ISVISIBLE)
        : jstest::Script(with_helper, CLSID_VBScript, item_flags) {}
};

// A collection of `count` numbers 1, 2, ... (count < 0: endless) whose enumerator counts
// what it has handed out and notes when it is let go.
class CountingCollection final : public kvwin::DispatchObject<CountingCollection, IDispatch> {
  public:
    explicit CountingCollection(long count) : count_(count) {}
    static std::span<const kvwin::DispatchMember<CountingCollection>> DispatchMembers() {
        static const kvwin::DispatchMember<CountingCollection> members[] = {
            {u"_NewEnum", DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET, 0, 0,
             &CountingCollection::NewEnum},
            {u"Produced", 1, DISPATCH_PROPERTYGET, 0, 0, &CountingCollection::Produced},
            {u"Live", 2, DISPATCH_PROPERTYGET, 0, 0, &CountingCollection::Live},
        };
        return members;
    }
    std::atomic<long> produced{0};
    std::atomic<int> live{0};  // enumerators not yet released

  private:
    class Items final : public kvwin::ComObject<IEnumVARIANT> {
      public:
        explicit Items(CountingCollection* owner) : owner_(owner) {
            owner_->AddRef();
            ++owner_->live;
        }
        STDMETHODIMP Next(ULONG celt, VARIANT* out, ULONG* fetched) override {
            ULONG n = 0;
            while (n < celt && (owner_->count_ < 0 || next_ <= owner_->count_)) {
                out[n].vt = VT_I4;
                out[n].lVal = next_++;
                ++n;
                ++owner_->produced;
            }
            if (fetched)
                *fetched = n;
            return n == celt ? S_OK : S_FALSE;
        }
        STDMETHODIMP Skip(ULONG) override { return E_NOTIMPL; }
        STDMETHODIMP Reset() override { return E_NOTIMPL; }
        STDMETHODIMP Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

      private:
        ~Items() override {
            --owner_->live;
            owner_->Release();
        }
        CountingCollection* owner_;
        LONG next_ = 1;
    };

    ~CountingCollection() override = default;
    static HRESULT NewEnum(CountingCollection& self, kvwin::DispatchCall& call) {
        VARIANT* r = call.Result();
        if (!r)
            return S_OK;
        r->vt = VT_UNKNOWN;
        r->punkVal = new Items(&self);
        return S_OK;
    }
    static HRESULT Produced(CountingCollection& self, kvwin::DispatchCall& call) {
        call.Result()->vt = VT_I4;
        call.Result()->lVal = self.produced.load();
        return S_OK;
    }
    static HRESULT Live(CountingCollection& self, kvwin::DispatchCall& call) {
        call.Result()->vt = VT_I4;
        call.Result()->lVal = self.live.load();
        return S_OK;
    }
    long count_;
};

inline std::u16string Text(const VARIANT& v) {
    VARIANT s;
    VariantInit(&s);
    if (FAILED(VariantChangeType(&s, &v, 0, VT_BSTR)))
        return u"<no text>";
    std::u16string out(s.bstrVal, SysStringLen(s.bstrVal));
    VariantClear(&s);
    return out;
}

// Runs `code`, then gives the text of `expression`.
inline std::u16string Evaluate(Script& s, std::u16string_view code,
                               std::u16string_view expression) {
    EXPECT_EQ(s.Run(code), S_OK);
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(s.Parse(expression, SCRIPTTEXT_ISEXPRESSION, &result), S_OK);
    for (const auto& e : s.site->errors)
        ADD_FAILURE() << "script error at line " << e.line + 1 << ": "
                      << kvwin::ToUtf8(e.description);
    std::u16string text = Text(result);
    VariantClear(&result);
    return text;
}

}  // namespace vbstest
