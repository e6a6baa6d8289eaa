// Copies of queue PPDs in the driver store: downloaded beside their final name, then
// renamed over it, so concurrent refreshes from several threads or processes never leave a
// torn file.
#include "driver_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "kvwin/last_error.h"
#include "kvwin/state_root.h"
#include "kvwin/utf.h"
#include "win/errors.h"

namespace kvwin {

namespace {

constexpr char16_t kDriverFolder[] = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3";

// Closes and, unless kept, removes a temporary file.
class TemporaryFile {
  public:
    explicit TemporaryFile(std::string pattern) : path_(std::move(pattern)) {
        fd_ = ::mkostemp(path_.data(), O_CLOEXEC);
    }
    ~TemporaryFile() {
        if (fd_ >= 0)
            ::close(fd_);
        if (fd_ >= 0 && !kept_)
            ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    void Keep() { kept_ = true; }

  private:
    std::string path_;
    int fd_ = -1;
    bool kept_ = false;
};

bool ReadAll(int fd, std::string& text) {
    if (::lseek(fd, 0, SEEK_SET) != 0)
        return false;
    char buffer[8192];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        text.append(buffer, static_cast<size_t>(got));
    }
}

}  // namespace

DWORD RefreshDriverCopy(const CupsServer& server, const std::string& queue, DriverCopy& copy) {
    const std::u16string folder = kDriverFolder;
    std::string nativeFolder;
    if (!ToNativePath(folder, nativeFolder))
        return GetLastError();
    std::error_code failed;
    std::filesystem::create_directories(nativeFolder, failed);
    if (failed)
        return Win32ErrorFromErrno(failed.value());
    const std::string finalPath = nativeFolder + "/" + queue + ".ppd";
    TemporaryFile download(nativeFolder + "/." + queue + ".ppd.XXXXXX");
    if (download.fd() < 0)
        return Win32ErrorFromErrno(errno);
    time_t date = 0;
    if (const DWORD error = DownloadCupsPpd(server, queue, download.fd(), date))
        return error;
    std::string text;
    if (!ReadAll(download.fd(), text))
        return Win32ErrorFromErrno(errno);
    // The copy is readable by every user, as driver files are, and dated as the server
    // dates the PPD.
    ::fchmod(download.fd(), 0644);
    if (date > 0) {
        const struct timespec times[2] = {{date, 0}, {date, 0}};
        ::futimens(download.fd(), times);
    }
    if (::rename(download.path().c_str(), finalPath.c_str()) != 0)
        return Win32ErrorFromErrno(errno);
    download.Keep();
    copy.path = folder + u"\\" + FromUtf8(queue) + u".ppd";
    copy.text = std::move(text);
    copy.date = date;
    return 0;
}

}  // namespace kvwin
