' RegExp: the flags, Execute and its collections, sub-matches, Replace with each $ form,
' pattern errors, and the object from CreateObject.
Dim re, ms, m, s, n, k

Set re = New RegExp
ok re.Pattern = "" And Not re.Global And Not re.IgnoreCase And Not re.Multiline, "defaults"
re.Pattern = "b+"
ok re.Test("abbbc") And Not re.Test("ac"), "Test"

' Global: one match or all of them
re.Pattern = "\d+"
Set ms = re.Execute("a1 b22 c333")
ok ms.Count = 1 And ms(0).Value = "1" And ms(0).FirstIndex = 1 And ms(0).Length = 1, "first match only"
re.Global = True
Set ms = re.Execute("a1 b22 c333")
ok ms.Count = 3 And ms.Item(1) = "22" And ms(2).FirstIndex = 8 And ms(2).Length = 3, "every match"
s = ""
For Each m In ms
    s = s & m.Value & "@" & m.FirstIndex & ";"
Next
ok s = "1@1;22@4;333@8;", "For Each over the matches: " & s
ok re.Execute("none").Count = 0, "no match"

' IgnoreCase, beyond ASCII too, while \w stays ASCII
re.Pattern = "straße"
ok Not re.Test("STRASSE") And Not re.Test("STRAßE"), "case matters by default"
re.IgnoreCase = True
ok re.Test("STRAßE") And re.Test("Straße"), "IgnoreCase"
re.Pattern = "Ä[é]ж"
ok re.Test("äÉЖ"), "IgnoreCase beyond ASCII"
re.Pattern = "^\w+$"
ok re.Test("Abc_9") And Not re.Test("abé"), "\w is ASCII with IgnoreCase"
re.Pattern = "\bx\b"
ok re.Test("a x b") And re.Test("éxé") And Not re.Test("axb"), "\b with IgnoreCase"
re.IgnoreCase = False

' Multiline: ^ and $ at line ends (\n and \r), '.' stops only at \n
re.Pattern = "^\w+$"
ok Not re.Test("one" & vbLf & "two"), "without Multiline ^ and $ are the text's ends"
ok Not re.Test("one" & vbLf), "$ is not before a final newline"
re.Multiline = True
Set ms = re.Execute("one" & vbLf & "two" & vbCrLf & "three")
ok ms.Count = 3 And ms(1) = "two" And ms(2) = "three", "Multiline lines: " & ms.Count
re.Multiline = False
re.Pattern = "a.b"
ok re.Test("a" & vbCr & "b") And Not re.Test("a" & vbLf & "b"), "'.' and newlines"

' Sub-matches: groups that took no part are Empty
re.Pattern = "(\w+)@(\w+)(\.com)?"
Set m = re.Execute("mail: joe@example now")(0)
ok m.SubMatches.Count = 3 And m.SubMatches(0) = "joe" And m.SubMatches(1) = "example", "SubMatches"
ok IsEmpty(m.SubMatches(2)), "an unmatched group is Empty"
s = ""
For Each k In m.SubMatches
    s = s & "[" & k & "]"
Next
ok s = "[joe][example][]", "For Each over SubMatches: " & s
re.Pattern = "(a)|(b)"
re.Global = True
Set ms = re.Execute("ab")
ok ms(0).SubMatches(0) = "a" And IsEmpty(ms(0).SubMatches(1)) And IsEmpty(ms(1).SubMatches(0)) And ms(1).SubMatches(1) = "b", "each match has its own groups"

' Empty matches in Global mode advance by one character
re.Pattern = "x*"
Set ms = re.Execute("axxb")
s = ""
For Each m In ms
    s = s & m.FirstIndex & ":" & m.Length & ";"
Next
ok s = "0:0;1:2;3:0;4:0;", "empty matches: " & s
ok re.Replace("abc", "-") = "-a-b-c-", "Replace of empty matches"

' Replace with each $ form
re.Pattern = "(\w+)\s(\w+)"
re.Global = False
ok re.Replace("john smith", "$2, $1") = "smith, john", "$1 $2"
ok re.Replace("ab cd!", "[$&]") = "[ab cd]!", "$&"
ok re.Replace("<ab cd>", "[$`]") = "<[<]>", "$`"
ok re.Replace("<ab cd>", "[$']") = "<[>]>", "$'"
ok re.Replace("ab cd", "$$1") = "$1", "$$"
ok re.Replace("ab cd", "$3$0$x$") = "$3$0$x$", "other $ forms are literal"
re.Pattern = "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)"
ok re.Replace("abcdefghijk", "$11$10$1") = "kja", "two-digit group numbers"
re.Pattern = "(x)?y"
ok re.Replace("y", "[$1]") = "[]", "an unmatched group is empty in Replace"
re.Pattern = "o"
re.Global = True
ok re.Replace("foo boo", "0") = "f00 b00", "Global Replace"
re.Global = False
ok re.Replace("foo boo", "0") = "f0o boo", "Replace of the first match only"

' Syntax of the language, not of other engines
re.Pattern = "\x41\u0042\t"
ok re.Test("AB" & vbTab), "\x and \u escapes"
re.Pattern = "^[\x41-\x43\u00e9\d]+$"
ok re.Test("ABCé9") And Not re.Test("D"), "escapes inside a class"
re.IgnoreCase = True
re.Pattern = "^[\W\d]+$"
ok re.Test("1-2") And re.Test("é") And Not re.Test("1a2") And Not re.Test("1A2"), "negated class escapes inside a class with IgnoreCase"
re.Pattern = "\W"
ok Not re.Test("k") And Not re.Test("S") And re.Test("-"), "\W with IgnoreCase takes in no letter"
re.IgnoreCase = False
re.Pattern = "[\b]"
ok re.Test(Chr(8)), "[\b] is backspace"
re.Pattern = "\v"
ok re.Test(vbVerticalTab) And Not re.Test(vbLf), "\v is the vertical tab only"
re.Pattern = "\A\z"
ok re.Test("Az"), "letters without an escape meaning are themselves"
re.Pattern = "(x)?\1b"
ok re.Test("b"), "a back reference to an unset group matches empty"
re.Pattern = "(a)\1\2\101\8"
ok re.Test("aa" & Chr(2) & "A8"), "numbers past the groups are octal codes or digits"
re.Pattern = "a[]b"
ok Not re.Test("ab"), "[] matches nothing"
re.Pattern = "a[^]b"
ok re.Test("a" & vbLf & "b"), "[^] matches anything"
re.Pattern = "[[:alpha:]]"
ok re.Test(":]") And Not re.Test("x"), "no POSIX classes"
re.Pattern = ChrW(&HD800) & "."
ok re.Test("a" & ChrW(&HD800) & ChrW(&HDC00)), "lone surrogates are characters"

' Pattern errors are run-time errors of the call that uses the pattern
Function ErrorOf(pattern)
    Dim r
    Set r = New RegExp
    r.Pattern = pattern
    On Error Resume Next
    r.Test "x"
    ErrorOf = Err.Number
    On Error GoTo 0
End Function
ok ErrorOf("a(b") = 5020, "unclosed group: " & ErrorOf("a(b")
ok ErrorOf("[ab") = 5019, "unclosed class: " & ErrorOf("[ab")
ok ErrorOf("a**") = 5018 And ErrorOf("*a") = 5018 And ErrorOf("a++") = 5018, "quantifiers"
ok ErrorOf("[z-a]") = 5021, "range: " & ErrorOf("[z-a]")
ok ErrorOf("(?<n>a)") = 5017 And ErrorOf("(?i)a") = 5017, "other engines' groups"
ok ErrorOf("a\") = 5017, "trailing backslash"
ok ErrorOf("a{2}b{1,}c{1,3}?") = 0 And ErrorOf("a{x}") = 0, "braces"

' Flags changed after use recompile the pattern
re.Pattern = "abc"
ok Not re.Test("ABC"), "before IgnoreCase"
re.IgnoreCase = True
ok re.Test("ABC"), "after IgnoreCase"

' The ProgID gives the same object
Set re = CreateObject("VBScript.RegExp")
re.Pattern = "(\d+)-(\d+)"
re.Global = True
Set ms = re.Execute("1-2, 30-40")
ok ms.Count = 2 And ms(1).SubMatches(1) = "40", "CreateObject(""VBScript.RegExp"")"
ok TypeName(re) <> "", "TypeName"

' A class named RegExp takes the name from the built-in one in code compiled after it
ExecuteGlobal "Class RegExp" & vbLf & "Public Kind" & vbLf & "End Class"
ExecuteGlobal "Set re = New RegExp"
ok IsEmpty(re.Kind), "the script's own RegExp class"
