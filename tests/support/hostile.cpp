#include "kvtest/hostile.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "kvtest/test_env.h"

namespace kvtest {

bool MountSmallFilesystem(const std::string& folder, size_t bytes, std::string& why) {
    if (::unshare(CLONE_NEWNS) != 0) {
        why = std::string("unshare(CLONE_NEWNS): ") + std::strerror(errno);
        return false;
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        why = std::string("making / private: ") + std::strerror(errno);
        return false;
    }
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        why = std::string("mounting tmpfs: ") + std::strerror(errno);
        return false;
    }
    return true;
}

void RunOnSmallFilesystem(size_t bytes, const std::function<void()>& body) {
    constexpr int kCannotMount = 77;
    const ChildResult child = RunInChild([&] {
        std::string why;
        if (!MountSmallFilesystem(TestStateRoot(), bytes, why)) {
            std::fprintf(stderr, "%s\n", why.c_str());
            ::_exit(kCannotMount);
        }
        body();
    });
    if (child.exited && child.exit_code == kCannotMount)
        GTEST_SKIP() << "no small file system here: " << child.output;
    ExpectExitedCleanly(child);
}

void FillFilesystem(const std::string& folder) {
    const std::string path = folder + "/.filler";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    static const char block[512] = {};
    while (::write(fd, block, sizeof block) > 0) {
    }
    while (::write(fd, block, 1) > 0) {
    }
    ::close(fd);
}

bool UnprivilegedAccount(uid_t& uid, gid_t& gid) {
    if (::geteuid() != 0)
        return false;
    struct passwd pwd {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwnam_r("nobody", &pwd, buffer, sizeof buffer, &found) != 0 || !found)
        return false;
    uid = found->pw_uid;
    gid = found->pw_gid;
    return uid != 0;
}

namespace {

bool DropToNobody() {
    uid_t uid = 0;
    gid_t gid = 0;
    if (!UnprivilegedAccount(uid, gid))
        return false;
    return ::setgroups(0, nullptr) == 0 && ::setgid(gid) == 0 && ::setuid(uid) == 0;
}

}  // namespace

LinkPlanter::LinkPlanter(const std::string& path, const std::string& target) {
    uid_t uid = 0;
    gid_t gid = 0;
    if (!UnprivilegedAccount(uid, gid))
        return;
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0)
        return;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipe_fds[0]);
        ::close(pipe_fds[1]);
        return;
    }
    if (pid == 0) {
        ::close(pipe_fds[0]);
        if (!DropToNobody())
            ::_exit(2);
        bool told = false;
        for (;;) {
            ::unlink(path.c_str());
            if (::symlink(target.c_str(), path.c_str()) == 0 && !told) {
                const char one = 1;
                told = ::write(pipe_fds[1], &one, 1) == 1;
            }
        }
    }
    ::close(pipe_fds[1]);
    pid_ = pid;
    ready_fd_ = pipe_fds[0];
}

LinkPlanter::~LinkPlanter() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (ready_fd_ >= 0)
        ::close(ready_fd_);
}

bool LinkPlanter::planted(int timeout_ms) const {
    if (!planted_ && ready_fd_ >= 0) {
        // Waits (generously, for a loaded machine) until the first link is in place.
        struct pollfd ready {
            ready_fd_, POLLIN, 0
        };
        char one = 0;
        planted_ = ::poll(&ready, 1, timeout_ms) == 1 && ::read(ready_fd_, &one, 1) == 1;
    }
    return planted_;
}

int RunAsNobody(void (*body)(const void* context), const void* context) {
    uid_t uid = 0;
    gid_t gid = 0;
    if (!UnprivilegedAccount(uid, gid))
        return -1;
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (!DropToNobody())
            ::_exit(125);
        body(context);
        ::_exit(0);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace kvtest
