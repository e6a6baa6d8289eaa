// Late-bound calls on COM objects: an object with IDispatchEx is asked for names with
// GetDispID(fdexNameCaseInsensitive) and called through InvokeEx; any other through
// GetIDsOfNames (case is then the object's business) and Invoke. Arguments as VARIANTs with
// references passed as VT_BYREF|VT_VARIANT and copied back after the call (so out parameters reach
// the script's variables and array elements), omitted arguments as VT_ERROR DISP_E_PARAMNOTFOUND,
// failures as the language's errors with the EXCEPINFO's description and source. The engine's
// thread only.
#pragma once

#include <string_view>
#include <vector>

#include "value.h"

namespace kvvbs {

class Runtime;

// DISPATCH_METHOD | DISPATCH_PROPERTYGET on a member.
Value InvokeMember(Runtime& rt, IDispatch* object, std::u16string_view name, Value* args,
                   uint32_t argc);
// The same on a DISPID (DISPID_VALUE for `obj(args)`).
Value InvokeDispid(Runtime& rt, IDispatch* object, DISPID id, Value* args, uint32_t argc,
                   WORD flags);
// A property put (put_ref: DISPATCH_PROPERTYPUTREF) of a member (an empty name: the default).
void PutMember(Runtime& rt, IDispatch* object, std::u16string_view name, Value* args, uint32_t argc,
               const Value& value, bool put_ref);
// The same on a DISPID.
void PutDispid(Runtime& rt, IDispatch* object, DISPID id, Value* args, uint32_t argc,
               const Value& value, bool put_ref);
// Whether the object knows the name; its DISPID in *id.
bool FindMember(IDispatch* object, std::u16string_view name, DISPID* id);

// The object's default value (a property get of DISPID_VALUE without arguments).
Value DefaultValue(IDispatch* object);
// The IUnknown identity of an object (no reference kept).
IUnknown* IdentityOf(IDispatch* object);
// The name TypeName gives for an object.
std::u16string ObjectTypeName(IDispatch* object);
// For Each over a collection: its _NewEnum enumerator (answered as IUnknown or IDispatch),
// held in a value the loop keeps in a hidden slot; error 451 when the object does not
// enumerate. Items are pulled one at a time, so an endless collection costs constant memory.
Value StartEnumeration(IDispatch* collection);
// The next item of a value StartEnumeration made into *item; false after the last.
bool NextItem(const Value& enumeration, Value* item);

}  // namespace kvvbs
