// Memory::SharedMemory: a named block of memory shared by every process of the machine,
// backed by the paging file or by a file. The agent log keeps its configuration generation
// counter in one.
//
// One object is used by one thread at a time (Create and Close are not synchronised); the
// memory itself is shared and its users synchronise on it (the log reads it atomically).
#pragma once

#include <cstdint>

#include "win/kernel_objects.h"

namespace Memory {

class SharedMemory {
  public:
    SharedMemory() = default;
    virtual ~SharedMemory();
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;

    // Creates or opens the block and maps all of it. Returns a Win32 error code: 0 on success,
    // ERROR_ALREADY_INITIALIZED when this object holds a block already, ERROR_INVALID_PARAMETER
    // for size 0, or the error of the mapping call. A new paging-file block that is writable
    // is filled with sizeLow bytes of initialData (zeros when null); an existing one keeps
    // its contents and may turn out smaller than asked.
    DWORD Create(const WCHAR* name, DWORD sizeLow, const void* initialData,
                 LPSECURITY_ATTRIBUTES securityAttributes, bool readOnly,
                 HANDLE file = INVALID_HANDLE_VALUE, DWORD sizeHigh = 0);

    // Unmaps the view and closes the mapping; the object may be created again.
    void Close();

    void* Data() const { return m_view; }
    uint64_t Size() const { return (static_cast<uint64_t>(m_sizeHigh) << 32) | m_sizeLow; }

  private:
    HANDLE m_mapping = nullptr;
    void* m_view = nullptr;
    DWORD m_sizeLow = 0;
    DWORD m_sizeHigh = 0;
};

}  // namespace Memory
