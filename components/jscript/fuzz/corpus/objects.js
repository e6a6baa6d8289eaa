var d = new ActiveXObject("Scripting.Dictionary"); d.Add("k", 1); var n = new ActiveXObject("WScript.Network").ComputerName;
var e = new Enumerator(d); for (; !e.atEnd(); e.moveNext()) { var k = e.item(); }
