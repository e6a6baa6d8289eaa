// Scripting.Dictionary from script, as inventory scripts use it.
var ok = function (cond, msg) { Test.ok(cond, msg); };

var d = new ActiveXObject('Scripting.Dictionary');
d.Add('k', 'v');
try {
    d.Add('k', 'again');
    ok(false, 'a second Add of a key should throw');
} catch (e) {
    ok((e.number >>> 0) == 0x800A01C9, 'duplicate key number');
    ok(e.message == 'This key is already associated with an element of this collection',
       'duplicate key text: ' + e.message);
}

// Reading a missing key adds it, empty.
ok(d.Item('missing') === undefined, 'missing key reads empty');
ok(d.Count == 2 && d.Exists('missing'), 'and is added');

d.Remove('missing');
ok(!d.Exists('missing'), 'Remove');
try {
    d.Remove('missing');
    ok(false, 'Remove of a missing key should throw');
} catch (e) {
    ok((e.number >>> 0) == 0x800A802B, 'missing key number');
}

var t = new ActiveXObject('Scripting.Dictionary');
t.CompareMode = 1;
t.Add('Key', 1);
ok(t.Exists('KEY') && t.Item('key') == 1, 'text compare ignores case');
try {
    t.CompareMode = 0;
    ok(false, 'CompareMode of a filled dictionary should not change');
} catch (e) {
    ok((e.number >>> 0) == 0x800A0005, 'CompareMode change refused');
}

// Rows of rows, as result sets are built.
var rows = new ActiveXObject('Scripting.Dictionary');
for (var i = 0; i < 3; ++i) {
    var row = new ActiveXObject('Scripting.Dictionary');
    row.Add('Name', 'n' + i);
    rows.Add(i, row);
}
var names = [];
for (var r = new Enumerator(rows); !r.atEnd(); r.moveNext())
    names.push(rows.Item(r.item()).Item('Name'));
ok(names.join() == 'n0,n1,n2', 'nested dictionaries: ' + names.join());
d.RemoveAll();
ok(d.Count === 0, 'RemoveAll');

// Keys by value across kinds: a number and its text differ; an object is itself.
var kinds = new ActiveXObject('Scripting.Dictionary');
kinds.Add(1, 'number');
kinds.Add('1', 'text');
kinds.Add(2.5, 'real');
ok(kinds.Item(1) == 'number' && kinds.Item('1') == 'text' && kinds.Item(5 / 2) == 'real',
   'numbers and texts are different keys');
var when = new Date(2020, 0, 1);
kinds.Add(when, 'date');
ok(kinds.Exists(new Date(2020, 0, 1)), 'a date is its moment');
var other = new ActiveXObject('Scripting.Dictionary');
var mine = {};
kinds.Add(other, 'com object');
kinds.Add(mine, 'script object');
ok(kinds.Item(other) == 'com object' && kinds.Exists(mine) && kinds.Item(mine) == 'script object',
   'objects are keys by identity');
ok(!kinds.Exists(new ActiveXObject('Scripting.Dictionary')) && !kinds.Exists({}),
   'another object is another key');

// Insertion order survives removals.
var order = new ActiveXObject('Scripting.Dictionary');
var letters = 'abcdefghij'.split('');
for (var i = 0; i < letters.length; ++i) order.Add(letters[i], i);
order.Remove('b');
order.Remove('e');
order.Add('b', 'back');
ok(new VBArray(order.Keys()).toArray().join('') == 'acdfghijb', 'order: ' + new VBArray(order.Keys()).toArray().join(''));
ok(new VBArray(order.Items()).toArray().join() == '0,2,3,5,6,7,8,9,back', 'items in the same order');

// RemoveAll while an Enumerator walks the keys: the walk sees the keys as they were.
var seen = [];
for (var e = new Enumerator(order); !e.atEnd(); e.moveNext()) {
    seen.push(e.item());
    order.RemoveAll();
}
ok(seen.length == 9 && order.Count == 0, 'the walk kept its snapshot: ' + seen.length);
