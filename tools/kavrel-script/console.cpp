// The scripts' console.
#include "console.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "kvwin/utf.h"

StopSignal::StopSignal() {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0)
        pipe_[0] = pipe_[1] = -1;
}

StopSignal::~StopSignal() {
    for (int fd : pipe_) {
        if (fd >= 0)
            ::close(fd);
    }
}

void StopSignal::Raise() noexcept {
    if (pipe_[1] >= 0) {
        const char byte = 1;
        // A full pipe already holds a byte: the signal stays raised either way.
        [[maybe_unused]] const ssize_t written = ::write(pipe_[1], &byte, 1);
    }
}

bool StopSignal::IsRaised() const noexcept {
    return Wait(0);
}

bool StopSignal::Wait(int ms) const noexcept {
    if (pipe_[0] < 0)
        return false;
    pollfd entry{pipe_[0], POLLIN, 0};
    for (;;) {
        const int ready = ::poll(&entry, 1, ms);
        if (ready >= 0)
            return ready > 0;
        if (errno != EINTR)
            return false;
        // A signal (Ctrl-C) broke the wait; it raises the stop on its own road. Waiting on
        // for the whole time again is what a console host does too.
    }
}

void ConsoleOutput::Write(std::u16string_view text) {
    WriteUtf8(kvwin::ToUtf8(text));
}

void ConsoleOutput::WriteUtf8(std::string_view text) {
    std::lock_guard<std::mutex> guard(lock_);
    while (!text.empty()) {
        const ssize_t written = ::write(descriptor_, text.data(), text.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;  // a closed or full device: the text is lost, as on a console
        text.remove_prefix(static_cast<size_t>(written));
    }
}

ConsoleInput::Outcome ConsoleInput::Fill() {
    if (ended_)
        return Outcome::EndOfStream;
    pollfd entries[2] = {{descriptor_, POLLIN, 0}, {stop_.Descriptor(), POLLIN, 0}};
    const nfds_t count = stop_.Descriptor() >= 0 ? 2 : 1;
    for (;;) {
        if (stop_.IsRaised())
            return Outcome::Stopped;
        const int ready = ::poll(entries, count, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            ended_ = true;
            return Outcome::EndOfStream;
        }
        if (count == 2 && entries[1].revents)
            return Outcome::Stopped;
        if (entries[0].revents == 0)
            continue;
        char chunk[65536];
        const ssize_t got = ::read(descriptor_, chunk, sizeof chunk);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0) {
            ended_ = true;
            return Outcome::EndOfStream;
        }
        buffer_.append(chunk, static_cast<size_t>(got));
        return Outcome::Read;
    }
}

ConsoleInput::Outcome ConsoleInput::ReadLine(std::u16string& line) {
    size_t searched = 0;
    for (;;) {
        const size_t end = buffer_.find('\n', searched);
        if (end != std::string::npos) {
            const size_t length = end > 0 && buffer_[end - 1] == '\r' ? end - 1 : end;
            line = kvwin::FromUtf8(std::string_view(buffer_).substr(0, length));
            buffer_.erase(0, end + 1);
            return Outcome::Read;
        }
        searched = buffer_.size();
        const Outcome filled = Fill();
        if (filled == Outcome::Stopped)
            return filled;
        if (filled == Outcome::EndOfStream) {
            if (buffer_.empty())
                return Outcome::EndOfStream;
            line = kvwin::FromUtf8(buffer_);  // the last line, without a line break
            buffer_.clear();
            return Outcome::Read;
        }
    }
}

ConsoleInput::Outcome ConsoleInput::ReadAll(std::u16string& text) {
    for (;;) {
        const Outcome filled = Fill();
        if (filled == Outcome::Stopped)
            return filled;
        if (filled == Outcome::EndOfStream)
            break;
    }
    text = kvwin::FromUtf8(buffer_);
    buffer_.clear();
    return Outcome::Read;
}

ConsoleInput::Outcome ConsoleInput::AtEnd(bool& atEnd) {
    while (buffer_.empty()) {
        const Outcome filled = Fill();
        if (filled == Outcome::Stopped)
            return filled;
        if (filled == Outcome::EndOfStream)
            break;
    }
    atEnd = buffer_.empty();
    return Outcome::Read;
}
