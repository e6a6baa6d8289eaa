#include "kvtest/test_env.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace kvtest {

namespace {

std::string RootBase() {
    const char* base = ::getenv("KAVREL_TEST_ROOT_BASE");
    std::string folder = base && *base ? base : "/tmp/kavrel-tests";
    ::mkdir(folder.c_str(), 0777);
    return folder;
}

std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    return text;
}

struct Child {
    pid_t pid = -1;
    int output_fd = -1;
};

Child StartChild(const std::function<void()>& body) {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0)
        throw std::runtime_error("pipe failed");
    ::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::close(pipe_fds[0]);
        ::dup2(pipe_fds[1], 1);
        ::dup2(pipe_fds[1], 2);
        ::close(pipe_fds[1]);
        try {
            body();
        } catch (const std::exception& e) {
            ::fprintf(stderr, "child: exception: %s\n", e.what());
            ::fflush(nullptr);
            ::_exit(98);
        } catch (...) {
            ::_exit(99);
        }
        ::fflush(nullptr);
        ::_exit(0);
    }
    ::close(pipe_fds[1]);
    return {pid, pipe_fds[0]};
}

ChildResult FinishChild(const Child& child) {
    ChildResult result;
    result.output = ReadAll(child.output_fd);
    ::close(child.output_fd);
    int status = 0;
    while (::waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        result.exited = true;
        result.exit_code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

}  // namespace

std::string MakeTempFolder(const std::string& tag) {
    std::string pattern = RootBase() + "/" + tag + "-XXXXXX";
    std::string buffer = pattern;
    if (!::mkdtemp(buffer.data()))
        throw std::runtime_error("mkdtemp failed for " + pattern);
    return buffer;
}

std::string TestStateRoot() {
    const char* root = ::getenv("KAVREL_ROOT");
    return root ? root : "";
}

ScopedStateRoot::ScopedStateRoot() : path_(MakeTempFolder("root")) {
    previous_ = TestStateRoot();
    ::setenv("KAVREL_ROOT", path_.c_str(), 1);
}

ScopedStateRoot::~ScopedStateRoot() {
    ::setenv("KAVREL_ROOT", previous_.c_str(), 1);
}

ScopedEnvironmentVariable::ScopedEnvironmentVariable(std::string name, const char* value)
    : name_(std::move(name)) {
    if (const char* previous = ::getenv(name_.c_str())) {
        had_ = true;
        previous_ = previous;
    }
    if (value)
        ::setenv(name_.c_str(), value, 1);
    else
        ::unsetenv(name_.c_str());
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() {
    if (had_)
        ::setenv(name_.c_str(), previous_.c_str(), 1);
    else
        ::unsetenv(name_.c_str());
}

ChildResult RunInChild(const std::function<void()>& body) {
    return FinishChild(StartChild(body));
}

void ExpectExitedCleanly(const ChildResult& child) {
    EXPECT_TRUE(child.exited && child.exit_code == 0)
        << "exit " << child.exit_code << " signal " << child.signal << "\n"
        << child.output;
}

std::vector<ChildResult> RunInChildren(int count, const std::function<void(int)>& body) {
    std::vector<Child> children;
    for (int i = 0; i < count; ++i) {
        children.push_back(StartChild([&body, i] { body(i); }));
    }
    std::vector<ChildResult> results;
    for (const Child& child : children)
        results.push_back(FinishChild(child));
    return results;
}

}  // namespace kvtest
