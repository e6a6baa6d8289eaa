// The language as scripts see it: values crossing to COM and back, host functions.
var ok = function (cond, msg) { Test.ok(cond, msg); };

ok(ScriptEngine() == 'JScript', 'ScriptEngine');
ok(typeof ActiveXObject == 'function' && typeof Enumerator == 'function', 'host objects exist');

// Values handed to a COM object and returned by it keep their kind.
function id(x) { return x; }
var values = [0, -1, 2147483647, 2147483648, 0.25, 'text', '', true, false, null];
for (var i = 0; i < values.length; ++i)
    ok(Test.Call(id, values[i]) === values[i], 'round trip of ' + values[i]);
ok(Test.Call(id, undefined) === undefined, 'undefined round trip');
ok(Test.Call(id, 'a\u20acb') === 'a\u20acb', 'non-ASCII text');
ok(Test.Call(id, '\ud83d\ude00').length == 2, 'a surrogate pair stays two code units');

// Script objects reach COM as dispatch objects and come back as themselves.
var o = {n: 5};
ok(Test.Call(function (x) { return x.n; }, o) === 5, 'object members through dispatch');
ok(Test.Call(function (a) { return a.length; }, [1, 2, 3]) === 3, 'array through dispatch');

// Errors of COM calls carry the HRESULT as number.
try {
    Test.Call(5);
    ok(false, 'Call with a number should fail');
} catch (e) {
    ok((e.number >>> 0) == 0x80070057, 'number of a failed call: ' + (e.number >>> 0).toString(16));
}

// Date arrives as Date.
var when = Test.Call(function () { return new Date(86400000); });
ok(when instanceof Date && when.getTime() == 86400000, 'date round trip');

// VBArray over an array from COM.
var vb = new VBArray([1, 2, 3]);
ok(vb.ubound() == 2 && vb.lbound() == 0 && vb.toArray().join() == '1,2,3', 'VBArray');

// A script object that went through COM comes back as itself.
var holder = new ActiveXObject('Scripting.Dictionary');
var kept = {name: 'kept'};
holder.Add('o', kept);
holder.Add('f', function (x) { return x * 2; });
ok(holder.Item('o') === kept, 'object identity through COM');
ok(holder.Item('f')(21) === 42, 'function through COM');
holder = null;
CollectGarbage();  // the dictionary's finalizer releases the script objects it held
ok(kept.name == 'kept', 'still alive in script');
