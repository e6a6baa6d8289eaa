// File mappings and their views: CreateFileMappingW, OpenFileMappingW, MapViewOfFile,
// UnmapViewOfFile, VirtualQuery.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <mutex>

#include "kvwin/file_object.h"
#include "kvwin/last_error.h"
#include "shared_segment.h"
#include "win/files.h"
#include "win/kernel_objects.h"

namespace kvwin {

namespace {

constexpr uint64_t kAllocationGranularity = 64 * 1024;

// Either a segment (paging-file backed, named or not) or an open file's descriptor.
// Thread safety: immutable after creation.
class MappingObject : public KernelObject {
  public:
    MappingObject(std::shared_ptr<SharedSegment> segment, bool writable)
        : segment_(std::move(segment)), size_(segment_->payload_size()), writable_(writable) {}
    MappingObject(std::shared_ptr<FileObject> file, uint64_t size, bool writable)
        : file_(std::move(file)), size_(size), writable_(writable) {}
    HandleKind Kind() const override { return HandleKind::FileMapping; }

    int fd() const { return segment_ ? segment_->fd() : file_->fd(); }
    // Offset of the mapping's first byte in fd(); -1 for an anonymous segment.
    off_t base_offset() const { return segment_ ? static_cast<off_t>(kSegmentHeaderSize) : 0; }
    uint64_t size() const { return size_; }
    bool writable() const { return writable_; }
    const std::shared_ptr<SharedSegment>& segment() const { return segment_; }

  private:
    std::shared_ptr<SharedSegment> segment_;
    std::shared_ptr<FileObject> file_;
    uint64_t size_;
    bool writable_;
};

struct View {
    size_t length;  // bytes the caller asked for (or to the end)
    size_t mapped;  // page-rounded length that was mapped
    bool writable;
    std::shared_ptr<MappingObject> mapping;  // keeps the memory alive while the view is
};

// Every view this process has mapped, by base address. Guarded by its lock.
struct ViewTable {
    std::mutex lock;
    std::map<const char*, View> views;
};

ViewTable& Views() {
    static ViewTable* table = new ViewTable;  // never destroyed: views may outlive statics
    return *table;
}

size_t PageSize() {
    return static_cast<size_t>(::sysconf(_SC_PAGESIZE));
}

HANDLE InsertMapping(std::shared_ptr<MappingObject> mapping, bool created) {
    HANDLE handle = InsertHandle(std::move(mapping));
    if (handle)
        SetLastError(created ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
    return handle;
}

}  // namespace

}  // namespace kvwin

using namespace kvwin;

extern "C" {

HANDLE CreateFileMappingW(HANDLE hFile, LPSECURITY_ATTRIBUTES /*lpFileMappingAttributes*/,
                          DWORD flProtect, DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow,
                          LPCWSTR lpName) {
    const DWORD protection = flProtect & 0xFF;
    if (protection != PAGE_READONLY && protection != PAGE_READWRITE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const bool writable = protection == PAGE_READWRITE;
    const uint64_t size = (static_cast<uint64_t>(dwMaximumSizeHigh) << 32) | dwMaximumSizeLow;

    if (hFile == INVALID_HANDLE_VALUE) {
        SegmentResult result =
            OpenSegment(lpName, SegmentKind::FileMapping, size,
                        size ? SegmentOpen::CreateOrOpen : SegmentOpen::OpenOnly, nullptr, nullptr);
        if (!result.segment) {
            // A paging-file mapping needs a size, unless it opens an existing one.
            SetLastError(size ? result.error : ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        return InsertMapping(std::make_shared<MappingObject>(result.segment, writable),
                             result.created);
    }

    auto file = LookupHandleAs<FileObject>(hFile, HandleKind::File);
    if (!file)
        return nullptr;
    if ((writable && !file->CanWrite()) || !file->CanRead()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(file->fd(), &st) != 0) {
        FailWithErrno();
        return nullptr;
    }
    uint64_t mapped_size = size;
    if (size == 0) {
        if (st.st_size == 0) {
            SetLastError(ERROR_FILE_INVALID);
            return nullptr;
        }
        mapped_size = static_cast<uint64_t>(st.st_size);
    } else if (size > static_cast<uint64_t>(st.st_size)) {
        if (!writable) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        // As on Windows, a writable mapping larger than its file grows the file, with its
        // blocks allocated, so that a full disk fails here rather than faulting a view.
        const int error = ::posix_fallocate(file->fd(), 0, static_cast<off_t>(size));
        if (error != 0) {
            ::ftruncate(file->fd(), st.st_size);
            FailWithErrno(error);
            return nullptr;
        }
    }
    return InsertMapping(std::make_shared<MappingObject>(file, mapped_size, writable), true);
}

HANDLE OpenFileMappingW(DWORD dwDesiredAccess, BOOL /*bInheritHandle*/, LPCWSTR lpName) {
    SegmentResult result =
        OpenSegment(lpName, SegmentKind::FileMapping, 0, SegmentOpen::OpenOnly, nullptr, nullptr);
    if (!result.segment) {
        SetLastError(result.error);
        return nullptr;
    }
    const bool writable = dwDesiredAccess & (FILE_MAP_WRITE | FILE_MAP_ALL_ACCESS);
    HANDLE handle = InsertHandle(std::make_shared<MappingObject>(result.segment, writable));
    if (handle)
        SetLastError(ERROR_SUCCESS);
    return handle;
}

LPVOID MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh,
                     DWORD dwFileOffsetLow, SIZE_T dwNumberOfBytesToMap) {
    auto mapping = LookupHandleAs<MappingObject>(hFileMappingObject, HandleKind::FileMapping);
    if (!mapping)
        return nullptr;
    const bool want_write = (dwDesiredAccess & FILE_MAP_WRITE) ||
                            (dwDesiredAccess & FILE_MAP_ALL_ACCESS) == FILE_MAP_ALL_ACCESS;
    if (want_write && !mapping->writable()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    const uint64_t offset = (static_cast<uint64_t>(dwFileOffsetHigh) << 32) | dwFileOffsetLow;
    if (offset % kAllocationGranularity) {
        SetLastError(ERROR_MAPPED_ALIGNMENT);
        return nullptr;
    }
    if (offset >= mapping->size() || dwNumberOfBytesToMap > mapping->size() - offset) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    const size_t length =
        dwNumberOfBytesToMap ? dwNumberOfBytesToMap : static_cast<size_t>(mapping->size() - offset);
    const size_t page = PageSize();
    const size_t mapped = (length + page - 1) / page * page;
    const int protection = PROT_READ | (want_write ? PROT_WRITE : 0);
    void* address = nullptr;
    if (mapping->fd() >= 0) {
        address = ::mmap(nullptr, mapped, protection, MAP_SHARED, mapping->fd(),
                         mapping->base_offset() + static_cast<off_t>(offset));
    } else {
        // An unnamed paging-file mapping: its memory is the segment's own.
        address = static_cast<char*>(mapping->segment()->payload()) + offset;
    }
    if (address == MAP_FAILED) {
        FailWithErrno();
        return nullptr;
    }
    ViewTable& table = Views();
    std::lock_guard guard(table.lock);
    table.views[static_cast<const char*>(address)] = {length, mapping->fd() >= 0 ? mapped : 0,
                                                      want_write, mapping};
    return address;
}

BOOL UnmapViewOfFile(LPCVOID lpBaseAddress) {
    View view;
    {
        ViewTable& table = Views();
        std::lock_guard guard(table.lock);
        auto it = table.views.find(static_cast<const char*>(lpBaseAddress));
        if (it == table.views.end())
            return FailWith(ERROR_INVALID_ADDRESS);
        view = std::move(it->second);
        table.views.erase(it);
    }
    if (view.mapped)
        ::munmap(const_cast<void*>(lpBaseAddress), view.mapped);
    return TRUE;
}

SIZE_T VirtualQuery(LPCVOID lpAddress, PMEMORY_BASIC_INFORMATION lpBuffer, SIZE_T dwLength) {
    if (!lpBuffer || dwLength < sizeof(MEMORY_BASIC_INFORMATION)) {
        SetLastError(ERROR_BAD_LENGTH);
        return 0;
    }
    const auto* address = static_cast<const char*>(lpAddress);
    const size_t page = PageSize();
    ViewTable& table = Views();
    std::lock_guard guard(table.lock);
    auto it = table.views.upper_bound(address);
    if (it != table.views.begin()) {
        --it;
        const size_t rounded = (it->second.length + page - 1) / page * page;
        if (address < it->first + rounded) {
            const auto* page_start = it->first + (address - it->first) / page * page;
            *lpBuffer = {};
            lpBuffer->BaseAddress = const_cast<char*>(page_start);
            lpBuffer->AllocationBase = const_cast<char*>(it->first);
            lpBuffer->AllocationProtect = it->second.writable ? PAGE_READWRITE : PAGE_READONLY;
            lpBuffer->RegionSize = rounded - static_cast<size_t>(page_start - it->first);
            lpBuffer->State = MEM_COMMIT;
            lpBuffer->Protect = lpBuffer->AllocationProtect;
            lpBuffer->Type = MEM_MAPPED;
            return sizeof(MEMORY_BASIC_INFORMATION);
        }
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
}

}  // extern "C"
