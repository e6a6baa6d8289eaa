// Formats and the locale: FormatNumber, FormatCurrency, FormatPercent, FormatDateTime,
// GetLocale, SetLocale. The texts come from the layer's locale formatting.
#include <cmath>
#include <string>

#include "builtins.h"
#include "convert.h"
#include "errors.h"
#include "kvwin/utf.h"
#include "script_locale.h"
#include "win/oleauto.h"

namespace kvvbs {
namespace {

bool Given(const Value* a, uint32_t argc, uint32_t i) {
    return argc > i && !a[i].Deref().IsMissing();
}

// The number arguments after the expression: decimals (-1: the locale's, 0..99), then three
// tristates (-2: the locale's, 0: false, anything else: true).
kvwin::NumberStyle StyleOf(const Value* a, uint32_t argc) {
    kvwin::NumberStyle s;
    if (Given(a, argc, 1)) {
        s.digits = ToLong(a[1]);
        if (s.digits < -1 || s.digits > 99)
            Throw(kErrIllegalCall);
    }
    int* tristates[] = {&s.leading, &s.parens, &s.group};
    for (uint32_t i = 0; i < 3; ++i) {
        if (Given(a, argc, i + 2)) {
            int32_t t = ToLong(a[i + 2]);
            *tristates[i] = t == -2 ? -2 : t != 0;
        }
    }
    return s;
}

Value FormatAs(Runtime& rt, Value* a, uint32_t argc, kvwin::NumberForm form) {
    kvwin::NumberStyle style = StyleOf(a, argc);
    Value v = Primitive(a[0]);
    if (v.IsNull())
        Throw(kErrTypeMismatch);
    const kvwin::LocaleData& loc = ScriptLocale(rt);
    switch (v.kind()) {
        case Kind::Currency:
            return Value::String(kvwin::FormatScaledIn(loc, v.AsCurrency(), 4, style, form));
        case Kind::Integer:
        case Kind::Long:
        case Kind::Byte:
        case Kind::Boolean:
            return Value::String(kvwin::FormatScaledIn(loc, v.AsInt(), 0, style, form));
        default: {
            double d = ToDouble(v);
            if (!std::isfinite(d))
                Throw(kErrOverflow);
            return Value::String(kvwin::FormatNumberIn(loc, d, style, form));
        }
    }
}

Value FormatNumber(Runtime& rt, Value* a, uint32_t argc) {
    return FormatAs(rt, a, argc, kvwin::NumberForm::Number);
}
Value FormatCurrency(Runtime& rt, Value* a, uint32_t argc) {
    return FormatAs(rt, a, argc, kvwin::NumberForm::Currency);
}
Value FormatPercent(Runtime& rt, Value* a, uint32_t argc) {
    return FormatAs(rt, a, argc, kvwin::NumberForm::Percent);
}

// vbGeneralDate (0) as CStr writes a date, vbLongDate (1), vbShortDate (2), vbLongTime (3)
// in the locale's patterns, vbShortTime (4) as 24-hour "HH:mm".
Value FormatDateTime(Runtime& rt, Value* a, uint32_t argc) {
    int32_t named = Given(a, argc, 1) ? ToLong(a[1]) : 0;
    if (named < 0 || named > 4)
        Throw(kErrIllegalCall);
    if (a[0].Deref().IsNull())
        Throw(kErrTypeMismatch);
    double date = ToDate(rt, a[0]);
    if (named == 0)
        return Value::String(DateTextIn(rt, date));
    SYSTEMTIME st;
    if (!VariantTimeToSystemTime(date, &st))
        Throw(kErrOverflow);
    const kvwin::LocaleData& loc = ScriptLocale(rt);
    const std::u16string& pattern = named == 1   ? loc.long_date
                                    : named == 2 ? loc.short_date
                                    : named == 3 ? loc.time
                                                 : std::u16string(u"HH:mm");
    return Value::String(kvwin::FormatDateTimePattern(loc, st, pattern));
}

Value GetLocale(Runtime& rt, Value*, uint32_t) {
    return Value::Long(int32_t(ScriptLcid(rt)));
}

// SetLocale(lcid or "xx-yy"; 0 or "": the user's) gives the locale it replaces. A locale this
// system does not know, or has not installed, is error 5.
Value SetLocale(Runtime& rt, Value* a, uint32_t argc) {
    LCID previous = ScriptLcid(rt);
    LCID lcid = 0;
    if (Given(a, argc, 0)) {
        Value v = Primitive(a[0]);
        if (v.IsString()) {
            std::string name = kvwin::ToUtf8(v.AsString());
            lcid = name.empty() ? 0 : kvwin::LcidOfName(name);
            if (!name.empty() && !lcid)
                Throw(kErrIllegalCall);
        } else {
            lcid = LCID(ToLong(v));
        }
    }
    if (lcid == 0 || lcid == LOCALE_USER_DEFAULT || lcid == LOCALE_SYSTEM_DEFAULT)
        lcid = kvwin::UserDefaultLcid();
    if (!kvwin::FindLocale(lcid))
        Throw(kErrIllegalCall);
    rt.script_locale = lcid;
    rt.locale_data = nullptr;
    return Value::Long(int32_t(previous));
}

const Builtin kFormats[] = {
    {u"formatnumber", 1, 5, FormatNumber},   {u"formatcurrency", 1, 5, FormatCurrency},
    {u"formatpercent", 1, 5, FormatPercent}, {u"formatdatetime", 1, 2, FormatDateTime},
    {u"getlocale", 0, 0, GetLocale},         {u"setlocale", 0, 1, SetLocale},
};

}  // namespace

std::span<const Builtin> FormatBuiltins() {
    return kFormats;
}

}  // namespace kvvbs
