Option Explicit
Dim a, b(2), m(1, 2)
Const K = &HFF, D = #1/2/2003#
ReDim Preserve b(5)
If a Then b(0) = 1 Else b(1) = 2
Select Case a
    Case 1, 2 : a = 3
    Case 4 To 5, Is > 9
    Case Else
End Select
For i = 1 To 10 Step 2 : Next
For Each x In b : Next
Do While a < 3 : a = a + 1 : Loop
While False : Wend
With CreateObject("Scripting.Dictionary")
    .Add "k", "v"
End With
On Error Resume Next
Err.Raise 5
On Error GoTo 0
