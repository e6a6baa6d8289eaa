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
