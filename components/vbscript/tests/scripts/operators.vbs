' Operators, promotion, comparison rules, Null and Empty.
Dim a, b, s, n

ok 7 \ 2 = 3 And 7 Mod 3 = 1 And -7 \ 2 = -3, "integer division and Mod"
ok 7 / 2 = 3.5 And VarType(4 / 2) = vbDouble, "/ gives a Double"
ok 2 ^ 10 = 1024 And -2 ^ 2 = -4, "^ binds tighter than unary minus"
ok 1 + 2 * 3 = 7 And (1 + 2) * 3 = 9, "precedence"
ok "a" & 1 & Null = "a1", "& converts and skips Null"
ok IsNull(Null & Null), "Null & Null is Null"
ok "1" + "2" = "12" And "1" + 2 = 3, "+ on texts and on text and number"
ok VarType(32767 + 1) = vbLong, "Integer overflow promotes to Long"
ok VarType(2147483647 + 1) = vbDouble, "Long overflow promotes to Double"
ok VarType(1 + 1) = vbInteger, "Integer + Integer stays Integer"
ok VarType(CByte(1) + CByte(2)) = vbByte, "Byte + Byte stays Byte"
ok 5.5 \ 2 = 3, "\ rounds its operands half to even (5.5 -> 6)"
ok CInt(2.5) = 2 And CInt(3.5) = 4 And CLng(-2.5) = -2, "banker's rounding"

' Logic and bitwise
ok (True And False) = False And (True Or False) = True, "And, Or"
ok (12 And 10) = 8 And (12 Or 3) = 15 And (12 Xor 10) = 6, "bitwise on numbers"
ok Not 0 = -1 And Not True = False, "Not"
ok (True Eqv True) = True And (True Imp False) = False And (False Imp False) = True, "Eqv, Imp"
ok IsNull(Null And True) And (Null And False) = False, "Null And"
ok (Null Or True) = True And IsNull(Null Or False), "Null Or"

' Comparisons: literals versus variables
ok 1 = "1", "a number and a text literal compare as numbers"
a = 1 : b = "1"
ok Not (a = b), "a number variable and a text variable differ"
ok a < b, "a number is less than a text"
n = 10
ok n > "9", "a text literal takes the variable's number kind"
s = "10"
ok Not (s > 9), "a number literal takes the variable's text kind"
ok "abc" < "abd" And "B" < "a", "binary text comparison"
ok IsNull(1 = Null) And IsNull(Null <> Null), "comparison with Null is Null"
ok Empty = 0 And Empty = "", "Empty is 0 and the empty text"
ok IsEmpty(a2), "an undeclared name is Empty without Option Explicit"

' Null propagation in arithmetic
ok IsNull(Null + 1) And IsNull(-Null), "Null propagates"
ok Empty + 1 = 1 And VarType(Empty + Empty) = vbInteger, "Empty as zero"

' Is
Dim o1, o2
Set o1 = CreateObject("Scripting.Dictionary")
Set o2 = o1
ok o1 Is o2, "Is: the same object"
ok Not (o1 Is CreateObject("Scripting.Dictionary")), "Is: different objects"
ok Nothing Is Nothing, "Nothing Is Nothing"

' Conversions
ok CStr(1.5) = "1.5" And CStr(True) = "True" And CStr(-0.25) = "-0.25", "CStr"
ok CStr(1E+20) = "1E+20" And CStr(1 / 3) = "0.333333333333333", "CStr of Doubles"
ok CDbl("1.5e2") = 150 And CLng("&H10") = 16, "texts to numbers"
ok CBool("true") And Not CBool(0) And CBool(-3), "CBool"
ok Hex(255) = "FF" And Hex(-1) = "FFFF" And Hex(-2147483648) = "80000000", "Hex"
ok TypeName(1) = "Integer" And TypeName(70000) = "Long" And TypeName(1.5) = "Double", "TypeName"
ok TypeName("") = "String" And TypeName(Empty) = "Empty" And TypeName(Null) = "Null", "TypeName 2"
ok TypeName(Nothing) = "Nothing" And TypeName(Array()) = "Variant()", "TypeName 3"
ok IsNumeric("12") And IsNumeric(" 1.5 ") And Not IsNumeric("x1") And IsNumeric(3), "IsNumeric"
ok VarType("x") = vbString And VarType(True) = vbBoolean And VarType(Null) = vbNull, "VarType"

' More promotion and conversion rules
ok VarType(CByte(200) + CByte(100)) = vbInteger, "Byte overflow promotes to Integer"
ok VarType(-32768 - 1) = vbLong, "Integer underflow promotes to Long"
ok VarType(True + True) = vbInteger And True + True = -2, "Boolean arithmetic is Integer"
ok 10 Mod 3.6 = 2, "Mod rounds its operands (10 Mod 4)"
ok VarType(5 \ 2) = vbInteger And VarType(70000 \ 2) = vbLong, "\ keeps the integer kind"
ok CLng("  42  ") = 42, "blanks around a number"
On Error Resume Next
Dim r
r = CInt("abc")
ok Err.Number = 13, "CInt of text is a type mismatch"
Err.Clear
r = 2 ^ 2000
ok Err.Number = 6, "^ out of range is an overflow"
Err.Clear
r = CLng(3000000000)
ok Err.Number = 6, "CLng out of range is an overflow"
Err.Clear
r = Null + Nothing
ok Err.Number <> 0, "Nothing in arithmetic fails"
Err.Clear
On Error GoTo 0
ok "abc" = "abc" And Not ("abc" = "ABC"), "text comparison is binary"
ok StrComp("abc", "ABC", vbTextCompare) = 0, "StrComp text mode"
