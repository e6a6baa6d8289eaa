// The kernel object behind a file handle, for the parts of the layer that read files
// through handles (mappings, version resources, the console).
#pragma once

#include <string>

#include "kvwin/civil_time.h"
#include "kvwin/handle_table.h"

namespace kvwin {

// Thread safety: the fields are fixed after creation; the descriptor is used by many
// threads as the kernel allows.
class KVWIN_API FileObject : public KernelObject {
  public:
    FileObject(int fd, std::string path, DWORD access, bool delete_on_close);
    ~FileObject() override;
    FileObject(const FileObject&) = delete;
    FileObject& operator=(const FileObject&) = delete;

    HandleKind Kind() const override { return HandleKind::File; }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    DWORD access() const { return access_; }
    bool CanRead() const;
    bool CanWrite() const;

  private:
    // Removes the file at path_ when it is still the one this handle opened.
    void DeleteIfStillMine() const;

    int fd_;
    std::string path_;
    DWORD access_;
    bool delete_on_close_;
};

// 100-ns intervals since 1601 from a POSIX time.
inline FILETIME FileTimeFromUnix(long long seconds, long nanoseconds) {
    return FileTimeFromTicks(kFileTimeUnixEpoch + seconds * kTicksPerSecond + nanoseconds / 100);
}

}  // namespace kvwin
