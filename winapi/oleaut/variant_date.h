// VT_DATE values and their texts. A DATE counts days from 30 December 1899; the
// fraction's absolute value is the time of day, also for dates before that day.
#pragma once

#include <string>
#include <string_view>

#include "kvwin/locale_data.h"
#include "win/oleauto.h"

namespace kvwin::oleaut {

// The earliest and latest DATE Automation accepts (1 January 100, 31 December 9999).
constexpr double kMinDate = -657434.0;
constexpr double kMaxDate = 2958466.0;  // exclusive

// Reads a date, a time or both: the numeric forms in the locale's order ("7/4/2023" in en-US,
// "04.07.2023" in de-DE; a year first when it has four digits; day and month swapped when
// the locale's order gives no valid date), ISO "2023-07-04[T09:05:03]", month names in the
// locale's language or English ("July 4, 2023", "4 Jul 2023", a weekday name ignored),
// day and month alone in the current year, and a time "h:mm[:ss] [AM|PM]". Two-digit years
// 0-29 are 2000-2029, 30-99 1930-1999. Null locale: en-US. False when the text is no date.
bool ParseDateText(std::u16string_view text, double& date, const LocaleData* locale = nullptr);

// The SYSTEMTIME of a DATE, rounded to the second (wMilliseconds 0); false out of range.
bool DateToSystemTime(double date, SYSTEMTIME& st);
// The DATE of a SYSTEMTIME (year 100-9999, every field in range; milliseconds kept).
bool SystemTimeToDate(const SYSTEMTIME& st, double& date);

}  // namespace kvwin::oleaut
