' Texts that follow the script's locale, switched with SetLocale inside the script.
Function ErrorOf(expression)
    On Error Resume Next
    Dim v
    v = Eval(expression)
    ErrorOf = Err.Number
    Err.Clear
End Function

Dim t, d, nnbsp, previous
t = #7/4/2023 9:05:03 PM#
d = DateSerial(2023, 7, 4)
nnbsp = ChrW(&H202F)

previous = SetLocale(1033)
ok SetLocale("de-DE") = 1033 And GetLocale() = 1031, "SetLocale gives the locale it replaces"
ok FormatNumber(1234567.891) = "1.234.567,89" And FormatPercent(0.256) = "25,60%", "de-DE numbers"
ok FormatCurrency(-1234.5) = "-1.234,50 €" And FormatCurrency(1234.5, 0) = "1.235 €", "de-DE currency"
ok CStr(t) = "04.07.2023 21:05:03" And FormatDateTime(t, vbShortDate) = "04.07.2023", "de-DE date text"
ok FormatDateTime(t, vbLongDate) = "Dienstag, 4. Juli 2023" And FormatDateTime(t, vbLongTime) = "21:05:03", "de-DE long forms"
ok MonthName(3) = "März" And WeekdayName(1) = "Sonntag" And MonthName(12, True) = "Dez", "de-DE names"
ok CDate("04.07.2023") = d And CDate("4. Juli 2023") = d And CDate("Dienstag, 4. Juli 2023 21:05:03") = t, "de-DE date texts read back"
ok Weekday(t, vbUseSystemDayOfWeek) = 2 And DatePart("ww", #1/1/2023#, 0, vbUseSystem) = 52, "de-DE weeks start on Monday, four days make week 1"

SetLocale "en-gb"
ok CStr(t) = "04/07/2023 21:05:03" And FormatDateTime(t, vbLongDate) = "04 July 2023", "en-GB date text"
ok CDate("04/07/2023") = d And CDate("4/7/23") = d, "en-GB reads day before month"
ok FormatCurrency(1234.5) = "£1,234.50" And FormatNumber(0.5) = "0.50", "en-GB numbers"

SetLocale 1036
ok FormatNumber(1234.5) = "1" & nnbsp & "234,50" Or FormatNumber(1234.5) = "1" & ChrW(160) & "234,50", "fr-FR numbers"
ok FormatCurrency(1234.5) = Replace(FormatNumber(1234.5), ",50", ",50 €"), "fr-FR currency"
ok FormatDateTime(t, vbLongDate) = "mardi 4 juillet 2023" And CStr(t) = "04/07/2023 21:05:03", "fr-FR dates"
ok CDate("4 juillet 2023") = d And CDate("04/07/2023") = d, "fr-FR date texts read back"

SetLocale 1041
ok CStr(t) = "2023/07/04 21:05:03" And FormatDateTime(t, vbLongDate) = "2023年7月4日", "ja-JP dates"
ok FormatNumber(1234.5) = "1,234.50" And FormatCurrency(1234.5) = "￥1,235", "ja-JP numbers and yen without decimals"
ok MonthName(7) = "7月" And CDate("2023/07/04") = d, "ja-JP month names, year first"

SetLocale 1049
ok FormatDateTime(t, vbLongDate) = "4 июля 2023 г." And MonthName(7) = "Июль", "ru-RU declines months inside a date"
ok FormatNumber(1234.5) = "1" & nnbsp & "234,50" Or FormatNumber(1234.5) = "1" & ChrW(160) & "234,50", "ru-RU numbers"
ok CDate("4 июля 2023 г.") = d And CDate("04.07.2023") = d, "ru-RU date texts read back"

SetLocale 1046
ok FormatCurrency(1234.5) = "R$ 1.234,50" And FormatNumber(-0.5, 1, 0) = "-,5", "pt-BR currency and numbers"
ok FormatDateTime(t, vbShortDate) = "04/07/2023" And InStr(FormatDateTime(t, vbLongDate), "4 de julho de 2023") > 0, "pt-BR dates"

' Numbers and dates turned into text implicitly, and texts read as numbers, follow the locale
Dim x, s
x = 1.5
SetLocale 1031
ok "x" & x = "x1,5" And CStr(1234.5) = "1234,5" And Len(1.5) = 3 And Left(2.25, 3) = "2,2", "de-DE writes numbers with its decimal comma, ungrouped"
ok CStr(CCur(2.25)) = "2,25" And CStr(CSng(1.1)) = "1,1" And CStr(-0.5) = "-0,5" And CStr(1E+20) = "1E+20" And CStr(1.5E-20) = "1,5E-20" And CStr(0.00000015) = "0,00000015", "de-DE Currency values and exponents"
ok "x" & d = "x04.07.2023" And "x" & t = "x04.07.2023 21:05:03" And Len(d) = 10, "de-DE dates in concatenations"
ok CDbl("1,5") = 1.5 And CDbl(" -1.234,5 ") = -1234.5 And CDbl("1,5e3") = 1500 And CLng("2,5") = 2, "de-DE reads its decimal comma and group dots"
ok CDbl("1.5") = 15 And CInt("1.000") = 1000, "de-DE takes a dot for a group separator"
ok CCur("1.234,5678") = 1234.5678 And CStr(CCur("922.337.203.685.477,5807")) = "922337203685477,5807" And CSng("2,5") = 2.5 And ErrorOf("CCur(""1,2,3"")") = 13, "de-DE texts to Currency exactly and to Single"
ok "1,5" + 1 = 2.5 And "2" * "1,5" = 3 And "1,5" & 1 = "1,51", "de-DE numeric texts in arithmetic"
ok IsNumeric("1,5") And IsNumeric("1.234.567,89") And Not IsNumeric("1,5,5") And Not IsNumeric(",") And Not IsNumeric("1,5.") , "de-DE IsNumeric"
ok ErrorOf("CDbl(""1,2,3"")") = 13 And ErrorOf("CDbl(""."")") = 13, "de-DE texts that are no numbers are error 13"
ok CCur("1.234,50 €") = 1234.5 And CDbl("-1,5 €") = -1.5 And CDbl("(2,5)") = -2.5 And IsNumeric("€ 3") And Not IsNumeric("$3"), "de-DE reads its own currency symbol only"
s = "1,5"
ok x = "1,5" And s = CStr(x) And Not (x = "1.5") And x < "1,75" And 2 > "1,75", "de-DE comparisons of a number with numeric text"
ok IsDate("31.12.2023") And CDate("31.12.2023 23:59") = #12/31/2023 11:59:00 PM# And Not IsDate("31/31/2023"), "de-DE date texts"

SetLocale 1036
ok "x" & x = "x1,5" And CDbl("1 234,5") = 1234.5 And CDbl("1" & nnbsp & "234,5") = 1234.5 And CDbl("1" & ChrW(160) & "234,5") = 1234.5, "fr-FR decimal comma; plain and no-break spaces group"
ok ErrorOf("CDbl(""1.5"")") = 13 And Not IsNumeric("1.5"), "fr-FR does not read a dot"

SetLocale 2057
ok "x" & t = "x04/07/2023 21:05:03" And "x" & x = "x1.5" And CDbl("1,234.5") = 1234.5, "en-GB dates day first, numbers with a point"

SetLocale 1041
ok "x" & x = "x1.5" And CDbl("1,234.5") = 1234.5 And "x" & d = "x2023/07/04", "ja-JP numbers with a point, dates year first"

SetLocale 1033
ok "x" & x = "x1.5" And CDbl("1,234.5") = 1234.5 And CDbl("1,5") = 15 And IsNumeric("1,000") And "x" & d = "x7/4/2023", "en-US groups with commas"
ok x = "1.5" And Not (x = "1,5") And CStr(CCur(2.25)) = "2.25" And CCur("1,000.25") = 1000.25 And CCur("&H10") = 16, "en-US comparisons and Currency"

' Switching back: the same texts as before, and bad locales refused
SetLocale 1033
ok CStr(t) = "7/4/2023 9:05:03 PM" And CDate("04/07/2023") = #4/7/2023# And FormatNumber(1234.5) = "1,234.50", "back to en-US"
ok ErrorOf("SetLocale(""xx-yy"")") = 5 And ErrorOf("SetLocale(12345)") = 5 And GetLocale() = 1033, "unknown locales are error 5 and change nothing"
SetLocale 0
ok GetLocale() <> 0, "SetLocale 0 goes back to the user's locale"
