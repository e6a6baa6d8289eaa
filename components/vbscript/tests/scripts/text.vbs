' The remaining text and engine functions.
Dim a

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
