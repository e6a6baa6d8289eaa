' Scripting.FileSystemObject from VBScript: Err numbers instead of exceptions, For Each over
' the collections, dates and sizes as VBScript kinds, text streams in both formats.
Sub ok(cond, msg)
    Test.ok cond, msg
End Sub

Const ForReading = 1, ForWriting = 2, ForAppending = 8
Const TristateTrue = -1, TristateFalse = 0
Dim fso, root, f, ts, text, names, sub1, n, file, age

Set fso = CreateObject("Scripting.FileSystemObject")
root = "C:\vb fs tree"
If fso.FolderExists(root) Then fso.DeleteFolder root, True
fso.CreateFolder root
fso.CreateFolder root & "\sub ä"
fso.CreateFolder root & "\sub b"

' Text streams: write, append, read back in each format.
Set ts = fso.OpenTextFile(root & "\ansi.txt", ForWriting, True)
ts.WriteLine "first"
ts.Write "sec"
ts.Close
Set ts = fso.OpenTextFile(root & "\ansi.txt", ForAppending)
ts.WriteLine "ond"
ts.WriteBlankLines 2
ts.Close
Set ts = fso.OpenTextFile(root & "\ansi.txt", ForReading)
ok ts.ReadLine = "first", "ReadLine"
ts.Skip 3
ok ts.Column = 4 And ts.Line = 2, "Skip moves the column: " & ts.Column
ok ts.ReadLine = "ond", "the appended text joins the line"
n = 0
Do Until ts.AtEndOfStream
    ts.ReadLine
    n = n + 1
Loop
ok n = 2, "two blank lines: " & n
ts.Close
Set ts = fso.OpenTextFile(root & "\wide.txt", ForWriting, True, TristateTrue)
ts.Write "größe"
ts.Close
ok fso.GetFile(root & "\wide.txt").Size = 12, "Unicode: a mark and two bytes a character: " & fso.GetFile(root & "\wide.txt").Size
Set ts = fso.OpenTextFile(root & "\wide.txt", ForReading, False, TristateTrue)
ok ts.ReadAll = "größe", "read back as Unicode"
ts.Close

' The collections with For Each, and the kinds of the values.
names = ""
For Each sub1 In fso.GetFolder(root).SubFolders
    names = names & sub1.Name & ";"
Next
ok InStr(names, "sub ä;") > 0 And InStr(names, "sub b;") > 0, "SubFolders: " & names
ok fso.GetFolder(root).Files.Count = 2, "Files.Count"
Set f = fso.GetFile(root & "\ansi.txt")
ok VarType(f.DateLastModified) = vbDate, "dates are Dates: " & VarType(f.DateLastModified)
age = CDbl(f.DateLastModified)
ok age > 45000 And age < 80000, "a date of these years: " & f.DateLastModified
ok f.Size = 19, "Size: " & f.Size
ok fso.GetParentFolderName(f.Path) = root, "parent: " & fso.GetParentFolderName(f.Path)
n = 0
For Each file In fso.Drives
    n = n + 1
Next
ok n >= 1, "at least one drive"

' Failures set Err with Windows' numbers.
On Error Resume Next
fso.CreateTextFile root & "\ansi.txt", False
ok Err.Number = 58, "file exists: " & Err.Number
Err.Clear
fso.OpenTextFile root & "\no such.txt"
ok Err.Number = 53, "file not found: " & Err.Number
Err.Clear
fso.CreateTextFile root & "\no folder\x.txt"
ok Err.Number = 76, "path not found: " & Err.Number
Err.Clear
f.Attributes = 1
fso.DeleteFile f.Path
ok Err.Number = 70 And fso.FileExists(f.Path), "a read-only file is not deleted: " & Err.Number
Err.Clear
fso.DeleteFile f.Path, True
ok Err.Number = 0 And Not fso.FileExists(f.Path), "unless forced"
Err.Clear
Set ts = fso.OpenTextFile(root & "\wide.txt", ForReading)
ts.WriteLine "x"
ok Err.Number = 54, "writing a stream opened for reading: " & Err.Number
ts.Close
Err.Clear
On Error GoTo 0
fso.DeleteFolder root
ok Not fso.FolderExists(root), "DeleteFolder"
