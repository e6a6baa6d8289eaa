#include "log/shared_memory.h"

#include <cstring>

#include "win/errors.h"
#include "win/handles.h"

namespace Memory {

SharedMemory::~SharedMemory() {
    Close();
}

DWORD SharedMemory::Create(const WCHAR* name, DWORD sizeLow, const void* initialData,
                           LPSECURITY_ATTRIBUTES securityAttributes, bool readOnly, HANDLE file,
                           DWORD sizeHigh) {
    if (m_mapping)
        return ERROR_ALREADY_INITIALIZED;
    if (sizeLow == 0 && sizeHigh == 0)
        return ERROR_INVALID_PARAMETER;

    m_mapping =
        CreateFileMappingW(file, securityAttributes, readOnly ? PAGE_READONLY : PAGE_READWRITE,
                           sizeHigh, sizeLow, name);
    const DWORD created = GetLastError();
    if (!m_mapping)
        return created;

    m_view = MapViewOfFile(m_mapping, readOnly ? FILE_MAP_READ : FILE_MAP_READ | FILE_MAP_WRITE, 0,
                           0, 0);
    if (!m_view) {
        const DWORD error = GetLastError();
        CloseHandle(m_mapping);
        m_mapping = nullptr;
        return error;
    }

    m_sizeLow = sizeLow;
    m_sizeHigh = sizeHigh;
    const bool pagingFile = file == INVALID_HANDLE_VALUE;
    if (created == ERROR_ALREADY_EXISTS && pagingFile) {
        // Someone else made the block, perhaps smaller than we asked.
        MEMORY_BASIC_INFORMATION region{};
        if (VirtualQuery(m_view, &region, sizeof region) && region.RegionSize < Size()) {
            m_sizeLow = static_cast<DWORD>(region.RegionSize);
            m_sizeHigh = static_cast<DWORD>(static_cast<uint64_t>(region.RegionSize) >> 32);
        }
    } else if (pagingFile && !readOnly) {
        if (initialData)
            std::memcpy(m_view, initialData, sizeLow);
        else
            std::memset(m_view, 0, sizeLow);
    }
    return created == ERROR_ALREADY_EXISTS ? 0 : created;
}

void SharedMemory::Close() {
    if (m_view) {
        UnmapViewOfFile(m_view);
        m_view = nullptr;
    }
    if (m_mapping) {
        CloseHandle(m_mapping);
        m_mapping = nullptr;
    }
}

}  // namespace Memory
