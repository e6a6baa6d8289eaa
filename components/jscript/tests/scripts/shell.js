// WScript.Shell from script: the registry by value name, environment, folders, Run and Exec
// with real child processes.
var ok = function (cond, msg) { Test.ok(cond, msg); };
var number = function (e) { return e.number >>> 0; };
var sh = new ActiveXObject('WScript.Shell');

// The registry: what RegWrite writes, RegRead gives back as its kind.
var key = 'HKCU\\Software\\Kavrel Test\\';
sh.RegWrite(key + 'Text', 'héllo');
sh.RegWrite(key + 'Expand', '%TEMP%\\x', 'REG_EXPAND_SZ');
sh.RegWrite(key + 'Number', 4294967295, 'REG_DWORD');
sh.RegWrite(key + 'Bytes', 0x04030201, 'REG_BINARY');
sh.RegWrite(key, 'default');
ok(sh.RegRead(key + 'Text') === 'héllo', 'REG_SZ');
ok(sh.RegRead(key + 'Expand') === '%TEMP%\\x', 'REG_EXPAND_SZ as stored');
ok(sh.RegRead(key + 'Number') === -1, 'REG_DWORD: ' + sh.RegRead(key + 'Number'));
ok(new VBArray(sh.RegRead(key + 'Bytes')).toArray().join(',') == '1,2,3,4', 'REG_BINARY bytes');
ok(sh.RegRead('HKEY_CURRENT_USER\\Software\\Kavrel Test\\') === 'default', 'a key\'s default value');
try {
    sh.RegWrite(key + 'Bad', 1, 'REG_FOO');
    ok(false, 'an unknown type should throw');
} catch (e) {
    ok(number(e) == 0x80070057, 'unknown type: ' + number(e).toString(16));
}
sh.RegDelete(key + 'Text');
try {
    sh.RegRead(key + 'Text');
    ok(false, 'a deleted value should not read');
} catch (e) {
    ok(number(e) == 0x80070002, 'missing value: ' + number(e).toString(16));
    ok(e.message.indexOf('Unable to open registry key') == 0, 'missing value text: ' + e.message);
}
try {
    sh.RegRead('HKXX\\Software\\x');
    ok(false, 'an invalid root should throw');
} catch (e) {
    ok(e.message.indexOf('Invalid root') == 0, 'invalid root text: ' + e.message);
}

// Environment and folders: a call with arguments reaches the member with them, so
// sh.Environment('PROCESS') is the process set and not the default set's Item('PROCESS').
var processEnv = sh.Environment('PROCESS');
ok(processEnv.Item('PATH').length > 0, 'the PROCESS set has PATH: ' + processEnv.Item('PATH'));
ok(sh.Environment('PROCESS')('PATH') == processEnv.Item('PATH'), 'through the default member');
ok(sh.Environment('SYSTEM').Item('KAVREL_ROOT') === '' && processEnv.Item('KAVREL_ROOT').length > 0,
   'SYSTEM and PROCESS are different sets');
var path = sh.ExpandEnvironmentStrings('%PATH%');
ok(path.length > 0 && path.indexOf('%') < 0, 'ExpandEnvironmentStrings: ' + path);
ok(sh.ExpandEnvironmentStrings('[%NO_SUCH_VAR%]') == '[%NO_SUCH_VAR%]', 'an unknown variable stays');
ok(sh.Environment.Item('NO_SUCH_VAR') === '', 'SYSTEM by default; a missing variable reads empty');
ok(sh.SpecialFolders.Item('Fonts') == 'C:\\Windows\\Fonts', 'Fonts: ' + sh.SpecialFolders.Item('Fonts'));
ok(/\\Desktop$/.test(sh.SpecialFolders.Item('Desktop')), 'Desktop');
ok(sh.SpecialFolders.Item('NoSuchFolder') === '', 'an unknown folder is empty');
var here = sh.CurrentDirectory;
ok(here.length > 0, 'CurrentDirectory: ' + here);
sh.CurrentDirectory = 'C:\\';
ok(sh.CurrentDirectory == 'C:\\', 'CurrentDirectory set: ' + sh.CurrentDirectory);
sh.CurrentDirectory = here;

// Run: the wait flag gives the exit code.
ok(sh.Run('sh -c "exit 7"', 0, true) == 7, 'Run waits and gives the exit code');
ok(sh.Run('true', 1, false) == 0, 'Run without waiting');
try {
    sh.Run('no-such-program-here', 0, true);
    ok(false, 'a missing program should throw');
} catch (e) {
    ok(number(e) == 0x80070002, 'missing program: ' + number(e).toString(16));
}

// Exec: both streams of a real child, its status and exit code.
var x = sh.Exec('sh -c "echo line one; echo line two; echo trouble 1>&2; exit 3"');
ok(x.StdOut.ReadLine() == 'line one', 'first output line');
ok(!x.StdOut.AtEndOfStream, 'more output');
ok(x.StdOut.ReadAll() == 'line two\n', 'the rest of the output');
ok(x.StdOut.AtEndOfStream, 'output ends with the child');
ok(x.StdErr.ReadAll() == 'trouble\n', 'error stream');
ok(x.Status == 1 && x.ExitCode == 3 && x.ProcessID > 0, 'Status, ExitCode, ProcessID');

var lines = 0;
var y = sh.Exec('sh -c "for i in 1 2 3 4 5; do echo $i; done"');
while (!y.StdOut.AtEndOfStream) {
    y.StdOut.ReadLine();
    ++lines;
}
ok(lines == 5, 'a loop over AtEndOfStream reads every line: ' + lines);

var z = sh.Exec('sleep 600');
ok(z.Status == 0, 'a running child');
z.Terminate();
ok(z.StdOut.AtEndOfStream && z.Status == 1, 'Terminate ends it');

// StdIn reaches the child's standard input; Close ends it.
var cat = sh.Exec('sh -c "while read l; do echo got:$l; done; echo done"');
cat.StdIn.Write('one');
cat.StdIn.WriteLine(' two');
cat.StdIn.WriteLine('héllo');
cat.StdIn.WriteBlankLines(1);
try {
    cat.StdIn.WriteBlankLines(0x100001);
    ok(false, 'more blank lines than one call writes');
} catch (e) {
    ok(number(e) == 0x800A0005, 'too many blank lines: ' + number(e).toString(16));
}
cat.StdIn.Close();
ok(cat.StdOut.ReadAll() == 'got:one two\ngot:héllo\ngot:\ndone\n', 'the child read what StdIn wrote');
try {
    cat.StdIn.WriteLine('late');
    ok(false, 'a closed StdIn should not write');
} catch (e) {
    ok(number(e) == 0x800A0036, 'writing after Close: ' + number(e).toString(16));
}
var gone = sh.Exec('true');
while (gone.Status == 0) gone.StdOut.AtEndOfStream;
var big = new Array(20000).join('0123456789');
try {
    gone.StdIn.Write(big);
    gone.StdIn.Write(big);
    ok(false, 'writing more than a pipe holds to an ended child should fail');
} catch (e) {
    ok(number(e) == 0x800700E8, 'a child that ended: ' + number(e).toString(16));
}
try {
    cat.StdIn.ReadLine();
    ok(false, 'StdIn does not read');
} catch (e) {
    ok(number(e) == 0x800A0036, 'reading StdIn: ' + number(e).toString(16));
}
