// Assignment to a call: a put on a COM object with the call's arguments plus the value; for
// anything else the error Windows gives. The text is rewritten before it is compiled, so
// the tricky spellings are checked here too.
var ok = function (cond, msg) { Test.ok(cond, msg); };
function CodeOf(f) { try { f(); return 0; } catch (e) { return e.number >>> 0; } }

var d = new ActiveXObject('Scripting.Dictionary');
d.Add('k', 1);
d.Item('k') = 2;
ok(d.Item('k') === 2, 'obj.Prop(i) = v: ' + d.Item('k'));
d('k') = 3;
ok(d.Item('k') === 3, 'the default member: ' + d.Item('k'));
d.Item('k') += 10;
ok(d.Item('k') === 13, 'a compound assignment reads and writes: ' + d.Item('k'));
d['Item']('k') = 'x';
var member = 'Item';
d[member, member]('k2') = 5;
ok(d.Item('k') === 'x' && d.Item('k2') === 5, 'a computed member name');
var r = (d.Item('r') = 9);
ok(r === 9 && d.Item('r') === 9, 'the assignment gives the value');
d.Item(d.Item('inner') = 'outer') = 'nested';
ok(d.Item('inner') === 'outer' && d.Item('outer') === 'nested', 'an assignment inside the arguments');
var line = new Error().lineNumber;
d.Item(
    'lines') =
    'across';
ok(d.Item('lines') === 'across' && new Error().lineNumber == line + 4,
   'over several lines, which stay where they were');
var other = new ActiveXObject('Scripting.Dictionary');
other.Add('one', 1);
d.Item('obj') = other;
ok(d.Item('obj').Count === 1, 'an object value');

// Look-alikes that are not assignments to a call stay as they are.
var text = "d.Item('s') = 1";
/* d.Item('c') = 1 */
// d.Item('c') = 1
var re = /d.Item\('c'\) = 1/;
var g;
(g) = 4;
ok(!d.Exists('s') && !d.Exists('c') && re.test(text.replace('s', 'c')) && g === 4,
   'strings, comments, regular expressions and grouping');
ok(d.Item('k') == 'x', 'a comparison after a call');
var half = 10 / (2) / 5;
ok(half === 1, 'division after a parenthesis');

// The object's own failures, and unknown members.
var sh = new ActiveXObject('WScript.Shell');
sh.Environment('PROCESS').Item('KV_CALL_ASSIGNED') = 'yes';
ok(sh.ExpandEnvironmentStrings('%KV_CALL_ASSIGNED%') === 'yes', 'a put through a collection');
ok(CodeOf(function () { d.NoSuchMember(1) = 2; }) == 0x80020006, 'an unknown member');
ok(CodeOf(function () { d.Count(1) = 2; }) != 0, 'a read-only property');

// Anything but a COM object: "Cannot assign to a function result", and nothing is called.
var called = 0;
function f() { ++called; return {}; }
var o = {m: f};
var cases = [function () { f(1) = 2; }, function () { o.m(1) = 2; }, function () { o['m']() = 2; },
             function () { f()() = 2; }, function () { 'text'.charAt(0) = 'x'; }];
for (var i = 0; i < cases.length; ++i) {
    var e = null;
    try { cases[i](); } catch (x) { e = x; }
    ok(e instanceof ReferenceError && (e.number >>> 0) == 0x800A138B,
       'not a COM object ' + i + ': ' + (e && e.message));
}
ok(called == 1, 'only the inner call of f()() ran: ' + called);
