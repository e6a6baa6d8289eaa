' The scripting objects from VBScript, where it differs from JScript: by-reference out
' parameters, For Each, default members called with arguments, Err.
Sub ok(cond, msg)
    Test.ok cond, msg
End Sub

Dim fso, shell, folder, file, names, reg, rc, value, values, kinds, d, key, env, n, exec

' Files: For Each over a folder's files, Err numbers.
Set fso = CreateObject("Scripting.FileSystemObject")
Set folder = fso.CreateFolder("C:\vb tree")
fso.CreateTextFile("C:\vb tree\one.txt").WriteLine "1"
fso.CreateTextFile("C:\vb tree\twö.txt", True, True).WriteLine "2"
names = ""
For Each file In folder.Files
    names = names & file.Name & ";"
Next
ok InStr(names, "one.txt;") > 0 And InStr(names, "twö.txt;") > 0, "For Each over Files: " & names
On Error Resume Next
fso.GetFile "C:\vb tree\none.txt"
ok Err.Number = 53, "Err.Number 53: " & Err.Number
ok Err.Description = "File not found", "Err.Description: " & Err.Description
Err.Clear
On Error GoTo 0
fso.DeleteFolder "C:\vb tree"

' The shell: the environment's default member with an argument, Exec.
Set shell = CreateObject("WScript.Shell")
Set env = shell.Environment("PROCESS")
env("KAVREL_VB_VAR") = "vb value"
ok shell.ExpandEnvironmentStrings("%KAVREL_VB_VAR%") = "vb value", "Environment(""PROCESS"")(name) = value"
ok shell.SpecialFolders("Fonts") = "C:\Windows\Fonts", "SpecialFolders(name)"
Set exec = shell.Exec("sh -c ""echo out; echo err 1>&2""")
ok exec.StdOut.ReadLine() = "out" And exec.StdErr.ReadAll() = "err" & vbLf, "Exec streams"

' StdRegProv: out parameters by reference.
Const HKCU = &H80000001
Set reg = GetObject("winmgmts:{impersonationLevel=impersonate}!\\.\root\default:StdRegProv")
key = "Software\Kavrel VB"
ok reg.CreateKey(HKCU, key) = 0, "CreateKey"
reg.SetStringValue HKCU, key, "S", "text"
reg.SetDWORDValue HKCU, key, "D", 7
rc = reg.GetStringValue(HKCU, key, "S", value)
ok rc = 0 And value = "text", "GetStringValue out parameter: " & value
rc = reg.EnumValues(HKCU, key, values, kinds)
ok rc = 0 And UBound(values) = 1 And UBound(kinds) = 1, "EnumValues out arrays"

' Dictionary: RemoveAll during For Each ends nothing early; Keys is a snapshot.
Set d = CreateObject("Scripting.Dictionary")
d.Add "a", 1
d.Add "b", 2
n = 0
For Each key In d
    n = n + 1
    d.RemoveAll
Next
ok n = 2 And d.Count = 0, "For Each over a snapshot of the keys: " & n
