// FileHandle: owns one file handle and closes it when it goes, unless closed before.
//
// One owner, one thread at a time; moving hands the handle on. Header-only over CloseHandle,
// so the library's Windows build uses it as it is.
#pragma once

#include <utility>

#include "win/files.h"

class FileHandle {
  public:
    FileHandle() = default;
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() { Close(); }
    FileHandle(FileHandle&& other) noexcept : handle_(std::exchange(other.handle_, kNone)) {}
    FileHandle& operator=(FileHandle&& other) noexcept {
        if (this != &other) {
            Close();
            handle_ = std::exchange(other.handle_, kNone);
        }
        return *this;
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool valid() const { return handle_ != kNone; }
    HANDLE get() const { return handle_; }

    // Closes the handle now; the result of CloseHandle (true when there was none).
    bool Close() {
        if (!valid())
            return true;
        return CloseHandle(std::exchange(handle_, kNone)) != FALSE;
    }

  private:
    static inline const HANDLE kNone = INVALID_HANDLE_VALUE;
    HANDLE handle_ = kNone;
};
