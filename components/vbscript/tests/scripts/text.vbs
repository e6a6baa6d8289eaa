' The remaining text and engine functions.
Dim a, s, t, i

a = Filter(Array("apple", "Banana", "cherry"), "an")
ok UBound(a) = 0 And a(0) = "Banana", "Filter"
a = Filter(Array("apple", "Banana", "cherry"), "AN", True, vbTextCompare)
ok UBound(a) = 0 And a(0) = "Banana", "Filter ignoring case"
a = Filter(Array("apple", "Banana", "cherry"), "an", False)
ok UBound(a) = 1 And a(0) = "apple" And a(1) = "cherry", "Filter excluding"
ok UBound(Filter(Array("a"), "z")) = -1, "Filter with nothing left"
ok UBound(Filter(Array(1, 22, 3), 2)) = 0, "Filter converts numbers to text"

Function ErrorOf(code)
    On Error Resume Next
    Execute code
    ErrorOf = Err.Number
    On Error GoTo 0
End Function
ok ErrorOf("Filter ""abc"", ""a""") = 13, "Filter of a non-array"
ok ErrorOf("Filter Null, ""a""") = 94, "Filter of Null"

ok StrReverse("abc") = "cba" And StrReverse("") = "", "StrReverse"

ok Escape("a b+c/é€?") = "a%20b+c/%E9%u20AC%3F", "Escape: " & Escape("a b+c/é€?")
ok Unescape("a%20b%E9%u20AC%zz%u12") = "a bé€%zz%u12", "Unescape"
ok Unescape(Escape("100% ""ok"" ÿ" & ChrW(&HD800))) = "100% ""ok"" ÿ" & ChrW(&HD800), "Escape round trip"
ok IsNull(Escape(Null)) And IsNull(Unescape(Null)), "Escape of Null"

ok LCase("ÄÖÜ ΣΑΣ Ж") = "äöü σασ ж", "LCase beyond ASCII"
ok UCase("äöü straße ж") = "ÄÖÜ STRASSE Ж" Or UCase("äöü straße ж") = "ÄÖÜ STRAßE Ж", "UCase beyond ASCII"
ok Len(UCase("straße")) = 6, "UCase keeps the length"

ok ScriptEngine = "VBScript", "ScriptEngine"
ok ScriptEngineMajorVersion = 5 And ScriptEngineMinorVersion = 8 And ScriptEngineBuildVersion > 0, "versions"

ok RGB(1, 2, 3) = &H030201 And RGB(255, 255, 255) = vbWhite And RGB(300, 0, 0) = 255, "RGB"
ok RGB(1.5, 0, 0) = 2, "RGB rounds"
ok ErrorOf("x = RGB(-1, 0, 0)") = 5, "RGB below zero"

ok ErrorOf("MsgBox ""hi""") = 70 And ErrorOf("x = InputBox(""name?"")") = 70, "no dialogs here"
ok ErrorOf("Set p = LoadPicture(""C:\\x.bmp"")") = 481, "no pictures here"

' The byte functions: a text is its UTF-16 units, each little-endian; a byte length may be odd.
ok LenB("abc") = 6 And LenB("") = 0 And IsNull(LenB(Null)) And LenB(123) = 6, "LenB counts bytes"
ok LenB(ChrB(65)) = 1 And Len(ChrB(65)) = 0, "ChrB gives one byte, no whole character"
ok ChrB(65) & ChrB(0) = "A" And ChrB(&HAC) & ChrB(&H20) = ChrW(&H20AC), "bytes join into units"
s = ChrB(65) & "B"
ok LenB(s) = 3 And Len(s) = 1 And AscW(s) = &H4241 And AscB(RightB(s, 1)) = 0, "a text after an odd byte is shifted by a byte"
s = ChrB(1)
t = s
ok LenB(t) = 1 And LenB(t & t) = 2 And AscW(t & ChrB(2)) = &H201, "the odd byte survives assignment"
ok AscB("A") = 65 And AscB(ChrW(&H20AC)) = &HAC And AscB(MidB(ChrW(&H20AC), 2)) = &H20, "AscB reads the low byte first"
ok LeftB("abc", 2) = "a" And LenB(LeftB("abc", 3)) = 3 And LeftB("ab", 99) = "ab", "LeftB"
ok RightB("abc", 2) = "c" And LenB(RightB("abc", 5)) = 5 And RightB("ab", 99) = "ab", "RightB"
ok MidB("abc", 3, 2) = "b" And MidB("abc", 3) = "bc" And MidB("abc", 7) = "" And LenB(MidB("abc", 2, 2)) = 2, "MidB"
ok InStrB("abc", "b") = 3 And InStrB(4, "abcb", "b") = 7 And InStrB("abc", "z") = 0, "InStrB gives byte positions"
ok InStrB("abc", ChrB(98)) = 3 And InStrB("abc", ChrB(0)) = 2 And InStrB(3, "ab", "") = 3, "InStrB with bytes"
ok IsNull(InStrB(Null, "a")) And IsNull(MidB(Null, 1)) And IsNull(LeftB(Null, 1)), "byte functions of Null"
ok ErrorOf("x = ChrB(256)") = 5 And ErrorOf("x = ChrB(-1)") = 5 And ErrorOf("x = AscB("""")") = 5, "ChrB and AscB ranges"
ok ErrorOf("x = MidB(""ab"", 0)") = 5 And ErrorOf("x = LeftB(""ab"", -1)") = 5, "byte positions below 1"
s = ""
For i = 1 To 1001
    s = s & ChrB(i Mod 256)
Next
ok LenB(s) = 1001 And AscB(MidB(s, 1000, 1)) = 1000 Mod 256 And AscB(RightB(s, 1)) = 1001 Mod 256, "bytes appended one by one"
t = s
s = s & ChrB(7) & "x"
ok LenB(t) = 1001 And AscB(RightB(t, 1)) = 1001 Mod 256 And LenB(s) = 1004 And RightB(s, 2) = "x", "a copy keeps its bytes when the original grows"
ok LenB(s & s) = 2008 And RightB(s & s, 2) = "x" And LeftB(s & s, 1) = ChrB(1), "a text joined to itself"
