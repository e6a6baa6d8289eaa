// VarFormatNumber, VarFormatCurrency, VarFormatPercent, VarFormatDateTime: the user's locale,
// through the layer's locale formatting.
#include <cmath>
#include <string>

#include "kvwin/locale_data.h"
#include "win/oleauto.h"

namespace {

const kvwin::LocaleData& UserLocale() {
    const kvwin::LocaleData* d = kvwin::FindLocale(LOCALE_USER_DEFAULT);
    return d ? *d : *kvwin::FindLocale(kvwin::kLcidEnglishUS);
}

HRESULT Deliver(const std::u16string& text, BSTR* out) {
    *out = SysAllocStringLen(text.data(), UINT(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT FormatAs(LPVARIANT in, int digits, int leading, int parens, int group, BSTR* out,
                 kvwin::NumberForm form) {
    if (!in || !out)
        return E_INVALIDARG;
    *out = nullptr;
    if (digits < -1 || digits > 99)
        return E_INVALIDARG;
    kvwin::NumberStyle style{digits, leading, parens, group};
    VARIANT v;
    VariantInit(&v);
    HRESULT hr = VariantCopyInd(&v, in);
    if (FAILED(hr))
        return hr;
    const kvwin::LocaleData& loc = UserLocale();
    std::u16string text;
    switch (v.vt) {
        case VT_CY:
            text = kvwin::FormatScaledIn(loc, v.cyVal.int64, 4, style, form);
            break;
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_INT:
        case VT_UI1:
        case VT_UI2:
        case VT_BOOL: {
            VARIANT n;
            VariantInit(&n);
            hr = VariantChangeType(&n, &v, 0, VT_I4);
            if (FAILED(hr))
                break;
            text = kvwin::FormatScaledIn(loc, n.lVal, 0, style, form);
            break;
        }
        default: {
            VARIANT r;
            VariantInit(&r);
            hr = VariantChangeType(&r, &v, 0, VT_R8);
            if (SUCCEEDED(hr) && !std::isfinite(r.dblVal))
                hr = DISP_E_OVERFLOW;
            if (SUCCEEDED(hr))
                text = kvwin::FormatNumberIn(loc, r.dblVal, style, form);
            break;
        }
    }
    VariantClear(&v);
    return FAILED(hr) ? hr : Deliver(text, out);
}

}  // namespace

extern "C" {

HRESULT VarFormatNumber(LPVARIANT pvarIn, int iNumDig, int iIncLead, int iUseParens, int iGroup,
                        ULONG, BSTR* pbstrOut) {
    return FormatAs(pvarIn, iNumDig, iIncLead, iUseParens, iGroup, pbstrOut,
                    kvwin::NumberForm::Number);
}

HRESULT VarFormatCurrency(LPVARIANT pvarIn, int iNumDig, int iIncLead, int iUseParens, int iGroup,
                          ULONG, BSTR* pbstrOut) {
    return FormatAs(pvarIn, iNumDig, iIncLead, iUseParens, iGroup, pbstrOut,
                    kvwin::NumberForm::Currency);
}

HRESULT VarFormatPercent(LPVARIANT pvarIn, int iNumDig, int iIncLead, int iUseParens, int iGroup,
                         ULONG, BSTR* pbstrOut) {
    return FormatAs(pvarIn, iNumDig, iIncLead, iUseParens, iGroup, pbstrOut,
                    kvwin::NumberForm::Percent);
}

HRESULT VarFormatDateTime(LPVARIANT pvarIn, int iNamedFormat, ULONG, BSTR* pbstrOut) {
    if (!pvarIn || !pbstrOut || iNamedFormat < 0 || iNamedFormat > 4)
        return E_INVALIDARG;
    *pbstrOut = nullptr;
    VARIANT d;
    VariantInit(&d);
    HRESULT hr = VariantChangeType(&d, pvarIn, 0, VT_DATE);
    if (FAILED(hr))
        return hr;
    if (iNamedFormat == 0)
        return VarBstrFromDate(d.date, LOCALE_USER_DEFAULT, 0, pbstrOut);
    SYSTEMTIME st;
    if (!VariantTimeToSystemTime(d.date, &st))
        return DISP_E_OVERFLOW;
    const kvwin::LocaleData& loc = UserLocale();
    const std::u16string& pattern = iNamedFormat == 1   ? loc.long_date
                                    : iNamedFormat == 2 ? loc.short_date
                                    : iNamedFormat == 3 ? loc.time
                                                        : std::u16string(u"HH:mm");
    return Deliver(kvwin::FormatDateTimePattern(loc, st, pattern), pbstrOut);
}

}  // extern "C"
