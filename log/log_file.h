// The agent log's file for one record: opened for appending, its size read from the open
// handle, the record appended whole or not at all, closed.
//
// Where the file is changes only through Place(). Between two placements the folder's
// native path, and (on Linux) a descriptor of the folder opened without following links,
// are kept: a record then costs an open relative to that folder, one size query, the write
// and the close. A folder that is missing is made (silently, with the given security) only
// when the open says so, and the open is tried again.
//
// Thread safety: none; the log object uses it under the machine-wide log mutex only.
#pragma once

#include <cstdint>
#include <string>

#include "kvwin/wide_string.h"
#include "win/types.h"

#ifdef _WIN32
#include "kvwin/file_handle.h"
#else
#include "kvwin/safe_open.h"
#endif

class LogFile {
  public:
    // The folder (no trailing separator) and the full path of the file. Forgets what was
    // cached for the previous place; an empty path places nothing (every Open fails).
    void Place(const WString& folder, const WString& path);

    // Opens the file for appending, creating it with fileSecurity when it is missing (and
    // the folder, with folderSecurity, when that is missing too). False when it cannot be
    // opened, or is no plain file of its own (a link, a folder, a file with a second name);
    // the last error then says why (ERROR_ACCESS_DENIED: this account may not add records).
    bool Open(SECURITY_ATTRIBUTES* fileSecurity, SECURITY_ATTRIBUTES* folderSecurity);

    // The size of the open file when it was opened: where this record starts.
    uint64_t Size() const { return m_size; }

    // Appends bytes whole. A write cut short (a full disk) is cut off again, back to Size(),
    // and false returned; so is everything appended since Open.
    bool Append(const std::string& bytes);

    void Close();

  private:
    WString m_folder;
    WString m_path;
    uint64_t m_size = 0;
#ifdef _WIN32
    FileHandle m_file;
#else
    bool OpenInFolder(SECURITY_ATTRIBUTES* fileSecurity, int& error);

    std::string m_nativePath;
    std::string m_nativeFolder;
    std::string m_leaf;
    kvwin::UniqueFd m_folderFd;
    gid_t m_writersGroup = 0;  // the group of a root-owned folder (0: none)
    kvwin::UniqueFd m_fd;
#endif
};
