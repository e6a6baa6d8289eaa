' Errors: the Err object, On Error Resume Next per procedure, error numbers.
Dim x, arr(1)

On Error Resume Next
x = 1 / 0
ok Err.Number = 11, "division by zero is error 11"
ok Err.Description = "Division by zero", "its description"
Err.Clear
ok Err.Number = 0 And Err.Description = "", "Clear"
x = CInt(40000)
ok Err.Number = 6, "overflow is error 6"
Err.Clear
x = CLng("abc")
ok Err.Number = 13, "type mismatch is error 13"
Err.Clear
x = arr(5)
ok Err.Number = 9, "subscript out of range"
Err.Clear
x = Nothing.Foo
ok Err.Number <> 0, "a member of Nothing fails"
Err.Clear
Err.Raise 1234, "my source", "my text"
ok Err.Number = 1234 And Err.Description = "my text" And Err.Source = "my source", "Raise"
Err.Clear
Err.Raise vbObjectError + 5
ok Err.Number = vbObjectError + 5, "Raise with vbObjectError"
Err.Clear

' An error in a statement skips to the next statement
x = 0
x = 1 : Err.Raise 5 : x = 2
ok x = 2, "the statement after the failing one runs"
Err.Clear

' An error in a callee without a handler ends the callee; the caller's handler catches it
Dim reached
Sub Fails()
    reached = 1
    Err.Raise 5
    reached = 2
End Sub
Fails
ok reached = 1 And Err.Number = 5, "an error ends the procedure without a handler"
Err.Clear

' A callee with its own handler continues
Function Guarded()
    On Error Resume Next
    Dim y
    y = 1 / 0
    Guarded = Err.Number
End Function
ok Guarded() = 11, "a handler inside the procedure"

' On Error GoTo 0 turns handling off again (checked in a callee, under the caller's handler)
Function Unguarded()
    On Error Resume Next
    On Error GoTo 0
    Unguarded = 1
    Err.Raise 7
    Unguarded = 2
End Function
x = Unguarded()
ok Err.Number = 7, "GoTo 0: the error reaches the caller"
Err.Clear

' An error in an If condition enters the branch
x = 0
If 1 / 0 = 5 Then x = 1
ok x = 1, "an error in an If condition continues inside the branch"
Err.Clear
ok Err.Number = 0, "cleared"

' A For Each over something that is no collection: the error is skipped, the body runs once,
' and the loop ends at its Next
Dim hits, item
For Each source In Array(42, CreateObject("Scripting.FileSystemObject"), Nothing)
    hits = 0
    For Each item In source
        hits = hits + 1
    Next
    ok Err.Number = 451 Or Err.Number = 424, "For Each over a non-collection raises " & Err.Number
    ok hits = 1, "the body ran once after the skipped error: " & hits
    Err.Clear
Next

' A text cannot outgrow 2^27 units, however it is made: each way ends in error 14 and
' leaves the variable as it was, so a loop doubling a text stops long before the host runs
' out of memory
Dim big, grown, rounds, parts(2)
big = Space(&H4000000)
grown = big & big
ok Err.Number = 0 And Len(grown) = &H8000000, "a text of the largest length can be made"
grown = grown & "x"
ok Err.Number = 14 And Len(grown) = &H8000000, "one unit more is error 14: " & Err.Number
Err.Clear
grown = Empty
grown = big + big + big
ok Err.Number = 14 And IsEmpty(grown), "+ of texts is bounded too: " & Err.Number
Err.Clear
parts(0) = big : parts(1) = big : parts(2) = big
grown = Join(parts, "")
ok Err.Number = 14 And IsEmpty(grown), "Join is bounded: " & Err.Number
Err.Clear
grown = Replace(Space(3), " ", big)
ok Err.Number = 14 And IsEmpty(grown), "Replace is bounded: " & Err.Number
Err.Clear
grown = big
rounds = 0
Do While rounds < 3 And Err.Number = 0
    grown = grown & grown
    rounds = rounds + 1
Loop
ok Err.Number = 14 And rounds = 2, "a doubling loop ends at the bound: " & rounds
Err.Clear
big = Empty : grown = Empty : parts(0) = Empty : parts(1) = Empty : parts(2) = Empty

' What the texts and arrays of scripts hold together is bounded (1 GB): keeping fresh texts,
' one huge array or the parts of one Split ends in error 7, and what is let go counts no more
Dim kept(11), k
For k = 0 To 11
    kept(k) = Space(&H4000000)
    If Err.Number <> 0 Then Exit For
Next
ok Err.Number = 7 And k > 4 And k < 11, "kept texts end in error 7 at " & k & ": " & Err.Number
Err.Clear
Erase kept
kept(0) = Space(&H4000000)
ok Err.Number = 0 And Len(kept(0)) = &H4000000, "what was let go counts no more"
kept(0) = Empty
ReDim huge(&H3FFFFFF)
ok Err.Number = 7, "an array of 2^26 elements is error 7: " & Err.Number
Err.Clear

' Bounds at the largest Long: too many elements, or none at all, which COM takes as they are
ReDim huge(2147483647)
ok Err.Number = 7, "an upper bound of 2^31 - 1 is error 7: " & Err.Number
Err.Clear
ReDim huge(-1, 2147483647)
ok Err.Number = 0 And UBound(huge, 2) = 2147483647, "an empty array of a huge dimension"
Set holder = CreateObject("Scripting.Dictionary")
holder.Add 1, huge
ok Err.Number = 0 And UBound(holder.Item(1), 2) = 2147483647, "and through COM: " & Err.Number
Err.Clear
Set holder = Nothing
huge = Empty
grown = Split(Space(&H2000000))
ok Err.Number = 7 And IsEmpty(grown), "the parts of a Split count: " & Err.Number
Err.Clear
