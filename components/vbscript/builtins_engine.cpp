// The engine and its surroundings: ScriptEngine and its version numbers, RGB, MsgBox and
// InputBox (answered by a host that has IActiveScriptSiteDialogs, refused by any other: no
// window can be shown here), LoadPicture (no picture formats are read here), and the object
// behind `New RegExp`.
#include <memory>

#include "builtins.h"
#include "convert.h"
#include "errors.h"
#include "interpreter.h"
#include "regexp_object.h"
#include "win/comutil.h"

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

struct ReleaseDialogs {
    void operator()(IActiveScriptSiteDialogs* p) const { p->Release(); }
};
using DialogsRef = std::unique_ptr<IActiveScriptSiteDialogs, ReleaseDialogs>;

// Dialogs need a window, which a host on this platform never has: a host that answers them
// itself does, any other refuses the call the way a host without a user interface does.
DialogsRef DialogsOrRefuse(Runtime& rt, const char16_t* refusal) {
    DialogsRef dialogs(rt.HostDialogs());
    if (!dialogs)
        Throw(kErrPermissionDenied, refusal);
    return dialogs;
}

// What the default button of MsgBox's buttons argument answers: the button set in the low
// bits (vbOKOnly ... vbRetryCancel), the default button in bits 8-9 (vbDefaultButton2 ...),
// the first button when the set has no such one.
int DefaultAnswer(int32_t buttons) {
    static const int kSets[6][3] = {
        {1, 0, 0},  // OK
        {1, 2, 0},  // OK, Cancel
        {3, 4, 5},  // Abort, Retry, Ignore
        {6, 7, 2},  // Yes, No, Cancel
        {6, 7, 0},  // Yes, No
        {4, 2, 0},  // Retry, Cancel
    };
    const int set = buttons & 0xF;
    const int* answers = kSets[set <= 5 ? set : 0];
    const int which = (buttons >> 8) & 0xF;
    return which < 3 && answers[which] ? answers[which] : answers[0];
}

std::u16string OptionalText(const Value* a, uint32_t argc, uint32_t i) {
    return argc > i && !a[i].Deref().IsMissing() ? ToText(a[i]) : std::u16string();
}

// MsgBox(prompt[, buttons[, title[, helpfile, context]]])
Value MsgBox(Runtime& rt, Value* a, uint32_t argc) {
    const std::u16string prompt = ToText(a[0]);
    const int32_t buttons = argc > 1 && !a[1].Deref().IsMissing() ? ToLong(a[1]) : 0;
    const std::u16string title = OptionalText(a, argc, 2);
    DialogsRef dialogs = DialogsOrRefuse(rt, u"Permission denied: 'MsgBox'");
    INT answer = DefaultAnswer(buttons);
    if (FAILED(dialogs->ShowMessage(prompt.c_str(), title.c_str(), UINT(buttons), &answer)))
        Throw(kErrPermissionDenied, u"Permission denied: 'MsgBox'");
    return Value::Integer(answer);
}

// InputBox(prompt[, title[, default[, xpos, ypos[, helpfile, context]]]])
Value InputBox(Runtime& rt, Value* a, uint32_t argc) {
    const std::u16string prompt = ToText(a[0]);
    const std::u16string title = OptionalText(a, argc, 1);
    const std::u16string initial = OptionalText(a, argc, 2);
    DialogsRef dialogs = DialogsOrRefuse(rt, u"Permission denied: 'InputBox'");
    BSTR answer = nullptr;
    const HRESULT hr = dialogs->AskText(prompt.c_str(), title.c_str(), initial.c_str(), &answer);
    const _bstr_t owned(answer, false);
    if (FAILED(hr))
        Throw(kErrPermissionDenied, u"Permission denied: 'InputBox'");
    return Value::String(std::u16string_view(answer ? answer : u"", owned.length()));
}

// No picture format is read on this platform: every file is an invalid picture.
Value LoadPicture(Runtime&, Value* a, uint32_t) {
    if (a[0].Deref().IsNull())
        ThrowInvalidNull();
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
