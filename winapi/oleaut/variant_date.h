// VT_DATE values and their en-US text. A DATE counts days from 30 December 1899; the
// fraction's absolute value is the time of day, also for dates before that day.
#pragma once

#include <string>
#include <string_view>

#include "win/oleauto.h"

namespace kvwin::oleaut {

// The earliest and latest DATE Automation accepts (1 January 100, 31 December 9999).
constexpr double kMinDate = -657434.0;
constexpr double kMaxDate = 2958466.0;  // exclusive

// "M/D/YYYY h:mm:ss AM"; the date alone when the time is midnight, the time alone on
// 30 December 1899. False when the value is out of range.
bool DateText(double date, std::u16string& out);

// Reads "M/D/YYYY", "YYYY-MM-DD" (optionally followed by a time, or "T" and a time), or a
// time alone: "h:mm[:ss] [AM|PM]". False when the text is no date.
bool ParseDateText(std::u16string_view text, double& date);

}  // namespace kvwin::oleaut
