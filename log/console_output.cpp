#include "log/console_output.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
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
#ifdef _WIN32
        // Bytes go straight to the handle, past the CRT's text mode, so a line break stays
        // one CRLF; a console takes the text through the console API.
        m_out = GetStdHandle(STD_OUTPUT_HANDLE);
        if (!m_out || m_out == INVALID_HANDLE_VALUE)
            return;  // nothing inherited to write to
        DWORD mode = 0;
        m_console = GetConsoleMode(m_out, &mode) != FALSE;
        m_utf16 = !m_console;
#else
        struct stat info {};
        if (fstat(STDOUT_FILENO, &info) != 0)
            return;  // nothing inherited to write to
        m_utf16 = !isatty(STDOUT_FILENO);
#endif
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
#ifdef _WIN32
        if (m_console) {
            size_t done = 0;
            while (done < text.size()) {
                DWORD written = 0;
                const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 16384));
                if (!WriteConsoleW(m_out, text.data() + done, chunk, &written, nullptr) ||
                    written == 0) {
                    return;
                }
                done += written;
            }
            return;
        }
#endif
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

#ifdef _WIN32
    void WriteAll(const std::string& bytes) const {
        size_t done = 0;
        while (done < bytes.size()) {
            DWORD written = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 65536));
            if (!WriteFile(m_out, bytes.data() + done, chunk, &written, nullptr) || written == 0)
                return;
            done += written;
        }
    }

    HANDLE m_out = nullptr;
    bool m_console = false;
#else
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
#endif

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
