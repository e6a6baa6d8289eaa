#include "output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "kvwin/safe_open.h"

namespace kavrel_reg {

namespace {

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        text.remove_prefix(size_t(n));
    }
    return true;
}

}  // namespace

bool WriteOutputFile(const std::string& path, std::string_view text, std::string& why) {
    std::string leaf;
    const kvwin::UniqueFd folder = kvwin::OpenParentSafely(path, leaf);
    if (!folder.valid()) {
        why = std::strerror(errno);
        return false;
    }
    // One left over from an earlier run, or planted, goes first: unlinking never follows it.
    const std::string temporary = "." + leaf + ".new";
    ::unlinkat(folder.get(), temporary.c_str(), 0);
    kvwin::UniqueFd file =
        kvwin::OpenFileAt(folder.get(), temporary, O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (!file.valid()) {
        why = std::strerror(errno);
        return false;
    }
    const bool written = WriteAll(file.get(), text);
    const int error = errno;
    if (!written || ::close(file.release()) != 0 ||
        ::renameat(folder.get(), temporary.c_str(), folder.get(), leaf.c_str()) != 0) {
        why = std::strerror(written ? errno : error);
        ::unlinkat(folder.get(), temporary.c_str(), 0);
        return false;
    }
    return true;
}

}  // namespace kavrel_reg
