' Sub and Function: ByRef and ByVal, recursion, Call, Exit, Execute, Eval, GetRef.
Dim v, arr

Sub Increment(n)
    n = n + 1
End Sub
Sub IncrementByVal(ByVal n)
    n = n + 1
End Sub

v = 1
Increment v
ok v = 2, "ByRef is the default"
IncrementByVal v
ok v = 2, "ByVal"
Call Increment(v)
ok v = 3, "Call passes by reference"
Increment (v)
ok v = 3, "a parenthesised argument is passed by value"
arr = Array(1, 2)
Increment arr(1)
ok arr(1) = 3, "an array element by reference"

Function Fact(n)
    If n <= 1 Then
        Fact = 1
        Exit Function
    End If
    Fact = n * Fact(n - 1)
End Function
ok Fact(10) = 3628800, "recursion"

Function Swap(a, b)
    Dim t
    t = a : a = b : b = t
End Function
Dim p, q
p = "p" : q = "q"
Swap p, q
ok p = "q" And q = "p", "two references"

Function NoResult()
End Function
ok IsEmpty(NoResult()), "a function without assignment returns Empty"

Function Implicit()
    local1 = 5
    Implicit = local1
End Function
ok Implicit() = 5 And IsEmpty(local1), "implicit variables in a procedure are local"

Dim counter
counter = 0
Sub Bump()
    counter = counter + 1
End Sub
Bump : Bump
ok counter = 2, "globals from a procedure"

' Execute, Eval, GetRef
Execute "Dim executed : executed = 42"
ok executed = 42, "Execute"
ExecuteGlobal "Function Twice(x) : Twice = 2 * x : End Function"
ok Twice(4) = 8, "ExecuteGlobal defines a function"
ok Eval("1 + 2 * 3") = 7, "Eval"
ok Eval("counter") = 2, "Eval reads globals"
Dim f
Set f = GetRef("Fact")
ok f(5) = 120, "GetRef"

' Wrong argument counts
On Error Resume Next
Fact 1, 2
ok Err.Number = 450, "wrong number of arguments"
Err.Clear

' Execute runs in the scope of the procedure that calls it; ExecuteGlobal at the top level
Function LocalScope()
    Dim inner
    inner = 1
    Execute "inner = inner + 41"
    LocalScope = inner
End Function
ok LocalScope() = 42, "Execute sees and changes the procedure's locals"
ok LocalScope() = 42, "the same text in the same scope again"
ok IsEmpty(inner), "the procedure's local did not become a global"
Function Result()
    Execute "Result = ""set by Execute"""
End Function
ok Result() = "set by Execute", "Execute assigns the function's result"
Sub GlobalFromProcedure()
    ExecuteGlobal "Dim madeGlobal : madeGlobal = 7"
End Sub
GlobalFromProcedure
ok madeGlobal = 7, "ExecuteGlobal from a procedure"

' A call of a procedure as the argument of another gives its result, in every position
Function Bang(s)
    Bang = s & "!"
End Function
ok Bang(Bang("a")) = "a!!", "a function's result as another call's argument"
ok Len(Bang(Bang(Bang("")))) = 3, "nested three deep"
Dim nested : nested = Bang(Bang("b"))
ok nested = "b!!", "assigned from a nested call"
