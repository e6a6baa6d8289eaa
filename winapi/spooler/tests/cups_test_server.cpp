// Starting and stopping a private cupsd.
#include "cups_test_server.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>

#include <filesystem>
#include <fstream>

namespace kvtest {

namespace {

bool WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

// A listening socket on 127.0.0.1 at a port the kernel picks.
int ListenOnLoopback(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 128) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

bool CupsTestServer::Installed(const std::string& cupsdPath) {
    return !cupsdPath.empty() && ::access(cupsdPath.c_str(), X_OK) == 0;
}

bool CupsTestServer::Start(const std::string& cupsdPath, const std::string& folder,
                           const std::vector<TestQueue>& queues, std::string& why) {
    namespace fs = std::filesystem;
    std::error_code failed;
    for (const char* sub : {"conf/ppd", "spool", "cache", "state", "tmp", "log"})
        fs::create_directories(folder + "/" + sub, failed);
    if (failed) {
        why = "cannot create " + folder + ": " + failed.message();
        return false;
    }
    // The folders must not be writable by others, or cupsd refuses them.
    for (const char* sub : {"", "/conf", "/conf/ppd", "/spool", "/cache", "/state", "/tmp", "/log"})
        ::chmod((folder + sub).c_str(), 0755);
    const std::string conf = folder + "/conf";
    std::string printers;
    for (const TestQueue& queue : queues) {
        printers += "<Printer " + queue.name + ">\nInfo " + queue.name +
                    "\nDeviceURI file:///dev/null\nState Idle\nAccepting Yes\nShared No\n"
                    "</Printer>\n";
        if (!queue.ppd.empty() && !WriteText(conf + "/ppd/" + queue.name + ".ppd", queue.ppd)) {
            why = "cannot write the PPD of " + queue.name;
            return false;
        }
    }
    const bool written =
        WriteText(conf + "/cupsd.conf",
                  "LogLevel warn\nBrowsing No\nDefaultAuthType None\nWebInterface No\n"
                  "IdleExitTimeout 0\n<Location />\n  Order allow,deny\n  Allow all\n"
                  "</Location>\n") &&
        WriteText(conf + "/cups-files.conf",
                  "ServerRoot " + conf + "\nRequestRoot " + folder + "/spool\nCacheDir " + folder +
                      "/cache\nStateDir " + folder + "/state\nTempDir " + folder +
                      "/tmp\nErrorLog " + folder + "/log/error_log\nAccessLog " + folder +
                      "/log/access_log\nPageLog " + folder + "/log/page_log\nFileDevice Yes\n") &&
        WriteText(conf + "/printers.conf", printers);
    if (!written) {
        why = "cannot write the configuration under " + conf;
        return false;
    }
    const int listener = ListenOnLoopback(port_);
    if (listener < 0) {
        why = "cannot listen on 127.0.0.1";
        return false;
    }
    const std::string confFile = conf + "/cupsd.conf";
    const std::string filesFile = conf + "/cups-files.conf";
    pid_ = ::fork();
    if (pid_ == 0) {
        // The child: the socket as descriptor 3, announced as systemd would announce it.
        // Its output goes to its log, not to the test's pipes.
        // It ends with the test, even one that crashes.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int null = ::open("/dev/null", O_RDWR);
        if (null < 0 || ::dup2(null, 0) < 0 || ::dup2(null, 1) < 0 || ::dup2(null, 2) < 0)
            ::_exit(127);
        // dup2 onto itself would keep the close-on-exec flag.
        if (listener == 3 ? ::fcntl(3, F_SETFD, 0) < 0 : ::dup2(listener, 3) < 0)
            ::_exit(127);
        const std::string pidText = std::to_string(::getpid());
        ::setenv("LISTEN_FDS", "1", 1);
        ::setenv("LISTEN_PID", pidText.c_str(), 1);
        ::execl(cupsdPath.c_str(), "cupsd", "-l", "-c", confFile.c_str(), "-s", filesFile.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(listener);
    if (pid_ < 0) {
        why = "fork failed";
        return false;
    }
    return true;
}

std::string CupsTestServer::Address() const {
    return "127.0.0.1:" + std::to_string(port_);
}

void CupsTestServer::Stop() {
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}

CupsTestServer::~CupsTestServer() {
    Stop();
}

std::string TestPpd(const std::string& fileVersion) {
    std::string ppd = "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n";
    if (!fileVersion.empty())
        ppd += "*FileVersion: \"" + fileVersion + "\"\n";
    ppd +=
        "*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n"
        "*PCFileName: \"KVTEST.PPD\"\n*Manufacturer: \"Kavrel\"\n*Product: \"(Test Printer)\"\n"
        "*ModelName: \"Kavrel Test Printer\"\n*ShortNickName: \"Kavrel Test\"\n"
        "*NickName: \"Kavrel Test Printer, 1.0\"\n*PSVersion: \"(3010.000) 0\"\n"
        "*LanguageLevel: \"3\"\n*ColorDevice: False\n*DefaultColorSpace: Gray\n"
        "*FileSystem: False\n*Throughput: \"1\"\n*LandscapeOrientation: Plus90\n"
        "*TTRasterizer: Type42\n*OpenUI *PageSize: PickOne\n*DefaultPageSize: A4\n"
        "*PageSize A4/A4: \"<</PageSize[595 842]>>setpagedevice\"\n*CloseUI: *PageSize\n"
        "*DefaultImageableArea: A4\n*ImageableArea A4/A4: \"0 0 595 842\"\n"
        "*DefaultPaperDimension: A4\n*PaperDimension A4/A4: \"595 842\"\n";
    return ppd;
}

}  // namespace kvtest
