// Whole-file reads and writes over the retrying open, and the checked write and seek.
#include <cstring>
#include <new>

#include "files/file_operations.h"
#include "files/retrying_open.h"
#include "win/errors.h"

namespace {

// Reads the open file whole into buffer; the error of the failing step as last error.
bool ReadOpenFile(HANDLE file, std::vector<uint8_t>& buffer, uint32_t& size) {
    const DWORD length = GetFileSize(file, nullptr);
    if (length == INVALID_FILE_SIZE)
        return false;
    buffer.assign(static_cast<size_t>(length) + 1, 0);
    DWORD read = 0;
    if (!ReadFile(file, buffer.data(), length, &read, nullptr))
        return false;
    if (read != length) {
        // The file shrank under us: what was read is not the file.
        SetLastError(ERROR_HANDLE_EOF);
        return false;
    }
    size = length;
    return true;
}

}  // namespace

bool ReadFileWithRetries(const WCHAR* path, std::vector<uint8_t>& buffer, uint32_t& size) {
    try {
        FileHandle file = OpenWithRetries(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
        if (!file.valid())
            return false;
        const bool read = ReadOpenFile(file.get(), buffer, size);
        const DWORD error = GetLastError();
        file.Close();
        if (!read)
            SetLastError(error);
        return read;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_OUTOFMEMORY);
        return false;
    }
}

bool WriteFileWithRetries(const WCHAR* path, const void* data, uint32_t length, const char* prefix,
                          DWORD access, DWORD shareMode) {
    try {
        FileHandle file =
            OpenWithRetries(path, access, shareMode, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
        if (!file.valid())
            return false;
        const bool written = (!prefix || WriteAll(file.get(), prefix, kWriteAllZeroTerminated)) &&
                             WriteAll(file.get(), data, length);
        const DWORD error = GetLastError();
        const bool closed = file.Close();
        if (!written)
            SetLastError(error);
        return written && closed;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_OUTOFMEMORY);
        return false;
    }
}

bool WriteAll(HANDLE file, const void* data, uint32_t length) {
    if (length == kWriteAllZeroTerminated)
        length = data ? static_cast<uint32_t>(std::strlen(static_cast<const char*>(data))) : 0;
    DWORD written = 0;
    if (!WriteFile(file, length ? data : "", length, &written, nullptr))
        return false;
    if (written != length) {
        SetLastError(ERROR_WRITE_FAULT);
        return false;
    }
    return true;
}

bool SetFilePointerChecked(HANDLE file, LONG distance, DWORD moveMethod) {
    // A position of 0xFFFFFFFF is a valid answer too; only the error tells them apart.
    SetLastError(ERROR_SUCCESS);
    return SetFilePointer(file, distance, nullptr, moveMethod) != INVALID_SET_FILE_POINTER ||
           GetLastError() == ERROR_SUCCESS;
}
