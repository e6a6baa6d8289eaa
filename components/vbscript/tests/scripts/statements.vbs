' Statement forms: Dim/ReDim/Erase, arrays, Const, If, Select Case, loops, Exit, With.
Option Explicit
Dim a, b(2), m(1, 2), i, j, total, text

' Fixed and dynamic arrays
b(0) = "x" : b(1) = "y" : b(2) = "z"
ok UBound(b) = 2, "UBound of a fixed array"
ok b(1) = "y", "element of a fixed array"
m(1, 2) = 12 : m(0, 1) = 1
ok m(1, 2) = 12 And m(0, 1) = 1 And IsEmpty(m(0, 0)), "two-dimensional array"
ok UBound(m, 1) = 1 And UBound(m, 2) = 2, "UBound per dimension"
Dim d()
ReDim d(3)
d(3) = "last"
ReDim Preserve d(5)
ok UBound(d) = 5 And d(3) = "last", "ReDim Preserve keeps elements"
ReDim d(1)
ok IsEmpty(d(0)) And UBound(d) = 1, "ReDim without Preserve clears"
Erase b
ok IsEmpty(b(1)) And UBound(b) = 2, "Erase clears a fixed array"

' Arrays are copied on assignment
Dim c1, c2
c1 = Array(1, 2, 3)
c2 = c1
c2(0) = 99
ok c1(0) = 1 And c2(0) = 99, "array assignment copies"

' Const with radix literals
Const HEXVAL = &HFF, OCTVAL = &O17, BIG = &H80000002
ok HEXVAL = 255 And OCTVAL = 15, "hex and octal constants"
ok BIG < 0 And VarType(BIG) = vbLong, "a large hex literal is a negative Long"
ok VarType(&HFFFF) = vbInteger And &HFFFF = -1, "four hex digits give an Integer"

' If forms
If 1 > 2 Then ok False, "single-line If taken wrongly" Else ok True, "single-line Else"
If 2 > 1 Then
    i = 1
ElseIf 3 > 1 Then
    i = 2
Else
    i = 3
End If
ok i = 1, "block If"
If False Then i = 10 : i = 11
ok i = 1, "single-line If skips all its statements"

' Select Case with lists, ranges and Is
Function Classify(n)
    Select Case n
        Case 1, 2, 3
            Classify = "small"
        Case 4 To 9
            Classify = "medium"
        Case Is >= 10
            Classify = "large"
        Case Else
            Classify = "other"
    End Select
End Function
ok Classify(2) = "small" And Classify(5) = "medium" And Classify(50) = "large", "Select Case"
ok Classify(-1) = "other", "Case Else"
Select Case "b"
    Case "a" : ok False, "wrong case"
    Case "b" : text = "b"
End Select
ok text = "b", "Select Case on text"

' For with Step, bounds evaluated once
total = 0
For i = 1 To 10 Step 3
    total = total + i
Next
ok total = 22 And i = 13, "For with Step: 1+4+7+10, then one past"
total = 0
For i = 10 To 1 Step -2
    total = total + 1
Next
ok total = 5, "negative Step"
j = 3 : total = 0
For i = 1 To j
    j = 10
    total = total + 1
Next
ok total = 3, "the end bound is read once"
total = 0
For i = 0.5 To 2 Step 0.5
    total = total + i
Next
ok total = 5, "fractional Step"
For i = 1 To 0
    ok False, "an empty For body ran"
Next

' For Each over arrays
total = 0
For Each i In Array(1, 2, 3, 4)
    total = total + i
Next
ok total = 10, "For Each over an array"
total = ""
For Each i In m
    total = total & "."
Next
ok total = "......", "For Each over a two-dimensional array visits every element"

' Do forms, While..Wend, Exit
i = 0
Do While i < 5
    i = i + 1
Loop
ok i = 5, "Do While"
i = 0
Do Until i = 3
    i = i + 1
Loop
ok i = 3, "Do Until"
i = 10
Do
    i = i + 1
Loop While i < 5
ok i = 11, "Do ... Loop While runs once"
i = 0
Do
    i = i + 1
    If i = 7 Then Exit Do
Loop
ok i = 7, "Exit Do"
i = 0
While i < 4
    i = i + 1
Wend
ok i = 4, "While ... Wend"
For i = 1 To 100
    For j = 1 To 100
        If j = 2 Then Exit For
    Next
    If i = 3 Then Exit For
Next
ok i = 3 And j = 2, "Exit For leaves the innermost loop"

' Line continuation and comments
total = 1 + _
        2 + _
        3 ' a comment
Rem another comment
ok total = 6, "line continuation"

' With
Dim dict
Set dict = CreateObject("Scripting.Dictionary")
With dict
    .Add "k", "v"
    .Add "n", 2
    ok .Count = 2, "With: member call"
    ok .Item("k") = "v", "With: member with arguments"
End With
ok dict("n") = 2, "default member"

' Nested With: the innermost object answers
Dim outer, innerD
Set outer = CreateObject("Scripting.Dictionary")
Set innerD = CreateObject("Scripting.Dictionary")
outer.Add "name", "outer"
innerD.Add "name", "inner"
With outer
    With innerD
        ok .Item("name") = "inner", "the inner With"
    End With
    ok .Item("name") = "outer", "the outer With again"
End With

' For with a Step of 0 would never end: it is left after its limit check by Exit For
total = 0
For i = 1 To 3 Step 0
    total = total + 1
    If total = 5 Then Exit For
Next
ok total = 5, "Step 0 repeats"

' For Each leaves the variable at the last element; an empty array runs no body
For Each i In Array("a", "b")
Next
ok i = "b", "For Each variable after the loop"
total = 0
For Each i In Array()
    total = 1
Next
ok total = 0, "For Each over an empty array"

' Select Case with Null matches no Case but Else
Select Case Null
    Case 1 : text = "one"
    Case Else : text = "else"
End Select
ok text = "else", "Select Case Null"

' Multi-dimensional ReDim Preserve changes the last dimension only
ReDim g(1, 1)
g(1, 1) = "kept"
ReDim Preserve g(1, 3)
ok g(1, 1) = "kept" And UBound(g, 2) = 3, "ReDim Preserve of the last dimension"
On Error Resume Next
ReDim Preserve g(2, 3)
ok Err.Number = 9, "ReDim Preserve of another dimension fails"
Err.Clear
Dim fixedArr(2)
ReDim fixedArr(5)
ok Err.Number = 10, "a fixed array cannot be ReDim'd"
Err.Clear
On Error GoTo 0
