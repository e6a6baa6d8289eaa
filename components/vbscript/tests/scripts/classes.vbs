' Classes: fields, Property Get/Let/Set, Default, Initialize/Terminate, Me, New, Is.
Dim log
log = ""

Class Counter
    Private count_
    Public Label

    Private Sub Class_Initialize()
        count_ = 0
        log = log & "init;"
    End Sub
    Private Sub Class_Terminate()
        log = log & "term;"
    End Sub

    Public Default Property Get Value()
        Value = count_
    End Property
    Public Property Let Value(v)
        count_ = v
    End Property

    Public Function Add(n)
        count_ = count_ + n
        Set Add = Me
    End Function
End Class

Class Holder
    Private item_
    Public Property Set Item(o)
        Set item_ = o
    End Property
    Public Property Get Item()
        Set Item = item_
    End Property
End Class

Dim c, h, v
Set c = New Counter
ok log = "init;", "Class_Initialize runs at New"
c.Add(2).Add 3
ok c.Value = 5, "methods and Me"
c.Value = 10
ok c = 10, "the default property"
v = c
ok v = 10 And Not IsObject(v), "plain assignment takes the default value"
c.Label = "lbl"
ok c.Label = "lbl", "public field"
c.Label = Array(1, 2, 3)
c.Label(1) = "two"
ok c.Label(1) = "two" And UBound(c.Label) = 2, "an element of an array field"
ok TypeName(c) = "Counter", "TypeName of an instance"

Set h = New Holder
Set h.Item = c
ok h.Item Is c, "Property Set and Get with objects"

On Error Resume Next
v = c.count_
ok Err.Number = 438, "a private member is not reachable from outside"
Err.Clear
On Error GoTo 0

Set h = Nothing
Set c = Nothing
ok log = "init;term;", "Class_Terminate runs when the last reference goes"

' A long chain of instances and of nested arrays goes without deep recursion
Class Node
    Public NextNode
End Class
Dim head, n, i, nested
Set head = Nothing
For i = 1 To 200000
    Set n = New Node
    Set n.NextNode = head
    Set head = n
Next
Set n = Nothing
Set head = Nothing
nested = Array()
For i = 1 To 200000
    nested = Array(nested)
Next
nested = Empty
ok True, "long chains freed"
