// Scripting.FileSystemObject from script: a tree under C:\ (the test's own state root) with
// names holding spaces and non-ASCII letters, read-only files and missing paths.
var ok = function (cond, msg) { Test.ok(cond, msg); };
var number = function (e) { return e.number >>> 0; };
var fails = function (fn, code, msg) {
    try {
        fn();
        ok(false, msg + ': no error');
    } catch (e) {
        ok(number(e) == code, msg + ': got 0x' + number(e).toString(16) + ' ' + e.message);
    }
};
var FILE_NOT_FOUND = 0x800A0035, FILE_EXISTS = 0x800A003A, PERMISSION_DENIED = 0x800A0046;
var PATH_NOT_FOUND = 0x800A004C, PAST_END = 0x800A003E, BAD_MODE = 0x800A0036;

var fso = new ActiveXObject('Scripting.FileSystemObject');

// Names, from the text alone.
ok(fso.BuildPath('C:\\a', 'b.txt') == 'C:\\a\\b.txt', 'BuildPath adds a separator');
ok(fso.BuildPath('C:\\a\\', 'b.txt') == 'C:\\a\\b.txt', 'BuildPath keeps one separator');
ok(fso.GetFileName('C:\\a\\b c.tar.gz') == 'b c.tar.gz', 'GetFileName');
ok(fso.GetBaseName('C:\\a\\b c.tar.gz') == 'b c.tar', 'GetBaseName drops the last extension');
ok(fso.GetExtensionName('C:\\a\\b c.tar.gz') == 'gz', 'GetExtensionName');
ok(fso.GetExtensionName('C:\\a\\noext') == '', 'no extension');
ok(fso.GetParentFolderName('C:\\a\\b') == 'C:\\a', 'GetParentFolderName');
ok(fso.GetParentFolderName('C:\\a') == 'C:\\', 'the parent of a top folder is the root');
ok(fso.GetParentFolderName('C:\\') == '', 'a root has no parent');
ok(fso.GetDriveName('c:\\x') == 'C:' && fso.GetDriveName('/tmp') == '', 'GetDriveName');
ok(fso.GetAbsolutePathName('C:\\a\\.\\b\\..\\c') == 'C:\\a\\c', 'GetAbsolutePathName');
ok(/^rad[0-9A-F]{5}\.tmp$/.test(fso.GetTempName()), 'GetTempName: ' + fso.GetTempName());

// Drives: C: is there.
ok(fso.DriveExists('C:') && fso.DriveExists('c') && !fso.DriveExists('Q:'), 'DriveExists');
var c = fso.GetDrive('C:');
ok(c.DriveLetter == 'C' && c.Path == 'C:' && c.IsReady && c.DriveType == 2, 'Drive C:');
ok(c.TotalSize > 0 && c.FreeSpace >= c.AvailableSpace, 'drive sizes');
ok(c.RootFolder.IsRootFolder && c.RootFolder.Path == 'C:\\', 'RootFolder');
var letters = '';
for (var e = new Enumerator(fso.Drives); !e.atEnd(); e.moveNext())
    letters += e.item().DriveLetter;
ok(letters.indexOf('C') >= 0 && fso.Drives.Count == letters.length, 'Drives: ' + letters);
fails(function () { fso.GetDrive('Q:'); }, 0x800A0044, 'a missing drive');

// A tree.
var root = fso.CreateFolder('C:\\tree');
ok(root.Path == 'C:\\tree' && root.Name == 'tree', 'CreateFolder gives the folder');
fails(function () { fso.CreateFolder('C:\\tree'); }, FILE_EXISTS, 'CreateFolder of an existing folder');
fails(function () { fso.CreateFolder('C:\\missing\\x'); }, PATH_NOT_FOUND, 'CreateFolder under a missing folder');
var sub = root.SubFolders.Add('Dossier été');
ok(fso.FolderExists('C:\\tree\\Dossier été') && sub.Name == 'Dossier été', 'non-ASCII folder');

// Text files: ASCII and Unicode, the modes.
var t = fso.CreateTextFile('C:\\tree\\Dossier été\\notes file.txt');
t.WriteLine('first line');
t.Write('café ');
t.Write(42);
ok(t.Line == 2 && t.Column == 8, 'Line and Column while writing: ' + t.Line + ',' + t.Column);
t.WriteBlankLines(2);
t.WriteLine();
t.Close();
fails(function () { t.Write('x'); }, BAD_MODE, 'write after Close');

var path = 'C:\\tree\\Dossier été\\notes file.txt';
ok(fso.FileExists(path) && !fso.FolderExists(path), 'FileExists');
var f = fso.GetFile(path);
ok(f.Size == 12 + 7 + 4 + 2, 'ASCII size, CR LF line ends: ' + f.Size);
ok(f.Name == 'notes file.txt' && f.Type == 'TXT File' && f.ParentFolder.Name == 'Dossier été',
   'File names');
var age = Math.abs(new Date() - new Date(f.DateLastModified)) / 3600000;
ok(age < 15, 'modified today (local time): ' + age + ' hours');

var r = fso.OpenTextFile(path);  // ForReading, ASCII
ok(r.ReadLine() == 'first line', 'ReadLine');
ok(r.Line == 2 && !r.AtEndOfStream, 'Line after a ReadLine');
ok(r.Read(4) == 'café', 'Read');
r.Skip(1);
ok(r.ReadLine() == '42', 'Skip then ReadLine');
r.SkipLine();
ok(r.ReadLine() == '', 'blank lines');
ok(r.AtEndOfStream, 'AtEndOfStream');
fails(function () { r.ReadLine(); }, PAST_END, 'ReadLine past the end');
fails(function () { r.Write('x'); }, BAD_MODE, 'Write on a reading stream');
r.Close();

var a = fso.OpenTextFile(path, 8);  // ForAppending
a.Write('tail');
a.Close();
ok(fso.OpenTextFile(path, 1).ReadAll().slice(-6) == '\r\ntail', 'appended');

var u = fso.CreateTextFile('C:\\tree\\unicode.txt', true, true);
u.WriteLine('Ωmega');
u.Close();
ok(fso.GetFile('C:\\tree\\unicode.txt').Size == 2 + 2 * 7, 'Unicode size with its mark');
ok(fso.OpenTextFile('C:\\tree\\unicode.txt', 1, false, -1).ReadLine() == 'Ωmega', 'Unicode read');
fails(function () { fso.CreateTextFile('C:\\tree\\unicode.txt', false); }, FILE_EXISTS,
      'CreateTextFile without overwrite');
fails(function () { fso.OpenTextFile('C:\\tree\\none.txt'); }, FILE_NOT_FOUND, 'open of a missing file');
fails(function () { fso.OpenTextFile('C:\\nowhere\\none.txt', 2, true); }, PATH_NOT_FOUND,
      'create in a missing folder');
var created = fso.OpenTextFile('C:\\tree\\new.log', 8, true);
created.Close();
ok(fso.FileExists('C:\\tree\\new.log'), 'OpenTextFile with create');

// Missing paths.
fails(function () { fso.GetFile('C:\\tree\\none.txt'); }, FILE_NOT_FOUND, 'GetFile of a missing file');
fails(function () { fso.GetFolder('C:\\tree\\none'); }, PATH_NOT_FOUND, 'GetFolder of a missing folder');
fails(function () { fso.DeleteFile('C:\\tree\\none.txt'); }, FILE_NOT_FOUND, 'DeleteFile of a missing file');
fails(function () { fso.DeleteFolder('C:\\tree\\none'); }, PATH_NOT_FOUND, 'DeleteFolder of a missing folder');

// Read-only files.
var ro = fso.GetFile('C:\\tree\\new.log');
ro.Attributes = 1;
ok((ro.Attributes & 1) == 1, 'read-only set');
fails(function () { fso.OpenTextFile('C:\\tree\\new.log', 2); }, PERMISSION_DENIED, 'write to a read-only file');
fails(function () { fso.DeleteFile('C:\\tree\\new.log'); }, PERMISSION_DENIED, 'delete a read-only file');
fso.CopyFile('C:\\tree\\unicode.txt', 'C:\\tree\\copy.txt');
fails(function () { fso.CopyFile('C:\\tree\\unicode.txt', 'C:\\tree\\new.log'); }, PERMISSION_DENIED,
      'copy over a read-only file');
fso.DeleteFile('C:\\tree\\new.log', true);
ok(!fso.FileExists('C:\\tree\\new.log'), 'DeleteFile with force');

// Copy and move, files and folders, wildcards.
fails(function () { fso.CopyFile('C:\\tree\\unicode.txt', 'C:\\tree\\copy.txt', false); }, FILE_EXISTS,
      'CopyFile without overwrite');
fso.CopyFile('C:\\tree\\*.txt', 'C:\\tree\\Dossier été\\');
ok(fso.GetFolder('C:\\tree\\Dossier été').Files.Count == 3, 'CopyFile with a wildcard');
fso.MoveFile('C:\\tree\\copy.txt', 'C:\\tree\\moved.txt');
ok(!fso.FileExists('C:\\tree\\copy.txt') && fso.FileExists('C:\\tree\\moved.txt'), 'MoveFile');
fails(function () { fso.MoveFile('C:\\tree\\moved.txt', 'C:\\tree\\unicode.txt'); }, FILE_EXISTS,
      'MoveFile onto a file');
fso.CopyFolder('C:\\tree\\Dossier été', 'C:\\tree\\backup');
ok(fso.GetFolder('C:\\tree\\backup').Files.Count == 3, 'CopyFolder');
ok(fso.GetFolder('C:\\tree').Size == fso.GetFolder('C:\\tree\\backup').Size * 2 +
   fso.GetFile('C:\\tree\\unicode.txt').Size + fso.GetFile('C:\\tree\\moved.txt').Size,
   'folder Size counts the tree');
fso.MoveFolder('C:\\tree\\backup', 'C:\\tree\\Dossier été\\');
ok(fso.FolderExists('C:\\tree\\Dossier été\\backup'), 'MoveFolder into a folder');
var moved = fso.GetFile('C:\\tree\\moved.txt');
moved.Name = 'renamed.txt';
ok(moved.Path == 'C:\\tree\\renamed.txt' && fso.FileExists('C:\\tree\\renamed.txt'), 'rename by Name');
moved.Copy('C:\\tree\\second.txt');
moved.Delete();
ok(!fso.FileExists('C:\\tree\\renamed.txt') && fso.FileExists('C:\\tree\\second.txt'), 'File.Copy/Delete');

// Enumeration of files and folders.
var names = [];
for (var e2 = new Enumerator(fso.GetFolder('C:\\tree').Files); !e2.atEnd(); e2.moveNext())
    names.push(e2.item().Name);
names.sort();
ok(names.join('|') == 'second.txt|unicode.txt', 'Files: ' + names.join('|'));
ok(fso.GetFolder('C:\\tree').SubFolders.Item('dossier été').Name == 'Dossier été', 'Item by name');

fso.CreateFolder('C:\\tree\\a');
fails(function () { fso.CopyFolder('C:\\tree\\a', 'C:\\tree\\a\\inside'); }, PERMISSION_DENIED,
      'a folder copied into itself');
fso.CopyFolder('C:\\tree\\a', 'C:\\tree\\ab');
ok(fso.FolderExists('C:\\tree\\ab'), 'a sibling whose name starts alike');

fso.DeleteFolder('C:\\tree');
ok(!fso.FolderExists('C:\\tree'), 'DeleteFolder removes the tree');

// Special folders.
ok(fso.GetSpecialFolder(2).Path.length > 0, 'the temporary folder');
ok(fso.GetSpecialFolder(0).Path == 'C:\\Windows', 'the Windows folder: ' + fso.GetSpecialFolder(0).Path);
