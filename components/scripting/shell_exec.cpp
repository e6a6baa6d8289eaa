// WScript.Shell's Run and Exec: real child processes through the layer's CreateProcessW.
//
// Exec captures the child's output and error streams in two temporary files (the layer has
// no pipes); each is removed as soon as this side holds it open. StdOut and StdErr read them
// as they grow: a read that needs more text waits for the child to write it or to end, in
// short waits on the child's process handle, so a script blocks exactly as long as it does
// with pipes on Windows and no longer. Text is UTF-8 when it is valid UTF-8, otherwise the
// ANSI code page.
//
// StdIn writes to the child's standard input through a pipe, as UTF-8 with lines ending in
// "\n" (what a Linux program reads); Close (or the Exec object's release) ends the input.
// The write end does not wait: a write that finds the pipe full waits in the same short waits
// for the child to read or to end, and a child that has ended fails the write as a closed
// pipe does on Windows. This side also holds the pipe's read end while the input is open, so
// a write after the child ended never meets a pipe without a reader (a signal that would end
// the host process).
//
// A stream keeps at most kMaxStreamChars of text and reads no further ahead; its text counts
// against the process-wide bound on memory objects hold for scripts (kvwin/held_memory.h), and
// a read past that bound fails with E_OUTOFMEMORY.
//
// The Exec object and its streams are apartment objects; they share the process handle.
#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <vector>

#include "file_system.h"
#include "kvwin/file_handle.h"
#include "kvwin/held_memory.h"
#include "kvwin/utf.h"
#include "shell.h"
#include "text_place.h"
#include "win/debug.h"
#include "win/kernel_objects.h"
#include "win/processes.h"
#include "win/text.h"

namespace kvscripting {
namespace {

constexpr WORD kGet = DISPATCH_PROPERTYGET;
constexpr WORD kMethod = DISPATCH_METHOD;
constexpr DWORD kPollMs = 20;
// Most text one stream keeps; a child writing more ends the stream there.
constexpr size_t kMaxStreamChars = 64u << 20;

struct Process {
    HANDLE handle = nullptr;
    DWORD id = 0;
    ~Process() {
        if (handle)
            CloseHandle(handle);
    }
    bool Ended() const { return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0; }
};

HRESULT Start(const std::u16string& command, STARTUPINFOW& startup, BOOL inherit,
              PROCESS_INFORMATION& info) {
    std::vector<WCHAR> line(command.begin(), command.end());
    line.push_back(u'\0');
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, inherit, 0, nullptr, nullptr,
                        &startup, &info))
        return HRESULT_FROM_WIN32(GetLastError());
    if (info.hThread)
        CloseHandle(info.hThread);
    return S_OK;
}

class ExecStream final : public kvwin::DispatchObject<ExecStream, IDispatch> {
  public:
    std::u16string_view TypeName() const override { return u"TextStream"; }
    ExecStream(FileHandle file, std::shared_ptr<Process> process)
        : file_(std::move(file)), process_(std::move(process)) {}
    static std::span<const kvwin::DispatchMember<ExecStream>> DispatchMembers();
    std::u16string_view ErrorSource() const override { return u"WshScriptExec"; }

    static HRESULT AtEndOfStream(ExecStream& self, kvwin::DispatchCall& call) {
        return kvwin::SetVariantBool(call.Result(),
                                     self.place_.pos >= self.text_.size() && !self.WaitForMore());
    }
    static HRESULT AtEndOfLine(ExecStream& self, kvwin::DispatchCall& call) {
        if (self.place_.pos >= self.text_.size() && !self.WaitForMore())
            return kvwin::SetVariantBool(call.Result(), true);
        char16_t c = self.text_[self.place_.pos];
        return kvwin::SetVariantBool(call.Result(), c == u'\n' || c == u'\r');
    }
    static HRESULT ReadLine(ExecStream& self, kvwin::DispatchCall& call) {
        while (self.text_.find(u'\n', self.place_.pos) == std::u16string::npos &&
               self.WaitForMore()) {
        }
        if (self.place_.pos >= self.text_.size())
            return FailWith(call, kInputPastEnd);
        return kvwin::SetVariantText(call.Result(), self.place_.TakeLine(self.text_));
    }
    static HRESULT ReadAll(ExecStream& self, kvwin::DispatchCall& call) {
        while (self.WaitForMore()) {
        }
        return kvwin::SetVariantText(call.Result(), self.Take(self.text_.size() - self.place_.pos));
    }
    static HRESULT Read(ExecStream& self, kvwin::DispatchCall& call) {
        long n = 0;
        if (!ArgLong(call, 0, 0, n) || n < 0)
            return FailWith(call, kInvalidArgument);
        while (self.text_.size() - self.place_.pos < size_t(n) && self.WaitForMore()) {
        }
        return kvwin::SetVariantText(
            call.Result(), self.Take(std::min(size_t(n), self.text_.size() - self.place_.pos)));
    }
    static HRESULT Skip(ExecStream& self, kvwin::DispatchCall& call) {
        long n = 0;
        if (!ArgLong(call, 0, 0, n) || n < 0)
            return FailWith(call, kInvalidArgument);
        while (self.text_.size() - self.place_.pos < size_t(n) && self.WaitForMore()) {
        }
        self.Take(std::min(size_t(n), self.text_.size() - self.place_.pos));
        return S_OK;
    }
    static HRESULT SkipLine(ExecStream& self, kvwin::DispatchCall& call) {
        HRESULT hr = ReadLine(self, call);
        if (SUCCEEDED(hr) && call.Result())
            VariantClear(call.Result());  // the line is not returned
        return hr;
    }
    static HRESULT Line(ExecStream& self, kvwin::DispatchCall& call) {
        return kvwin::SetVariantLong(call.Result(), self.place_.line);
    }
    static HRESULT Column(ExecStream& self, kvwin::DispatchCall& call) {
        return kvwin::SetVariantLong(call.Result(), self.place_.column);
    }
    static HRESULT Close(ExecStream& self, kvwin::DispatchCall&) {
        self.file_.Close();
        return S_OK;
    }

  private:
    ~ExecStream() override = default;

    // Reads what the child has written so far; true when it added text.
    bool Fill(bool final) {
        if (!file_.valid() || text_.size() >= kMaxStreamChars)
            return false;
        // A byte gives at most one character, so reading no more than the stream may still
        // keep bounds what is read ahead of the script, however much the child has written.
        const size_t room = kMaxStreamChars - text_.size();
        char chunk[65536];
        DWORD got = 0;
        while (pending_.size() < room &&
               ReadFile(file_.get(), chunk, DWORD(std::min(sizeof chunk, room - pending_.size())),
                        &got, nullptr) &&
               got > 0)
            pending_.append(chunk, got);
        // Keep an unfinished UTF-8 sequence for the next read, unless the child is gone.
        size_t cut = pending_.size();
        if (!final) {
            size_t back = 0;
            while (back < 3 && back < cut && (pending_[cut - 1 - back] & 0xC0) == 0x80)
                ++back;
            if (back < cut && (static_cast<unsigned char>(pending_[cut - 1 - back]) & 0xC0) == 0xC0)
                cut -= back + 1;
        }
        if (cut == 0)
            return false;
        const size_t before = text_.size();
        int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, pending_.data(), int(cut),
                                    nullptr, 0);
        UINT page = n > 0 ? CP_UTF8 : CP_ACP;
        DWORD flags = n > 0 ? MB_ERR_INVALID_CHARS : 0;
        if (n <= 0)
            n = MultiByteToWideChar(CP_ACP, 0, pending_.data(), int(cut), nullptr, 0);
        if (n > 0) {
            if (!held_.Charge(size_t(n) * sizeof(char16_t)))
                throw std::bad_alloc();
            text_.resize(before + size_t(n));
            MultiByteToWideChar(page, flags, pending_.data(), int(cut), text_.data() + before, n);
        }
        pending_.erase(0, cut);
        return text_.size() > before;
    }

    // Waits until the child writes more or ends; true when there is new text.
    bool WaitForMore() {
        if (!file_.valid())  // closed by the script
            return false;
        for (;;) {
            if (Fill(false))
                return true;
            if (process_->Ended())
                return Fill(true);
            WaitForSingleObject(process_->handle, kPollMs);
        }
    }

    std::u16string Take(size_t n) { return place_.Take(text_, n); }

    FileHandle file_;
    std::shared_ptr<Process> process_;
    std::string pending_;  // bytes read and not yet decoded
    std::u16string text_;
    kvwin::HeldMemory held_;  // charged for text_
    TextPlace place_;
    ModuleRef module_ref_;
};

const kvwin::DispatchMember<ExecStream> kStreamMembers[] = {
    {u"Line", 10000, kGet, 0, 0, &ExecStream::Line},
    {u"Column", -529, kGet, 0, 0, &ExecStream::Column},
    {u"AtEndOfStream", 10002, kGet, 0, 0, &ExecStream::AtEndOfStream},
    {u"AtEndOfLine", 10003, kGet, 0, 0, &ExecStream::AtEndOfLine},
    {u"Read", 10004, kMethod, 1, 1, &ExecStream::Read},
    {u"ReadLine", 10005, kMethod, 0, 0, &ExecStream::ReadLine},
    {u"ReadAll", 10006, kMethod, 0, 0, &ExecStream::ReadAll},
    {u"Skip", 10010, kMethod, 1, 1, &ExecStream::Skip},
    {u"SkipLine", 10011, kMethod, 0, 0, &ExecStream::SkipLine},
    {u"Close", 10012, kMethod, 0, 0, &ExecStream::Close},
};

std::span<const kvwin::DispatchMember<ExecStream>> ExecStream::DispatchMembers() {
    return kStreamMembers;
}

// "The pipe is being closed." (ERROR_NO_DATA): a write to a child that has ended.
constexpr HRESULT kPipeClosed = HRESULT(0x800700E8);

class ExecInput final : public kvwin::DispatchObject<ExecInput, IDispatch> {
  public:
    std::u16string_view TypeName() const override { return u"TextStream"; }
    ExecInput(FileHandle write, FileHandle keep_read, std::shared_ptr<Process> process)
        : write_(std::move(write)),
          keep_read_(std::move(keep_read)),
          process_(std::move(process)) {}
    static std::span<const kvwin::DispatchMember<ExecInput>> DispatchMembers();
    std::u16string_view ErrorSource() const override { return u"WshScriptExec"; }

    static HRESULT Write(ExecInput& self, kvwin::DispatchCall& call) {
        std::u16string text;
        if (!ArgText(call, 0, text))
            return FailWith(call, kInvalidArgument);
        return self.Send(call, text, u"");
    }
    static HRESULT WriteLine(ExecInput& self, kvwin::DispatchCall& call) {
        std::u16string text;
        if (call.Arg(0) && !ArgText(call, 0, text))
            return FailWith(call, kInvalidArgument);
        return self.Send(call, text, u"\n");
    }
    static HRESULT WriteBlankLines(ExecInput& self, kvwin::DispatchCall& call) {
        long n = 0;
        if (!ArgLong(call, 0, 0, n) || n < 0 || n > kMostBlankLines)
            return FailWith(call, kInvalidArgument);
        return self.Send(call, std::u16string(size_t(n), u'\n'), u"");
    }
    static HRESULT Close(ExecInput& self, kvwin::DispatchCall&) {
        self.write_.Close();
        self.keep_read_.Close();
        return S_OK;
    }
    // A reading member on the input stream.
    static HRESULT NotForReading(ExecInput&, kvwin::DispatchCall& call) {
        return FailWith(call, kBadFileMode);
    }

  private:
    ~ExecInput() override = default;

    HRESULT Send(kvwin::DispatchCall& call, const std::u16string& text, std::u16string_view end) {
        if (!write_.valid())
            return FailWith(call, kBadFileMode);
        std::string bytes = kvwin::ToUtf8(text);
        bytes += kvwin::ToUtf8(std::u16string(end));
        size_t sent = 0;
        while (sent < bytes.size()) {
            DWORD wrote = 0;
            const DWORD chunk = DWORD(std::min<size_t>(bytes.size() - sent, 1u << 20));
            if (!WriteFile(write_.get(), bytes.data() + sent, chunk, &wrote, nullptr))
                return call.Fail(HRESULT_FROM_WIN32(GetLastError()), u"The pipe is being closed.");
            sent += wrote;
            if (sent < bytes.size() && wrote == 0) {
                // Full: the child has not read yet. Wait for it to read, or to end.
                if (process_->Ended())
                    return call.Fail(kPipeClosed, u"The pipe is being closed.");
                WaitForSingleObject(process_->handle, kPollMs);
            }
        }
        return S_OK;
    }

    FileHandle write_;
    FileHandle keep_read_;
    std::shared_ptr<Process> process_;
    ModuleRef module_ref_;
};

const kvwin::DispatchMember<ExecInput> kInputMembers[] = {
    {u"AtEndOfStream", 10002, kGet, 0, 0, &ExecInput::NotForReading},
    {u"AtEndOfLine", 10003, kGet, 0, 0, &ExecInput::NotForReading},
    {u"Read", 10004, kMethod, 1, 1, &ExecInput::NotForReading},
    {u"ReadLine", 10005, kMethod, 0, 0, &ExecInput::NotForReading},
    {u"ReadAll", 10006, kMethod, 0, 0, &ExecInput::NotForReading},
    {u"Write", 10007, kMethod, 1, 1, &ExecInput::Write},
    {u"WriteLine", 10008, kMethod, 0, 1, &ExecInput::WriteLine},
    {u"WriteBlankLines", 10009, kMethod, 1, 1, &ExecInput::WriteBlankLines},
    {u"Close", 10012, kMethod, 0, 0, &ExecInput::Close},
};

std::span<const kvwin::DispatchMember<ExecInput>> ExecInput::DispatchMembers() {
    return kInputMembers;
}

class Exec final : public kvwin::DispatchObject<Exec, IDispatch> {
  public:
    std::u16string_view TypeName() const override { return u"IWshExec"; }
    Exec(std::shared_ptr<Process> process, ExecStream* out, ExecStream* err, ExecInput* in)
        : process_(std::move(process)), out_(out), err_(err), in_(in) {}
    static std::span<const kvwin::DispatchMember<Exec>> DispatchMembers();
    std::u16string_view ErrorSource() const override { return u"WshScriptExec"; }

    static HRESULT Status(Exec& self, kvwin::DispatchCall& call) {
        return kvwin::SetVariantLong(call.Result(), self.process_->Ended() ? 1 : 0);
    }
    static HRESULT ExitCode(Exec& self, kvwin::DispatchCall& call) {
        DWORD code = 0;
        if (!GetExitCodeProcess(self.process_->handle, &code) || code == STILL_ACTIVE)
            code = 0;
        return kvwin::SetVariantLong(call.Result(), LONG(code));
    }
    static HRESULT ProcessID(Exec& self, kvwin::DispatchCall& call) {
        return kvwin::SetVariantLong(call.Result(), LONG(self.process_->id));
    }
    static HRESULT StdOut(Exec& self, kvwin::DispatchCall& call) { return Stream(call, self.out_); }
    static HRESULT StdErr(Exec& self, kvwin::DispatchCall& call) { return Stream(call, self.err_); }
    static HRESULT StdIn(Exec& self, kvwin::DispatchCall& call) { return Stream(call, self.in_); }
    static HRESULT Terminate(Exec& self, kvwin::DispatchCall&) {
        if (!self.process_->Ended())
            TerminateProcess(self.process_->handle, 1);
        return S_OK;
    }

  private:
    ~Exec() override {
        out_->Release();
        err_->Release();
        in_->Release();
    }
    static HRESULT Stream(kvwin::DispatchCall& call, IDispatch* stream) {
        stream->AddRef();
        return kvwin::ReturnObject(call.Result(), stream);
    }

    std::shared_ptr<Process> process_;
    ExecStream* out_;
    ExecStream* err_;
    ExecInput* in_;
    ModuleRef module_ref_;
};

const kvwin::DispatchMember<Exec> kExecMembers[] = {
    {u"StdOut", 2, kGet, 0, 0, &Exec::StdOut},
    {u"StdErr", 3, kGet, 0, 0, &Exec::StdErr},
    {u"StdIn", 1, kGet, 0, 0, &Exec::StdIn},
    {u"Status", 4, kGet, 0, 0, &Exec::Status},
    {u"ExitCode", 5, kGet, 0, 0, &Exec::ExitCode},
    {u"ProcessID", 6, kGet, 0, 0, &Exec::ProcessID},
    {u"Terminate", 7, kMethod, 0, 0, &Exec::Terminate},
};

std::span<const kvwin::DispatchMember<Exec>> Exec::DispatchMembers() {
    return kExecMembers;
}

// A capture file: a write handle for the child and a read handle for us; the name is gone
// once both are open.
bool OpenCapture(FileHandle& write, FileHandle& read) {
    static std::atomic<unsigned> counter{0};
    WCHAR folder[MAX_PATH + 1] = {};
    DWORD n = GetTempPathW(MAX_PATH, folder);
    if (n == 0 || n > MAX_PATH)
        return false;
    std::u16string name =
        JoinPath(folder, kvwin::FromUtf8("kavrel-exec-" + std::to_string(GetCurrentProcessId()) +
                                         "-" + std::to_string(counter++) + ".txt"));
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    write = FileHandle(CreateFileW(name.c_str(), GENERIC_WRITE, share, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_TEMPORARY, nullptr));
    if (!write.valid())
        return false;
    read = FileHandle(
        CreateFileW(name.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
    DeleteFileW(name.c_str());
    return read.valid();
}

}  // namespace

HRESULT RunProgram(const std::u16string& command, bool wait, DWORD& exit_code) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    HRESULT hr = Start(command, startup, FALSE, info);
    if (FAILED(hr))
        return hr;
    Process process;
    process.handle = info.hProcess;
    exit_code = 0;
    if (wait) {
        WaitForSingleObject(process.handle, INFINITE);
        if (!GetExitCodeProcess(process.handle, &exit_code))
            exit_code = 0;
    }
    return S_OK;
}

HRESULT StartExec(kvwin::DispatchCall& call, const std::u16string& command) {
    FileHandle out_write, out_read, err_write, err_read;
    if (!OpenCapture(out_write, out_read) || !OpenCapture(err_write, err_read))
        return FailWithLastError(call, GetLastError());
    HANDLE in_read = nullptr, in_write = nullptr;
    if (!CreatePipe(&in_read, &in_write, nullptr, 0))
        return FailWithLastError(call, GetLastError());
    FileHandle input(in_read), input_write(in_write);
    DWORD no_wait = PIPE_NOWAIT;
    if (!SetNamedPipeHandleState(input_write.get(), &no_wait, nullptr, nullptr))
        return FailWithLastError(call, GetLastError());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = out_write.get();
    startup.hStdError = err_write.get();
    // The objects come first: when memory is refused, no child is left running unowned.
    auto process = std::make_shared<Process>();
    auto* out = new ExecStream(std::move(out_read), process);
    ExecStream* err = nullptr;
    ExecInput* in = nullptr;
    Exec* exec = nullptr;
    try {
        err = new ExecStream(std::move(err_read), process);
        in = new ExecInput(std::move(input_write), std::move(input), process);
        exec = new Exec(process, out, err, in);  // holds the three from here on
    } catch (...) {
        out->Release();
        if (err)
            err->Release();
        if (in)
            in->Release();
        throw;
    }
    PROCESS_INFORMATION info{};
    HRESULT hr = Start(command, startup, TRUE, info);
    if (FAILED(hr)) {
        exec->Release();
        return call.Fail(hr, u"The system cannot find the file specified.");
    }
    process->handle = info.hProcess;
    process->id = info.dwProcessId;
    return kvwin::ReturnObject(call.Result(), exec);
}

}  // namespace kvscripting
