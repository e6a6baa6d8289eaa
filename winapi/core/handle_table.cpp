// The process-wide handle table.
#include "kvwin/handle_table.h"

#include "kvwin/current_thread.h"

#include <mutex>
#include <vector>

namespace kvwin {

KernelObject::~KernelObject() = default;

namespace {

// Windows hands out multiples of four; slot i has the value (i + 1) * 4, so 0 is never a
// handle and INVALID_HANDLE_VALUE (-1) cannot be one either.
constexpr size_t kMaxHandles = 1u << 20;

struct Table {
    std::mutex lock;
    std::vector<std::shared_ptr<KernelObject>> slots;
    std::vector<size_t> free_slots;
    size_t open = 0;
};

Table& TheTable() {
    // Never destroyed: handles may be closed from static destructors of other modules.
    static Table* table = new Table;
    return *table;
}

bool SlotOf(HANDLE handle, size_t& slot) {
    auto value = reinterpret_cast<uintptr_t>(handle);
    if (value == 0 || (value & 3) != 0 || value / 4 > kMaxHandles) {
        return false;
    }
    slot = value / 4 - 1;
    return true;
}

}  // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> guard(t.lock);
    size_t slot;
    if (!t.free_slots.empty()) {
        slot = t.free_slots.back();
        t.free_slots.pop_back();
        t.slots[slot] = std::move(object);
    } else {
        if (t.slots.size() >= kMaxHandles) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        slot = t.slots.size();
        t.slots.push_back(std::move(object));
    }
    ++t.open;
    return reinterpret_cast<HANDLE>((slot + 1) * 4);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
    size_t slot;
    if (SlotOf(handle, slot)) {
        Table& t = TheTable();
        std::lock_guard<std::mutex> guard(t.lock);
        if (slot < t.slots.size() && t.slots[slot]) {
            return t.slots[slot];
        }
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

std::shared_ptr<KernelObject> RemoveHandle(HANDLE handle) {
    size_t slot;
    if (SlotOf(handle, slot)) {
        Table& t = TheTable();
        std::lock_guard<std::mutex> guard(t.lock);
        if (slot < t.slots.size() && t.slots[slot]) {
            std::shared_ptr<KernelObject> object = std::move(t.slots[slot]);
            t.slots[slot].reset();
            t.free_slots.push_back(slot);
            --t.open;
            return object;
        }
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

size_t OpenHandleCount() {
    Table& t = TheTable();
    std::lock_guard<std::mutex> guard(t.lock);
    return t.open;
}

}  // namespace kvwin

namespace {
const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
const HANDLE kCurrentThread = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));
}  // namespace

extern "C" {

HANDLE GetCurrentProcess(void) {
    return kCurrentProcess;
}
HANDLE GetCurrentThread(void) {
    return kCurrentThread;
}

BOOL CloseHandle(HANDLE hObject) {
    if (hObject == kCurrentProcess || hObject == kCurrentThread) {
        return TRUE;
    }
    // The object is released outside the table lock: its destructor may close other
    // handles (a process object its thread, a file its mapping).
    std::shared_ptr<kvwin::KernelObject> object = kvwin::RemoveHandle(hObject);
    return object ? TRUE : FALSE;
}

BOOL DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle, HANDLE hTargetProcessHandle,
                     LPHANDLE lpTargetHandle, DWORD /*access*/, BOOL /*inherit*/, DWORD dwOptions) {
    if (hSourceProcessHandle != kCurrentProcess || hTargetProcessHandle != kCurrentProcess) {
        // Handles cross no process boundary in this layer.
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (!lpTargetHandle) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The current thread's pseudo-handle duplicates to a real handle that is signalled when
    // the thread ends; the current process's has no object in this layer yet.
    std::shared_ptr<kvwin::KernelObject> object = hSourceHandle == kCurrentThread
                                                      ? kvwin::CurrentThreadObject()
                                                      : kvwin::LookupHandle(hSourceHandle);
    if (!object) {
        return FALSE;
    }
    HANDLE copy = kvwin::InsertHandle(object);
    if (!copy) {
        return FALSE;
    }
    if (dwOptions & DUPLICATE_CLOSE_SOURCE) {
        kvwin::RemoveHandle(hSourceHandle);
    }
    *lpTargetHandle = copy;
    return TRUE;
}

}  // extern "C"
