// The engine and its surroundings: ScriptEngine and its version numbers, RGB, MsgBox and
// InputBox (no window can be shown here), LoadPicture (no picture formats are read here),
// and the object behind `New RegExp`.
#include "builtins.h"
#include "convert.h"
#include "errors.h"
#include "regexp_object.h"

namespace kvvbs {
namespace {

constexpr int kErrPermissionDenied = 70;

Value ScriptEngine(Runtime&, Value*, uint32_t) {
    return Value::String(u"VBScript");
}
Value MajorVersion(Runtime&, Value*, uint32_t) {
    return Value::Long(5);
}
Value MinorVersion(Runtime&, Value*, uint32_t) {
    return Value::Long(8);
}
Value BuildVersion(Runtime&, Value*, uint32_t) {
    return Value::Long(18702);
}

// RGB(red, green, blue): each part rounded, above 255 taken as 255, below 0 an error.
Value Rgb(Runtime&, Value* a, uint32_t) {
    int32_t color = 0;
    for (int i = 2; i >= 0; --i) {
        int32_t part = ToLong(a[i]);
        if (part < 0)
            Throw(kErrIllegalCall);
        color = color * 256 + (part > 255 ? 255 : part);
    }
    return Value::Long(color);
}

// Dialogs need a window, which a host on this platform never has: the call is refused the
// way a host without a user interface refuses it.
Value MsgBox(Runtime&, Value*, uint32_t) {
    Throw(kErrPermissionDenied, u"Permission denied: 'MsgBox'");
}
Value InputBox(Runtime&, Value*, uint32_t) {
    Throw(kErrPermissionDenied, u"Permission denied: 'InputBox'");
}

// No picture format is read on this platform: every file is an invalid picture.
Value LoadPicture(Runtime&, Value* a, uint32_t) {
    if (a[0].Deref().IsNull())
        Throw(94, u"Invalid use of Null");
    Throw(481, u"Invalid picture");
}

Value NewRegExp(Runtime&, Value*, uint32_t) {
    IDispatch* object = CreateRegExpObject();
    if (!object)
        Throw(kErrOutOfMemory);
    return Value::AttachObject(object);
}

const Builtin kEngine[] = {
    {u"scriptengine", 0, 0, ScriptEngine},
    {u"scriptenginemajorversion", 0, 0, MajorVersion},
    {u"scriptengineminorversion", 0, 0, MinorVersion},
    {u"scriptenginebuildversion", 0, 0, BuildVersion},
    {u"rgb", 3, 3, Rgb},
    {u"msgbox", 1, 5, MsgBox},
    {u"inputbox", 1, 7, InputBox},
    {u"loadpicture", 1, 1, LoadPicture},
    {u"new regexp", 0, 0, NewRegExp},  // not a name a script can write
};

}  // namespace

std::span<const Builtin> EngineBuiltins() {
    return kEngine;
}

}  // namespace kvvbs
