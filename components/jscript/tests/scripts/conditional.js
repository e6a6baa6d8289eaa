// Conditional compilation as scripts written for Windows use it.
var ok = function (cond, msg) { Test.ok(cond, msg); };

/*@cc_on
ok(@_jscript_version == 5.8, 'the version: ' + @_jscript_version);
ok(@_win32 === true && @_jscript === true, 'the platform variables');
@*/

var engine = 'other';
/*@cc_on
  @if (@_jscript_version >= 5.5)
    engine = 'modern';
  @elif (@_jscript_version >= 5)
    engine = 'old';
  @else
    engine = 'ancient';
  @end
@*/
ok(engine == 'modern', 'the @if branch taken: ' + engine);

//@set @level = 2 * (3 + 1)
//@if (@level == 8 && !@undefined_name)
var level = @level;
//@end
ok(level === 8, '@set and line directives: ' + level);

var nested = '';
/*@if (@_win32)
    @if (@_win64) nested = 'wrong'; @else nested = 'inner else'; @end
@end @*/
ok(nested == 'inner else', 'nested conditionals: ' + nested);

// Strings and regular expressions with @ and quotes are left alone.
ok('a@if b'.length == 6 && /'@end/.test("x'@end"), 'literals untouched');
ok(ScriptEngineMajorVersion() == 5 && ScriptEngineMinorVersion() == 8, 'ScriptEngine versions');

// getVarDate gives the moment in a form that reaches COM as a date.
var d = new ActiveXObject('Scripting.Dictionary');
var now = new Date(2024, 1, 29, 13, 30, 5);
d.Add('when', now.getVarDate());
ok(d.Item('when') - now == 0, 'getVarDate round trip through VT_DATE');
