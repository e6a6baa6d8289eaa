// The script's locale and the conversions to dates.
#include "script_locale.h"

#include "convert.h"
#include "errors.h"
#include "win/oleauto.h"

namespace kvvbs {

LCID ScriptLcid(Runtime& rt) {
    if (rt.script_locale)
        return rt.script_locale;
    LCID host = rt.HostLocale();
    if (host && host != LOCALE_USER_DEFAULT && host != LOCALE_SYSTEM_DEFAULT &&
        kvwin::FindLocale(host))
        return host;
    return kvwin::UserDefaultLcid();
}

// Looked up once per script and locale change (SetLocale clears it): the settings never
// change once read.
const kvwin::LocaleData& ScriptLocale(Runtime& rt) {
    if (!rt.locale_data) {
        const kvwin::LocaleData* d = kvwin::FindLocale(ScriptLcid(rt));
        rt.locale_data = d ? d : kvwin::FindLocale(kvwin::kLcidEnglishUS);
    }
    return *static_cast<const kvwin::LocaleData*>(rt.locale_data);
}

const kvwin::LocaleData* RunningLocale() {
    Runtime* rt = Runtime::Running();
    return rt ? &ScriptLocale(*rt) : nullptr;
}

double ToDate(Runtime& rt, const Value& in) {
    Value v = Primitive(in);
    double d;
    switch (v.kind()) {
        case Kind::Date:
            return v.AsDouble();
        case Kind::Null:
            Throw(94);
        case Kind::String: {
            std::u16string text(v.AsString());
            DATE date;
            if (VarDateFromStr(text.c_str(), ScriptLocale(rt).lcid, 0, &date) == S_OK)
                return date;
            if (!ParseNumber(v.AsString(), &d))
                Throw(kErrTypeMismatch);
            break;
        }
        case Kind::Empty:
        case Kind::Boolean:
        case Kind::Integer:
        case Kind::Long:
        case Kind::Byte:
        case Kind::Double:
        case Kind::Currency:
            d = ToDouble(v);
            break;
        default:
            Throw(kErrTypeMismatch);
    }
    if (!(d >= -657434.0 && d < 2958466.0))
        Throw(kErrOverflow);
    return d;
}

std::u16string DateTextIn(Runtime& rt, double date) {
    BSTR b = nullptr;
    if (VarBstrFromDate(date, ScriptLocale(rt).lcid, 0, &b) != S_OK)
        Throw(kErrOverflow);
    std::u16string text(b, SysStringLen(b));
    SysFreeString(b);
    return text;
}

}  // namespace kvvbs
