' The built-in functions over texts and arrays.
Dim parts, s

ok Len("abc") = 3 And IsNull(Len(Null)), "Len"
ok Left("abcdef", 2) = "ab" And Right("abcdef", 2) = "ef" And Left("ab", 10) = "ab", "Left, Right"
ok Mid("abcdef", 2, 3) = "bcd" And Mid("abcdef", 4) = "def" And Mid("abc", 10) = "", "Mid"
ok InStr("hello", "l") = 3 And InStr(4, "hello", "l") = 4 And InStr("hello", "z") = 0, "InStr"
ok InStr(1, "HELLO", "l", vbTextCompare) = 3, "InStr with text compare"
ok InStrRev("hello", "l") = 4 And InStrRev("hello", "l", 3) = 3, "InStrRev"
ok LCase("AbC") = "abc" And UCase("aBc") = "ABC", "LCase, UCase"
ok Trim("  a b  ") = "a b" And LTrim("  a ") = "a " And RTrim(" a  ") = " a", "Trim"
ok Replace("a-b-c", "-", "+") = "a+b+c" And Replace("aXbx", "x", "_", 1, -1, 1) = "a_b_", "Replace"
ok Replace("abcabc", "b", "", 1, 1) = "acabc", "Replace with a count"
ok Space(3) = "   " And String(3, "x") = "xxx" And String(2, 65) = "AA", "Space, String"
ok StrComp("a", "b") = -1 And StrComp("b", "a") = 1 And StrComp("A", "a", 1) = 0, "StrComp"
ok Chr(65) = "A" And Asc("A") = 65 And ChrW(8364) = "€" And AscW("€") = 8364, "Chr, Asc"
ok vbCrLf = Chr(13) & Chr(10) And Len(vbTab) = 1, "constants"

parts = Split("a,b,,c", ",")
ok UBound(parts) = 3 And parts(2) = "" And parts(3) = "c", "Split"
ok UBound(Split("")) = -1, "Split of the empty text"
ok UBound(Split("a b c", " ", 2)) = 1, "Split with a count"
ok Join(parts, "|") = "a|b||c" And Join(Array(1, 2)) = "1 2", "Join"
ok LBound(parts) = 0 And UBound(Array()) = -1, "LBound, empty Array"
ok IsArray(parts) And Not IsArray(s), "IsArray"

s = ""
Dim i
For i = 1 To 1000
    s = s & "x"
Next
ok Len(s) = 1000, "repeated concatenation"
Dim t
t = s
s = s & "y"
ok Len(t) = 1000 And Len(s) = 1001 And Right(s, 1) = "y", "a copy keeps its text when the original grows"

ok Timer() >= 0 And Timer() < 86400, "Timer"

' The Mid statement
s = "abcdef"
Mid(s, 2, 3) = "XYZW"
ok s = "aXYZef", "Mid statement with a length"
Mid(s, 5) = "123456"
ok s = "aXYZ12", "Mid statement never grows the text"
