// The process-wide handle table, for the parts of the layer that hand out kernel handles.
//
// A kernel object is reference counted by the handles that name it: each open handle holds
// one std::shared_ptr, and an object lives as long as any handle or any in-flight call
// holds it. The table is guarded by one lock; lookups copy the shared_ptr out so that a
// concurrent CloseHandle never frees an object under a caller.
#pragma once

#include <memory>

#include "win/handles.h"

namespace kvwin {

enum class HandleKind {
    File,
    FindFile,
    Event,
    Mutex,
    Semaphore,
    FileMapping,
    Thread,
    Process,
    Token,
    Printer,
    Other,
};

class KVWIN_API KernelObject {
  public:
    virtual ~KernelObject();
    virtual HandleKind Kind() const = 0;
};

// Enters an object in the table and returns its new handle, never null and never
// INVALID_HANDLE_VALUE. Returns nullptr with ERROR_NOT_ENOUGH_MEMORY when the table is full.
KVWIN_API HANDLE InsertHandle(std::shared_ptr<KernelObject> object);

// The object a handle names, or nullptr (last error ERROR_INVALID_HANDLE) when the handle is
// not open. Pseudo-handles are not in the table and give nullptr.
KVWIN_API std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);

// As LookupHandle, restricted to one kind; a handle of another kind also gives
// ERROR_INVALID_HANDLE.
template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle, HandleKind kind) {
    std::shared_ptr<KernelObject> object = LookupHandle(handle);
    if (!object || object->Kind() != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return std::static_pointer_cast<T>(object);
}

// Removes a handle from the table and returns the object it named, or nullptr
// (ERROR_INVALID_HANDLE) when it was not open.
KVWIN_API std::shared_ptr<KernelObject> RemoveHandle(HANDLE handle);

// Number of open handles, for leak checks in tests.
KVWIN_API size_t OpenHandleCount();

}  // namespace kvwin
