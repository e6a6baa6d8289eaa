' Dates and times: building, parts, intervals, text. Dates here are the en-US forms; the
' driver runs each script with the en-US locale unless a script changes it.
SetLocale 1033

Function ErrorOf(expression)
    On Error Resume Next
    Dim v
    v = Eval(expression)
    ErrorOf = Err.Number
    Err.Clear
End Function

Dim d, t, a, b

' ---- building dates: DateSerial, TimeSerial, CDate, DateValue, TimeValue ----
d = DateSerial(2023, 7, 4)
ok VarType(d) = vbDate And CDbl(d) = 45111, "DateSerial gives the Automation date"
ok DateSerial(2023, 13, 1) = #1/1/2024# And DateSerial(2023, 1, 0) = #12/31/2022#, "DateSerial carries months and days"
ok DateSerial(2023, -1, 31) = #12/1/2022# Or DateSerial(2023, -1, 31) = DateSerial(2022, 11, 31), "DateSerial with a negative month"
ok DateSerial(2023, 2, 29) = #3/1/2023# And Day(DateSerial(2024, 2, 29)) = 29, "29 February only in leap years"
ok Year(DateSerial(29, 1, 1)) = 2029 And Year(DateSerial(30, 1, 1)) = 1930 And Year(DateSerial(99, 1, 1)) = 1999, "two-digit years"
ok CDbl(DateSerial(100, 1, 1)) = -657434 And CDbl(DateSerial(9999, 12, 31)) = 2958465, "the first and last days"
ok ErrorOf("DateSerial(10000, 1, 1)") = 5 And ErrorOf("DateSerial(100, 1, 0)") = 5, "outside the range is error 5"
ok TimeSerial(9, 5, 3) = #9:05:03 AM# And TimeSerial(0, 90, 0) = #1:30:00 AM#, "TimeSerial"
ok CStr(TimeSerial(-1, 0, 0)) = "12/29/1899 11:00:00 PM" And CStr(TimeSerial(25, 0, 0)) = "12/31/1899 1:00:00 AM", "TimeSerial past either end of the day"
ok CDate("July 4, 2023") = d And CDate("4 Jul 2023") = d And CDate("2023-07-04") = d, "CDate on long and ISO forms"
ok CDate("Tuesday, July 4, 2023") = d And CDate("7/4/23") = d, "CDate with a weekday name, a two-digit year"
ok CDate("2023-07-04T09:05:03") = d + TimeSerial(9, 5, 3), "CDate on an ISO date-time"
ok CDate(45111) = d And CDate(#7/4/2023#) = d, "CDate on numbers and dates"
ok ErrorOf("CDate(""hello"")") = 13 And ErrorOf("CDate(Null)") = 94 And ErrorOf("CDate(1E+10)") = 6, "CDate errors"
ok IsDate("2/29/2024") And Not IsDate("2/29/2023") And Not IsDate("13/13/2023") And Not IsDate("hello"), "IsDate on texts"
ok IsDate(d) And Not IsDate(Null) And Not IsDate(Empty) And Not IsDate(45111), "IsDate on other kinds"
ok DateValue("7/4/2023 9:05:03 PM") = d And TimeValue("7/4/2023 9:05:03 PM") = #9:05:03 PM#, "DateValue, TimeValue"
ok IsNull(DateValue(Null)) And IsNull(TimeValue(Null)), "DateValue of Null"

' ---- parts ----
t = #7/4/2023 9:05:03 PM#
ok Year(t) = 2023 And Month(t) = 7 And Day(t) = 4, "Year, Month, Day"
ok Hour(t) = 21 And Minute(t) = 5 And Second(t) = 3, "Hour, Minute, Second"
ok VarType(Year(t)) = vbInteger And IsNull(Year(Null)) And IsNull(Hour(Null)), "parts are Integers; Null gives Null"
ok Year("July 4, 2023") = 2023 And Hour("21:05") = 21, "parts of date texts"
ok Hour(#12/29/1899 6:00:00 AM#) = 6 And Day(CDate(-1.25)) = 29, "before 30 December 1899 the time still counts forward"
ok Second(CDate(0.5 + 0.4999 / 86400)) = 0 And Second(CDate(0.5 + 0.5001 / 86400)) = 1, "parts round to the second"
ok Weekday(t) = 3 And Weekday(t, vbMonday) = 2 And Weekday(t, vbSaturday) = 4, "Weekday and the first day of the week"
ok ErrorOf("Weekday(#7/4/2023#, 8)") = 5, "a first day outside 0-7"
ok WeekdayName(1) = "Sunday" And WeekdayName(7, True) = "Sat" And WeekdayName(1, False, vbMonday) = "Monday", "WeekdayName"
ok MonthName(7) = "July" And MonthName(12, True) = "Dec", "MonthName"
ok ErrorOf("MonthName(13)") = 5 And ErrorOf("MonthName(0)") = 5 And ErrorOf("WeekdayName(8)") = 5, "names out of range"

' ---- every interval across a year end ----
a = #12/31/2022 11:59:59 PM#
b = #1/1/2023 12:00:01 AM#
ok DateDiff("yyyy", a, b) = 1 And DateDiff("q", a, b) = 1 And DateDiff("m", a, b) = 1, "DateDiff years, quarters, months count boundaries"
ok DateDiff("y", a, b) = 1 And DateDiff("d", a, b) = 1 And DateDiff("w", a, b) = 0, "DateDiff days; w counts whole weeks"
ok DateDiff("ww", a, b) = 1 And DateDiff("ww", a, b, vbMonday) = 0, "DateDiff calendar weeks: Saturday to Sunday"
ok DateDiff("h", a, b) = 1 And DateDiff("n", a, b) = 1 And DateDiff("s", a, b) = 2, "DateDiff hours, minutes, seconds"
ok DateDiff("d", b, a) = -1 And DateDiff("s", b, a) = -2 And DateDiff("yyyy", b, a) = -1, "DateDiff backwards"
ok VarType(DateDiff("s", a, b)) = vbLong And IsNull(DateDiff("d", Null, b)), "DateDiff gives a Long, Null for Null"
ok DateDiff("D", "1/1/2023", "3/1/2023") = 59 And DateDiff("d", #2/1/2024#, #3/1/2024#) = 29, "DateDiff on texts and over 29 February"
ok ErrorOf("DateDiff(""s"", #1/1/100#, #12/31/9999#)") = 6, "DateDiff beyond a Long overflows"
ok ErrorOf("DateDiff(""x"", #1/1/2023#, #1/2/2023#)") = 5, "an unknown interval is error 5"
ok DatePart("yyyy", a) = 2022 And DatePart("q", a) = 4 And DatePart("m", a) = 12 And DatePart("y", a) = 365, "DatePart year, quarter, month, day of year"
ok DatePart("d", a) = 31 And DatePart("w", a) = 7 And DatePart("h", a) = 23 And DatePart("n", a) = 59 And DatePart("s", a) = 59, "DatePart day, weekday, time"
ok DatePart("ww", a) = 53 And DatePart("ww", b) = 1 And DatePart("y", #12/31/2024#) = 366, "DatePart weeks from 1 January"
ok DatePart("ww", b, vbMonday, vbFirstFourDays) = 52, "1 January 2023 belongs to the last week of 2022 counting from four days"
ok DatePart("ww", #12/31/2024#, vbMonday, vbFirstFourDays) = 53, "the last days of 2024 stay in 2024's count"
ok DatePart("ww", #1/1/2022#, vbSunday, vbFirstFullWeek) = 52 And DatePart("ww", #1/2/2022#, vbSunday, vbFirstFullWeek) = 1, "DatePart first full week"
ok DatePart("w", b, vbMonday) = 7 And ErrorOf("DatePart(""ww"", #1/1/2023#, 1, 4)") = 5, "DatePart arguments"
ok DateAdd("yyyy", 1, #2/29/2024#) = #2/28/2025# And DateAdd("m", 1, #1/31/2023#) = #2/28/2023#, "DateAdd clamps to the month's end"
ok DateAdd("q", 1, #11/30/2022#) = #2/28/2023# And DateAdd("m", -13, #1/15/2023#) = #12/15/2021#, "DateAdd quarters and negative months"
ok DateAdd("d", 1, a) = #1/1/2023 11:59:59 PM# And DateAdd("w", 1, a) = DateAdd("y", 1, a) And DateAdd("ww", 1, a) = #1/7/2023 11:59:59 PM#, "DateAdd days and weeks"
ok DateAdd("s", 2, a) = b And DateAdd("n", -1, b) = #12/31/2022 11:59:01 PM# And DateAdd("h", 1, a) = #1/1/2023 12:59:59 AM#, "DateAdd across the year end"
ok ErrorOf("DateAdd(""d"", 1, #12/31/9999#)") = 5 And ErrorOf("DateAdd(""yyyy"", -1, #1/1/100#)") = 5, "DateAdd beyond the range is error 5"
ok IsNull(DateAdd("d", 1, Null)), "DateAdd of Null"
' Dates carry no time zone: the spring-forward gap is an ordinary hour
ok DateAdd("h", 1, #3/12/2023 1:30:00 AM#) = #3/12/2023 2:30:00 AM# And DateDiff("h", #3/12/2023#, #3/13/2023#) = 24, "no daylight-saving gap"

' ---- texts ----
ok CStr(t) = "7/4/2023 9:05:03 PM" And CStr(d) = "7/4/2023" And CStr(#9:05:03 PM#) = "9:05:03 PM", "CStr of dates"
ok FormatDateTime(t) = "7/4/2023 9:05:03 PM" And FormatDateTime(t, vbGeneralDate) = FormatDateTime(t), "FormatDateTime general"
ok FormatDateTime(t, vbLongDate) = "Tuesday, July 4, 2023" And FormatDateTime(t, vbShortDate) = "7/4/2023", "FormatDateTime dates"
ok FormatDateTime(t, vbLongTime) = "9:05:03 PM" And FormatDateTime(t, vbShortTime) = "21:05", "FormatDateTime times"
ok FormatDateTime("2023-07-04", 1) = "Tuesday, July 4, 2023" And ErrorOf("FormatDateTime(#1/1/2023#, 5)") = 5, "FormatDateTime arguments"
ok FormatDateTime(#1/1/100#, 2) = "1/1/0100" Or FormatDateTime(#1/1/100#, 2) = "1/1/100", "FormatDateTime of year 100"

' ---- the clock ----
ok VarType(Now) = vbDate And Int(Now) = Date And Abs(CDbl(Now - Date - Time)) < 2 / 86400, "Now, Date, Time"
ok Date = DateValue(Now) Or Date = DateValue(Now) - 1, "Date is today"
