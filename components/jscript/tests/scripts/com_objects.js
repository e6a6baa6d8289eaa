// COM objects from script: ActiveXObject, GetObject, Enumerator.
var ok = function (cond, msg) { Test.ok(cond, msg); };

var d = new ActiveXObject('Scripting.Dictionary');
d.Add('b', 2);
d.Add('a', 1);
ok(d.Count === 2, 'Count');
ok(d.Exists('a') && !d.Exists('z'), 'Exists');
ok(d.Item('b') === 2 && d('a') === 1, 'Item and the default member');

// Enumeration in insertion order over the keys.
var keys = [];
for (var e = new Enumerator(d); !e.atEnd(); e.moveNext())
    keys.push(e.item());
ok(keys.join() == 'b,a', 'Enumerator keys: ' + keys.join());
var e2 = new Enumerator(d);
e2.moveNext();
e2.moveFirst();
ok(e2.item() == 'b', 'moveFirst');
ok(new Enumerator(new ActiveXObject('Scripting.Dictionary')).atEnd(), 'empty collection');
ok(new VBArray(d.Keys()).toArray().join() == 'b,a', 'Keys as VBArray');
ok(typeof d.Items() == 'unknown' && new VBArray(d.Items()).toArray().join() == '2,1', 'Items');

// An array is a collection too.
var sum = 0;
for (var a = new Enumerator([1, 2, 3]); !a.atEnd(); a.moveNext())
    sum += a.item();
ok(sum == 6, 'Enumerator over an array');

try {
    new Enumerator(5);
    ok(false, 'Enumerator of a number should fail');
} catch (err) {
    ok(err instanceof Error, 'Enumerator of a non-collection throws');
}

// Unknown ProgIDs and monikers.
try {
    new ActiveXObject('No.Such.Class');
    ok(false, 'unknown ProgID should throw');
} catch (err) {
    ok((err.number >>> 0) == 0x800A01AD, 'ActiveXObject error number');
}
try {
    GetObject('nosuchmoniker:whatever');
    ok(false, 'unknown moniker should throw');
} catch (err) {
    ok((err.number >>> 0) == 0x800401E4, 'GetObject error number: ' + (err.number >>> 0).toString(16));
}
var bound = GetObject('KVTEST:thing');
ok(bound.Name == 'KVTEST:thing', 'GetObject through a registered prefix');

var net = new ActiveXObject('WScript.Network');
ok(typeof net.ComputerName == 'string' && net.ComputerName.length > 0, 'ComputerName');
ok(typeof net.UserName == 'string' && net.UserName.length > 0, 'UserName');
