' COM objects: Scripting.Dictionary through late binding, default members, Set, For Each
' over _NewEnum, out parameters, GetObject with a moniker, and the named item's members.
Dim d, k, n, keys, o

Set d = CreateObject("Scripting.Dictionary")
d.Add "one", 1
d("two") = 2
d.Item("three") = 3
ok d.Count = 3, "Count"
ok d("two") = 2 And d.Item("three") = 3, "default member and indexed get"
ok d.Exists("ONE") = False, "Exists is case sensitive by default"
n = 0
For Each k In d
    n = n + d(k)
Next
ok n = 6, "For Each over a collection (_NewEnum)"
keys = d.Keys
ok IsArray(keys) And UBound(keys) = 2 And keys(0) = "one", "an array returned from COM"
n = ""
For Each k In d.Keys
    n = n & k
Next
ok n = "onetwothree", "For Each over a returned array"

' Set versus plain assignment
Set o = d
ok IsObject(o) And o.Count = 3, "Set stores the reference"
On Error Resume Next
n = d
ok Err.Number <> 0, "plain assignment of an object without a default value fails"
Err.Clear
On Error GoTo 0

' Objects in a dictionary
Dim inner
Set inner = CreateObject("Scripting.Dictionary")
inner("a") = "x"
Set d("inner") = inner
ok d("inner")("a") = "x", "a chain of default members"

' The named item and its global members
ok Test.Name = "helper", "the named item's property"
Test.Name = "renamed"
ok Name = "renamed", "a global member of the named item"
' Assigning the bare name puts the item's property; no script variable appears.
Name = "put through the item"
ok Test.Name = "put through the item", "assigning a global member puts it"
Sub RenameFromAProcedure(text)
    Name = text
End Sub
RenameFromAProcedure "put from a procedure"
ok Test.Name = "put from a procedure", "a procedure's assignment is not a new local"
Name = 42
ok Test.Name = "42", "the put carries the value, read back as text: " & Test.Name

' TypeName of an object is the class its type information names
ok TypeName(d) = "Dictionary", "TypeName of a Dictionary: " & TypeName(d)
ok TypeName(Err) = "ErrObject", "TypeName of Err: " & TypeName(Err)
ok TypeName(Test) = "TestHelper", "TypeName of a host object: " & TypeName(Test)

' GetObject through a moniker
Set o = GetObject("kvtest:thing")
ok o.Name = "kvtest:thing", "GetObject with a display name"

' Errors from COM
On Error Resume Next
d.NoSuchMethod
ok Err.Number = 438, "an unknown member is error 438"
Err.Clear
Set o = CreateObject("No.Such.Class")
ok Err.Number = 429, "an unknown class is error 429"
Err.Clear

' TypeName of the platform's objects gives their class names
Set fso = CreateObject("Scripting.FileSystemObject")
ok TypeName(fso) = "FileSystemObject", "TypeName of a FileSystemObject: " & TypeName(fso)
ok TypeName(fso.Drives) = "Drives", "TypeName of Drives: " & TypeName(fso.Drives)
ok TypeName(CreateObject("WScript.Shell")) = "IWshShell3", "TypeName of WScript.Shell"
ok TypeName(CreateObject("WScript.Shell").Environment("PROCESS")) = "IWshEnvironment", _
   "TypeName of an environment"
Set locator = CreateObject("WbemScripting.SWbemLocator")
ok TypeName(locator) = "SWbemLocator", "TypeName of a locator: " & TypeName(locator)
Set services = locator.ConnectServer(".", "root\cimv2")
ok TypeName(services) = "SWbemServicesEx", "TypeName of services: " & TypeName(services)
Set found = services.ExecQuery("SELECT Caption FROM Win32_OperatingSystem")
ok TypeName(found) = "SWbemObjectSet", "TypeName of a result set: " & TypeName(found)
For Each system In found
    ok TypeName(system) = "SWbemObjectEx", "TypeName of an instance: " & TypeName(system)
Next
