Function F(ByVal a, ByRef b, c())
    F = a & b
    Exit Function
End Function
Sub S(x) : x = x + 1 : End Sub
Call S(y) : S (y) : S y, , 3
Class C
    Private p
    Public Default Property Get V() : V = p : End Property
    Property Let V(x) : p = x : End Property
    Sub Class_Initialize() : Set Me.O = Nothing : End Sub
End Class
Set o = New C : o.V = 1 : z = o
Execute "a = 1" : b = Eval("1 + 2 * -3 ^ 2 \ 4 Mod 3 And Not 1 Or 2 Xor 3 Eqv 4 Imp 5")
r = GetRef("F")
