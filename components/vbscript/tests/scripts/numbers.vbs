' Numbers: conversions with rounding and overflow, rounding functions, math, Rnd, formats.
SetLocale "en-us"

Function ErrorOf(expression)
    On Error Resume Next
    Dim v
    v = Eval(expression)
    ErrorOf = Err.Number
    Err.Clear
End Function

Dim x, y, c

' ---- conversions: halves go to the even neighbour ----
ok CInt(2.5) = 2 And CInt(3.5) = 4 And CInt(-2.5) = -2 And CLng(0.5) = 0 And CLng(1.5) = 2, "CInt, CLng round halves to even"
ok CByte(1.5) = 2 And CByte(2.5) = 2 And TypeName(CByte(255)) = "Byte", "CByte"
ok ErrorOf("CInt(32767.5)") = 6 And ErrorOf("CLng(2147483648)") = 6 And ErrorOf("CByte(-0.6)") = 6 And ErrorOf("CByte(256)") = 6, "integer overflow is error 6"
ok CCur(1.23456) = 1.2346 And TypeName(CCur(1)) = "Currency" And CCur("12.5") = 12.5, "CCur keeps four decimals"
ok CCur(0.00025) = 0.0002 And CCur(0.00035) = 0.0004, "CCur rounds the fifth decimal's half to even"
ok CStr(CCur("922337203685477")) = "922337203685477" And CStr(CCur("-922337203685477.5808")) = "-922337203685477.5808" And CStr(CCur(-0.05)) = "-0.05" And CStr(CCur(3)) = "3", "Currency texts keep every digit"
ok ErrorOf("CCur(922337203685478)") = 6 And ErrorOf("CCur(-1E+15)") = 6 And ErrorOf("CCur(""x"")") = 13 And ErrorOf("CCur(Null)") = 94, "Currency overflow and other errors"
c = CCur("922337203685477.5807")
ok CStr(c - 1) = "922337203685476.5807" And CStr(c - CCur("0.0001")) = "922337203685477.5806" And TypeName(c - 1) = "Currency", "Currency arithmetic keeps every digit at the top of its range"
ok CStr(CCur("0.1") + CCur("0.2")) = "0.3" And CStr(CCur("1.5") * 3) = "4.5" And CStr(CCur("0.0001") * CCur("0.5")) = "0" And CStr(CCur("0.0003") * CCur("0.5")) = "0.0002", "Currency sums exact, products rounded half to even at four decimals"
ok ErrorOf("c + 1") = 6 And ErrorOf("-CCur(""-922337203685477.5808"")") = 6 And ErrorOf("c * 2") = 6 And ErrorOf("CCur(-c) - 2") = 6, "Currency overflow is error 6"
ok TypeName(CCur(1) + CByte(1)) = "Currency" And TypeName(CCur(1) * 1.5) = "Double" And TypeName(CCur(1) + #1/1/2000#) = "Date", "Currency with integers stays Currency"
ok CDbl("$1") = 1 And CCur("$1,234.50") = 1234.5 And CDbl("(5)") = -5 And CDbl("($1,000.25)") = -1000.25 And CLng("-$2") = -2, "currency symbols and parenthesised negatives"
ok IsNumeric("$1") And IsNumeric("(5)") And IsNumeric(" 5- ") And Not IsNumeric("$") And Not IsNumeric("(-5)") And Not IsNumeric("$$1"), "IsNumeric reads the same forms"
ok "$2" * 2 = 4 And "(1)" + 1 = 0 And CDbl("$1") = "$1", "numeric texts with a currency symbol in arithmetic and comparisons"
ok ErrorOf("CDbl(""1 $ 2"")") = 13 And ErrorOf("CCur(""€1"")") = 13, "symbols of other places are no number here"
ok CSng(1.1) <> 1.1 And Abs(CSng(1.1) - 1.1) < 0.0000001 And CSng(0.5) = 0.5, "CSng keeps a Single's precision"
ok ErrorOf("CSng(1E+39)") = 6, "CSng overflow"
ok CStr(0.00001) = "0.00001" And CStr(1E-15) = "0.000000000000001" And CStr(-1.5E-16) = "-1.5E-16" And CStr(1 / 3) = "0.333333333333333", "small Doubles in plain digits while fifteen places hold them"
ok CStr(123456789012345) = "123456789012345" And CStr(1E+15) = "1E+15" And CStr(2 ^ 60) = "1.15292150460685E+18" And CStr(-0.5) = "-0.5" And CStr(CDbl(100)) = "100", "large Doubles"
y = CSng("0.01")
ok TypeName(y) = "Single" And VarType(y) = vbSingle, "CSng gives a Single"
ok TypeName(y * 2) = "Single" And TypeName(y + CByte(1)) = "Single" And TypeName(True - y) = "Single" And TypeName(y / y) = "Single" And TypeName(y + Empty) = "Single" And TypeName(-y) = "Single", "a Single with Integer, Byte, Boolean or Single stays a Single"
ok TypeName(y + CLng(1)) = "Double" And TypeName(y * 1.5) = "Double" And TypeName(y + "1") = "Double" And TypeName(y ^ 2) = "Double" And TypeName(CInt(1) / CInt(2)) = "Double", "with Long, Double or a text it becomes a Double"
ok TypeName(CSng(3E+38) * 2) = "Double" And CSng(3E+38) * 2 > 5.9E+38, "beyond a Single's range the result is a Double"
ok CStr(CSng(1.1) + 1) = "2.1" And CStr(y * 3) = "0.03" And CStr(CSng(1) / 3) = "0.3333333", "Single arithmetic is written with a Single's digits"
ok CSng(1.1) = "1.1" And CSng(0.1) * 3 = "0.3" And Not (CSng(1.1) = 1.1), "a text compared with a Single is read as a Single"
ok CStr(y) = "0.01" And CStr(CSng(1 / 3)) = "0.3333333" And CStr(CSng(123456789)) = "1.234568E+08" And "x" & CSng(-2.5) = "x-2.5", "a Single's text has seven digits"
ok CStr(y + 0.01) = "1.99999997764826E-02" And y = CSng(0.01), "a Single widened to a Double shows its error"

' ---- Round, Fix, Int, Abs, Sgn ----
ok Round(2.5) = 2 And Round(3.5) = 4 And Round(-2.5) = -2 And Round(0.5) = 0 And Round(1.5) = 2, "Round halves to even"
ok Round(2.675, 2) = 2.68 And Round(2.665, 2) = 2.66 And Round(1.005, 2) = 1 And Round(1.2345, 3) = 1.234, "Round to decimals, halves as written"
ok Round(123.456, 1) = 123.5 And Round(0.00001, 2) = 0 And Round(-0.5) = 0, "Round small and negative values"
ok Round(1.5, 2147483647) = 1.5 And Round(1E+300, 2147483647) = 1E+300, "Round to the most decimals a Long can ask for"
ok TypeName(Round(CInt(7))) = "Integer" And TypeName(Round(1.5)) = "Double" And TypeName(Round("1.5")) = "Double", "Round keeps integer types"
ok Round(CCur(2.5)) = 2 And TypeName(Round(CCur(2.5))) = "Currency" And Round(CCur(1.235), 2) = 1.24, "Round on Currency"
ok IsNull(Round(Null)) And ErrorOf("Round(1.5, -1)") = 5, "Round of Null, negative decimals"
ok Fix(-1.5) = -1 And Int(-1.5) = -2 And Fix(1.9) = 1 And Int(1.9) = 1 And Int(-0.1) = -1, "Fix truncates, Int floors"
ok TypeName(Int("3.7")) = "Double" And TypeName(Fix(CInt(3))) = "Integer" And IsNull(Int(Null)) And Int(Empty) = 0, "Int and Fix types"
ok Int(CCur(-1.5)) = -2 And Fix(CCur(-1.5)) = -1 And TypeName(Int(CCur(1))) = "Currency" And VarType(Int(#7/4/2023 6:00:00 PM#)) = vbDate, "Int on Currency and dates"
ok Abs(-5) = 5 And Abs(CInt(-32768)) = 32768 And TypeName(Abs(CInt(-32768))) = "Long" And IsNull(Abs(Null)), "Abs"
ok Abs(CCur(-1.5)) = 1.5 And Abs("-2.5") = 2.5, "Abs of Currency and text"
ok Sgn(-3) = -1 And Sgn(0) = 0 And Sgn(2.5) = 1 And TypeName(Sgn(2.5)) = "Integer" And ErrorOf("Sgn(Null)") = 94, "Sgn"

' ---- math ----
ok Sqr(16) = 4 And Exp(0) = 1 And Abs(Log(Exp(1)) - 1) < 1E-15 And Abs(Atn(1) * 4 - 3.14159265358979) < 1E-14, "Sqr, Exp, Log, Atn"
ok Sin(0) = 0 And Cos(0) = 1 And Tan(0) = 0 And Abs(Sin(Atn(1) * 2) - 1) < 1E-15, "Sin, Cos, Tan"
ok ErrorOf("Sqr(-1)") = 5 And ErrorOf("Log(0)") = 5 And ErrorOf("Log(-1)") = 5 And ErrorOf("Exp(710)") = 6, "math domain errors"
ok IsNull(Sqr(Null)) And ErrorOf("Sin(""x"")") = 13, "math of Null and of text"
ok Oct(8) = "10" And Oct(-1) = "177777" And Oct(CLng(-1)) = "37777777777" And IsNull(Oct(Null)), "Oct"

' ---- Rnd and Randomize ----
x = Rnd
ok Abs(x - 0.7055475) < 0.0000001, "the first value of a fresh engine"
ok Rnd(0) = x, "Rnd(0) repeats the last value"
x = Rnd(-1)
ok Abs(x - 0.224007) < 0.000001, "Rnd(-1) reseeds from the number"
y = Rnd
ok Rnd(-1) = x And Rnd = y, "a negative argument restarts the same sequence"
Rnd -1
Randomize 5
x = Rnd
Rnd -1
Randomize 5
ok Rnd = x, "Randomize with a number is repeatable"
Rnd -1
Randomize 6
ok Rnd <> x, "another number, another sequence"
Randomize
y = True
For c = 1 To 1000
    x = Rnd
    If x < 0 Or x >= 1 Then y = False
Next
ok y, "values lie in [0, 1)"

' ---- FormatNumber, FormatCurrency, FormatPercent and their optional arguments ----
ok FormatNumber(1234567.891) = "1,234,567.89" And FormatNumber(0) = "0.00" And FormatNumber("1e3", 0) = "1,000", "FormatNumber defaults"
ok FormatNumber(0.125) = "0.13" And FormatNumber(2.5, 0) = "3" And FormatNumber(-2.5, 0) = "-3" And FormatNumber(999.995) = "1,000.00", "FormatNumber rounds halves away from zero"
ok FormatNumber(1.5, 4) = "1.5000" And FormatNumber(1.5, -1) = "1.50", "NumDigitsAfterDecimal"
ok FormatNumber(-0.5, 1, 0) = "-.5" And FormatNumber(0.5, 1, -1) = "0.5" And FormatNumber(0.5, 1, vbUseDefault) = "0.5", "IncludeLeadingDigit"
ok FormatNumber(-1234.5, 1, -1, -1) = "(1,234.5)" And FormatNumber(-1234.5, 1, -1, 0) = "-1,234.5", "UseParensForNegativeNumbers"
ok FormatNumber(1234.5, 1, , , 0) = "1234.5" And FormatNumber(1234.5, 1, , , -1) = "1,234.5", "GroupDigits"
ok FormatNumber(CCur("922337203685477.5807"), 4) = "922,337,203,685,477.5807" And FormatNumber(True, 0) = "-1", "FormatNumber of Currency and Boolean"
ok ErrorOf("FormatNumber(1, -2)") = 5 And ErrorOf("FormatNumber(""abc"")") = 13 And ErrorOf("FormatNumber(Null)") = 13, "FormatNumber errors"
ok FormatCurrency(1000) = "$1,000.00" And FormatCurrency(0.5, 0) = "$1" And FormatCurrency(1000, 0, , , 0) = "$1000", "FormatCurrency"
ok FormatCurrency(-1000, 2, , -1) = "($1,000.00)" And FormatCurrency(-0.5, 1, 0, 0) = "-$.5", "FormatCurrency of negative amounts"
ok FormatPercent(0.256) = "25.60%" And FormatPercent(0.256, 1) = "25.6%" And FormatPercent(12.345, 2, , , 0) = "1234.50%", "FormatPercent"
ok FormatPercent(-0.5, 0, , -1) = "(50%)" And FormatPercent(0.001, 1, 0) = ".1%", "FormatPercent options"
