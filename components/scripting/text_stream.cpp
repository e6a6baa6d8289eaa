// TextStream: reading and writing text files for Scripting.FileSystemObject.
//
// A stream opened for reading takes the file's text when it opens (at most kMaxReadBytes;
// a larger file fails with "Out of memory") and reads from that copy; one opened for writing
// or appending writes through to the file at each call. ASCII streams use the ANSI code page
// (Windows-1252, as on Windows); Unicode streams UTF-16LE, with a byte-order mark written at
// the start of an empty file and skipped when reading. Lines end at LF; a CR before the LF
// belongs to the line end. Line and Column count from 1, as scripts expect.
//
// A reading stream's text also counts against the process-wide bound on memory objects hold
// for scripts (kvwin/held_memory.h) until the stream is closed or released, so many streams
// open on large files fail with "Out of memory" too.
#include <algorithm>
#include <vector>

#include "file_system.h"
#include "kvwin/file_handle.h"
#include "kvwin/held_memory.h"
#include "text_place.h"
#include "win/text.h"

namespace kvscripting {
namespace {

constexpr WORD kGet = DISPATCH_PROPERTYGET;
constexpr WORD kMethod = DISPATCH_METHOD;
constexpr DWORD kMaxReadBytes = 256u << 20;

class TextStream final : public kvwin::DispatchObject<TextStream, IDispatch> {
  public:
    TextStream(FileHandle file, IoMode mode, bool unicode)
        : file_(std::move(file)), mode_(mode), unicode_(unicode) {}
    static std::span<const kvwin::DispatchMember<TextStream>> DispatchMembers();
    std::u16string_view ErrorSource() const override { return u"Microsoft VBScript runtime error"; }

    // Reads the whole file for a reading stream; writes the byte-order mark for a new
    // Unicode one. Returns a Win32 error, or 0.
    DWORD Prepare() {
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file_.get(), &size))
            return GetLastError();
        if (mode_ == IoMode::Reading) {
            // The text takes at most one UTF-16 unit for each byte.
            if (size.QuadPart > kMaxReadBytes || !held_.Charge(size_t(size.QuadPart) * 2))
                return ERROR_NOT_ENOUGH_MEMORY;
            std::vector<char> bytes(size_t(size.QuadPart));
            DWORD got = 0;
            if (!bytes.empty() &&
                !ReadFile(file_.get(), bytes.data(), DWORD(bytes.size()), &got, nullptr))
                return GetLastError();
            bytes.resize(got);
            Decode(bytes);
            held_.Refund(held_.bytes() - std::min(held_.bytes(), text_.capacity() * 2));
            return 0;
        }
        if (mode_ == IoMode::Appending) {
            LARGE_INTEGER zero{};
            SetFilePointerEx(file_.get(), zero, nullptr, FILE_END);
        }
        if (unicode_ && size.QuadPart == 0) {
            const unsigned char mark[2] = {0xFF, 0xFE};
            DWORD put = 0;
            if (!WriteFile(file_.get(), mark, 2, &put, nullptr))
                return GetLastError();
        }
        return 0;
    }

    static HRESULT Line(TextStream& self, kvwin::DispatchCall& call) {
        return kvwin::SetVariantLong(call.Result(), self.place_.line);
    }
    static HRESULT Column(TextStream& self, kvwin::DispatchCall& call) {
        return kvwin::SetVariantLong(call.Result(), self.place_.column);
    }
    static HRESULT AtEndOfStream(TextStream& self, kvwin::DispatchCall& call) {
        if (!self.CanRead(call))
            return call.Error();
        return kvwin::SetVariantBool(call.Result(), self.place_.pos >= self.text_.size());
    }
    static HRESULT AtEndOfLine(TextStream& self, kvwin::DispatchCall& call) {
        if (!self.CanRead(call))
            return call.Error();
        const auto& t = self.text_;
        size_t p = self.place_.pos;
        return kvwin::SetVariantBool(call.Result(),
                                     p >= t.size() || t[p] == u'\n' ||
                                         (t[p] == u'\r' && p + 1 < t.size() && t[p + 1] == u'\n'));
    }
    static HRESULT Read(TextStream& self, kvwin::DispatchCall& call) {
        long count = 0;
        if (!ArgLong(call, 0, 0, count) || count < 0)
            return FailWith(call, kInvalidArgument);
        if (!self.CanRead(call))
            return call.Error();
        if (self.place_.pos >= self.text_.size())
            return FailWith(call, kInputPastEnd);
        return kvwin::SetVariantText(call.Result(), self.Take(size_t(count)));
    }
    static HRESULT ReadLine(TextStream& self, kvwin::DispatchCall& call) {
        if (!self.CanRead(call))
            return call.Error();
        if (self.place_.pos >= self.text_.size())
            return FailWith(call, kInputPastEnd);
        return kvwin::SetVariantText(call.Result(), self.place_.TakeLine(self.text_));
    }
    static HRESULT ReadAll(TextStream& self, kvwin::DispatchCall& call) {
        if (!self.CanRead(call))
            return call.Error();
        if (self.place_.pos >= self.text_.size())
            return FailWith(call, kInputPastEnd);
        return kvwin::SetVariantText(call.Result(), self.Take(self.text_.size()));
    }
    static HRESULT Skip(TextStream& self, kvwin::DispatchCall& call) {
        long count = 0;
        if (!ArgLong(call, 0, 0, count) || count < 0)
            return FailWith(call, kInvalidArgument);
        if (!self.CanRead(call))
            return call.Error();
        if (count > 0 && self.place_.pos >= self.text_.size())
            return FailWith(call, kInputPastEnd);
        self.Take(size_t(count));
        return S_OK;
    }
    static HRESULT SkipLine(TextStream& self, kvwin::DispatchCall& call) {
        if (!self.CanRead(call))
            return call.Error();
        if (self.place_.pos >= self.text_.size())
            return FailWith(call, kInputPastEnd);
        self.place_.TakeLine(self.text_);
        return S_OK;
    }
    static HRESULT Write(TextStream& self, kvwin::DispatchCall& call) {
        std::u16string text;
        if (!ArgText(call, 0, text))
            return FailWith(call, kInvalidArgument);
        return self.Put(call, text);
    }
    static HRESULT WriteLine(TextStream& self, kvwin::DispatchCall& call) {
        std::u16string text;
        if (call.Arg(0) && !ArgText(call, 0, text))
            return FailWith(call, kInvalidArgument);
        return self.Put(call, text + u"\r\n");
    }
    static HRESULT WriteBlankLines(TextStream& self, kvwin::DispatchCall& call) {
        long count = 0;
        if (!ArgLong(call, 0, 0, count) || count < 0 || count > kMostBlankLines)
            return FailWith(call, kInvalidArgument);
        std::u16string text;
        for (long i = 0; i < count; ++i)
            text += u"\r\n";
        return self.Put(call, text);
    }
    static HRESULT Close(TextStream& self, kvwin::DispatchCall&) {
        self.file_.Close();
        self.closed_ = true;
        std::u16string().swap(self.text_);
        self.held_.RefundAll();
        self.place_.pos = 0;
        return S_OK;
    }

  private:
    ~TextStream() override = default;

    void Decode(const std::vector<char>& bytes) {
        if (unicode_) {
            size_t start = bytes.size() >= 2 && (unsigned char)bytes[0] == 0xFF &&
                                   (unsigned char)bytes[1] == 0xFE
                               ? 2
                               : 0;
            for (size_t i = start; i + 1 < bytes.size(); i += 2)
                text_ += char16_t((unsigned char)bytes[i] | ((unsigned char)bytes[i + 1] << 8));
            return;
        }
        if (bytes.empty())
            return;
        int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), nullptr, 0);
        if (n <= 0)
            return;
        text_.resize(size_t(n));
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), text_.data(), n);
    }

    bool CanRead(kvwin::DispatchCall& call) {
        if (closed_ || mode_ != IoMode::Reading) {
            FailWith(call, kBadFileMode);
            return false;
        }
        return true;
    }

    // Moves over up to n characters, counting lines and columns; returns them.
    std::u16string Take(size_t n) { return place_.Take(text_, n); }

    HRESULT Put(kvwin::DispatchCall& call, const std::u16string& text) {
        if (closed_ || mode_ == IoMode::Reading)
            return FailWith(call, kBadFileMode);
        std::vector<char> bytes;
        if (unicode_) {
            bytes.reserve(text.size() * 2);
            for (char16_t c : text) {
                bytes.push_back(char(c & 0xFF));
                bytes.push_back(char(c >> 8));
            }
        } else if (!text.empty()) {
            int n = WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0,
                                        nullptr, nullptr);
            if (n <= 0)
                return FailWith(call, kInvalidArgument);
            bytes.resize(size_t(n));
            WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), bytes.data(), n, nullptr,
                                nullptr);
        }
        size_t done = 0;
        while (done < bytes.size()) {
            DWORD put = 0;
            if (!WriteFile(file_.get(), bytes.data() + done, DWORD(bytes.size() - done), &put,
                           nullptr) ||
                put == 0)
                return FailWithLastError(call, GetLastError());
            done += put;
        }
        place_.Pass(text);
        return S_OK;
    }

    FileHandle file_;
    IoMode mode_;
    bool unicode_;
    bool closed_ = false;
    std::u16string text_;     // a reading stream's text
    kvwin::HeldMemory held_;  // charged for text_
    TextPlace place_;
    ModuleRef module_ref_;
};

const kvwin::DispatchMember<TextStream> kMembers[] = {
    {u"Line", 10000, kGet, 0, 0, &TextStream::Line},
    {u"Column", -529, kGet, 0, 0, &TextStream::Column},
    {u"AtEndOfStream", 10002, kGet, 0, 0, &TextStream::AtEndOfStream},
    {u"AtEndOfLine", 10003, kGet, 0, 0, &TextStream::AtEndOfLine},
    {u"Read", 10004, kMethod, 1, 1, &TextStream::Read},
    {u"ReadLine", 10005, kMethod, 0, 0, &TextStream::ReadLine},
    {u"ReadAll", 10006, kMethod, 0, 0, &TextStream::ReadAll},
    {u"Write", 10007, kMethod, 1, 1, &TextStream::Write},
    {u"WriteLine", 10008, kMethod, 0, 1, &TextStream::WriteLine},
    {u"WriteBlankLines", 10009, kMethod, 1, 1, &TextStream::WriteBlankLines},
    {u"Skip", 10010, kMethod, 1, 1, &TextStream::Skip},
    {u"SkipLine", 10011, kMethod, 0, 0, &TextStream::SkipLine},
    {u"Close", 10012, kMethod, 0, 0, &TextStream::Close},
};

}  // namespace

std::span<const kvwin::DispatchMember<TextStream>> TextStream::DispatchMembers() {
    return kMembers;
}

HRESULT OpenTextStream(kvwin::DispatchCall& call, const std::u16string& path, IoMode mode,
                       bool create, bool overwrite, Tristate format) {
    const DWORD attributes = AttributesOf(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return FailWith(call, kPermissionDenied);
    DWORD access = GENERIC_WRITE;
    DWORD disposition = 0;
    switch (mode) {
        case IoMode::Reading:
            access = GENERIC_READ;
            disposition = create ? OPEN_ALWAYS : OPEN_EXISTING;
            break;
        case IoMode::Writing:
            if (!overwrite && attributes != INVALID_FILE_ATTRIBUTES)
                return FailWith(call, kFileExists);
            disposition = create ? CREATE_ALWAYS : TRUNCATE_EXISTING;
            break;
        case IoMode::Appending:
            disposition = create ? OPEN_ALWAYS : OPEN_EXISTING;
            break;
    }
    FileHandle file(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        return FailWithLastError(call, GetLastError());
    auto* stream = new TextStream(std::move(file), mode, format == Tristate::True);
    if (DWORD error = stream->Prepare()) {
        stream->Release();
        return FailWithLastError(call, error);
    }
    return kvwin::ReturnObject(call.Result(), stream);
}

}  // namespace kvscripting
