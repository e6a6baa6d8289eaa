#include "log/console_output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "entry/singleton/singleton.h"
#include "kvwin/utf.h"
#include "kvwin/wide_string.h"
#include "win/environment.h"

namespace {

constexpr const WCHAR* kConsoleVariable = TEXT("Zor_{5F596BB2-D8F6-4549-B5A3-3C07AE7B2AD2}");

class ConsoleOutput {
  public:
    ConsoleOutput() {
        WCHAR value[20] = {};
        const DWORD length = GetEnvironmentVariableW(kConsoleVariable, value, 20);
        if (length != 1 || value[0] != TEXT('1'))
            return;
        struct stat info {};
        if (fstat(STDOUT_FILENO, &info) != 0)
            return;  // nothing inherited to write to
        m_utf16 = !isatty(STDOUT_FILENO);
        m_enabled = true;
        if (m_utf16)
            Write(TEXT("\xFEFF"));
    }

    bool Print(const WString& text) {
        if (m_enabled)
            Write(text);
        return m_enabled;
    }

  private:
    void Write(const WString& text) {
        if (m_utf16) {
            std::string bytes;
            bytes.reserve(text.size() * 2);
            for (WCHAR c : text) {
                bytes.push_back(static_cast<char>(c & 0xFF));
                bytes.push_back(static_cast<char>(c >> 8));
            }
            WriteAll(bytes);
        } else {
            WriteAll(kvwin::ToUtf8(text));
        }
    }

    static void WriteAll(const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return;
            done += static_cast<size_t>(n);
        }
    }

    bool m_enabled = false;
    bool m_utf16 = false;
};

}  // namespace

namespace log_detail {

bool ConsolePrintArgs(const WCHAR* format, const kvwin::FormatArg* args, size_t count) {
    return Utility::SingletonT<ConsoleOutput, 65535>::Instance().Print(
        kvwin::FormatArgs(format, args, count));
}

}  // namespace log_detail
