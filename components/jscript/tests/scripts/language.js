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

// A date from COM is a date value: typeof "date", a Date of the same moment through
// new Date(v), and VT_DATE again on its way back.
var when = Test.Call(function () { return new Date(86400000); });
ok(typeof when == 'date' && !(when instanceof Date), 'typeof a VT_DATE: ' + typeof when);
ok(new Date(when).getTime() == 86400000 && when - 86400000 == 0, 'its moment');
ok(Test.KindOf(when) == 7 && Test.KindOf(new Date(0)) == 7, 'both go to COM as VT_DATE');
ok(typeof Test.Call(function (d) { return d; }, when) == 'date', 'a date value goes round as one');
ok(String(when) == String(new Date(86400000)), 'its text: ' + when);

// An object without IDispatch: typeof "unknown", opaque, and itself again in COM.
var opaque = Test.Opaque();
ok(typeof opaque == 'unknown', 'typeof an IUnknown: ' + typeof opaque);
ok(Test.KindOf(opaque) == 13, 'back to COM as VT_UNKNOWN');
function local() { var u = Test.Opaque(); return typeof u; }
ok(local() == 'unknown', 'typeof of a local');

// An array from COM is opaque, as on Windows: typeof "unknown", no elements of its own, read
// through VBArray, and the same array (element type, bounds, elements) back in COM.
var raw = Test.Matrix();
ok(typeof raw == 'unknown' && raw[0] === undefined && raw.length === undefined,
   'typeof a SAFEARRAY: ' + typeof raw);
ok(Test.KindOf(raw) == 0x200C && Test.KindOf(Test.Matrix(3)) == 0x2003,
   'back to COM as the same array type: ' + Test.KindOf(raw).toString(16));
var back = new VBArray(Test.Call(id, raw));
ok(back.lbound(2) == -1 && back.ubound(1) == 2 && back.getItem(2, 1) == '2,1',
   'bounds and elements survive a round trip through COM');
var m = new VBArray(Test.Matrix());
ok(m.dimensions() == 2, 'dimensions ' + m.dimensions());
ok(m.lbound(1) == 1 && m.ubound(1) == 2 && m.lbound(2) == -1 && m.ubound(2) == 1 && m.lbound() == 1,
   'bounds ' + [m.lbound(1), m.ubound(1), m.lbound(2), m.ubound(2)].join());
ok(m.getItem(2, -1) == '2,-1' && m.getItem(1, 1) == '1,1', 'getItem(i, j)');
ok(m.toArray().join(' ') == '1,-1 2,-1 1,0 2,0 1,1 2,1', 'toArray order: ' + m.toArray().join(' '));
// Arrays of other element types: each element arrives as its own kind.
var typed = [[2, 'I2'], [3, 'I4'], [4, 'R4'], [5, 'R8'], [17, 'UI1'], [20, 'I8']];
for (var t = 0; t < typed.length; ++t) {
    var a = new VBArray(Test.Matrix(typed[t][0]));
    ok(a.dimensions() == 2 && a.getItem(2, -1) === 19 && a.getItem(1, 1) === 11,
       typed[t][1] + ' matrix: ' + a.toArray().join());
}
var texts = new VBArray(Test.Matrix(8));
ok(texts.getItem(2, 0) === '2,0', 'BSTR matrix: ' + texts.toArray().join(' '));
var flags = new VBArray(Test.Matrix(11));
ok(flags.getItem(1, 0) === true && flags.getItem(2, 0) === false, 'BOOL matrix: ' + flags.toArray());
var dates = new VBArray(Test.Matrix(7));
ok(typeof dates.getItem(1, 1) == 'date', 'DATE matrix: ' + typeof dates.getItem(1, 1));

var ranges = [function () { m.getItem(3, 0); }, function () { m.getItem(1); },
              function () { m.lbound(3); }, function () { m.ubound(0); }];
for (var r = 0; r < ranges.length; ++r) {
    try {
        ranges[r]();
        ok(false, 'out of range ' + r);
    } catch (e) {
        ok((e.number >>> 0) == 0x800A0009, 'subscript out of range ' + r + ': ' + e.message);
    }
}
var notArrays = [5, [1, 2, 3], {length: 1}, Test];
for (var n = 0; n < notArrays.length; ++n) {
    try {
        new VBArray(notArrays[n]);
        ok(false, 'VBArray of ' + notArrays[n]);
    } catch (e) {
        ok(e instanceof TypeError && (e.number >>> 0) == 0x800A1395, 'VBArray expected: ' + n);
    }
}

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
