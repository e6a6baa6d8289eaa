// The locale a script's number, currency and date texts follow: the one SetLocale chose, else
// the host's (the site's GetLCID), else the user's. Also the date helpers the built-ins share.
// The engine's thread only.
#pragma once

#include "interpreter.h"
#include "kvwin/locale_data.h"
#include "value.h"

namespace kvvbs {

LCID ScriptLcid(Runtime& rt);
// Never fails: an LCID whose locale is missing here falls back to en-US.
const kvwin::LocaleData& ScriptLocale(Runtime& rt);
// The locale of the script running on this thread, or null when none runs.
const kvwin::LocaleData* RunningLocale();

// A value as a date: dates as they are, numbers in the date range, texts in the script
// locale's forms (then as numbers). Error 13 for what is no date, 6 out of range, 94 Null.
double ToDate(Runtime& rt, const Value& v);
// A date's text as CStr writes it in the script's locale.
std::u16string DateTextIn(Runtime& rt, double date);

}  // namespace kvvbs
