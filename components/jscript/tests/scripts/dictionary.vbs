' Scripting.Dictionary from VBScript, where its kinds of numbers and dates, Key renames and
' For Each differ from JScript.
Sub ok(cond, msg)
    Test.ok cond, msg
End Sub

Dim d, k, keys, n, o, p

' Numbers match by value whatever their kind: Integer, Long, Double, Byte, Date.
Set d = CreateObject("Scripting.Dictionary")
d.Add CInt(1), "one"
ok d.Exists(CLng(1)) And d.Exists(CDbl(1)) And d.Exists(CByte(1)), "1 in every numeric kind"
ok Not d.Exists("1"), "a text is another key"
d.Add #1/2/2000#, "date"
ok d.Exists(CDbl(#1/2/2000#)), "a date is its serial number"
ok d.Item(CDbl(#1/2/2000#)) = "date", "found by it"

' Objects by identity.
Set o = CreateObject("Scripting.Dictionary")
Set p = CreateObject("Scripting.Dictionary")
d.Add o, "o"
ok d.Exists(o) And Not d.Exists(p), "objects by identity"

' Text mode, set while empty.
Set d = CreateObject("Scripting.Dictionary")
d.CompareMode = vbTextCompare
d.Add "Name", 1
ok d.Exists("NAME") And d("name") = 1, "vbTextCompare"
On Error Resume Next
d.Add "nAmE", 2
ok Err.Number = 457, "a key differing in case only exists: " & Err.Number
Err.Clear
d.CompareMode = vbBinaryCompare
ok Err.Number = 5, "CompareMode of a filled dictionary: " & Err.Number
Err.Clear
On Error GoTo 0

' Key renames in place; removals keep the order of what stays.
Set d = CreateObject("Scripting.Dictionary")
For Each k In Array("a", "b", "c", "d")
    d.Add k, UCase(k)
Next
d.Key("b") = "B2"
d.Remove "c"
d.Add "c", "again"
keys = ""
For Each k In d
    keys = keys & k & "=" & d(k) & ";"
Next
ok keys = "a=A;B2=B;d=D;c=again;", "order and renames: " & keys
ok Join(d.Keys, ",") = "a,B2,d,c" And Join(d.Items, ",") = "A,B,D,again", "Keys and Items"
n = 0
For Each k In d.Keys
    d.RemoveAll
    n = n + 1
Next
ok n = 4 And d.Count = 0, "Keys is a snapshot: " & n
