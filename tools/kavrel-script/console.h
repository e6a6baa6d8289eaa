// The console as the scripts see it: text written to standard output and error in UTF-8,
// text read from standard input, and the signal that ends a wait when the run is stopped.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

// Raised once when the run is to stop; waits that a script started (WScript.Sleep, reading
// standard input) end when it is raised.
//
// Thread safety: Raise may be called from any thread (it is async-signal-safe); the waits
// from any thread.
class StopSignal {
  public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    void Raise() noexcept;
    bool IsRaised() const noexcept;
    // Waits up to ms milliseconds (forever for a negative ms); true when the signal was raised.
    bool Wait(int ms) const noexcept;
    // A descriptor that becomes readable once the signal is raised, for poll.
    int Descriptor() const noexcept { return pipe_[0]; }

  private:
    int pipe_[2] = {-1, -1};
};

// One output stream (standard output or error). Each Write goes out whole, so lines written
// from two threads do not mix.
//
// Thread safety: any thread; writes are serialised by a lock.
class ConsoleOutput {
  public:
    explicit ConsoleOutput(int descriptor) : descriptor_(descriptor) {}
    ConsoleOutput(const ConsoleOutput&) = delete;
    ConsoleOutput& operator=(const ConsoleOutput&) = delete;

    void Write(std::u16string_view text);
    void WriteUtf8(std::string_view text);

  private:
    std::mutex lock_;
    int descriptor_;
};

// Standard input, read as UTF-8 text. Every read ends early when the stop signal is raised.
//
// Thread safety: one thread (the script's) at a time.
class ConsoleInput {
  public:
    ConsoleInput(int descriptor, const StopSignal& stop) : descriptor_(descriptor), stop_(stop) {}
    ConsoleInput(const ConsoleInput&) = delete;
    ConsoleInput& operator=(const ConsoleInput&) = delete;

    enum class Outcome { Read, EndOfStream, Stopped };

    // The next line without its line break ("\n" or "\r\n").
    Outcome ReadLine(std::u16string& line);
    // Everything up to the end of the stream.
    Outcome ReadAll(std::u16string& text);
    // Whether the stream has nothing more; waits for input to decide, as a console does.
    Outcome AtEnd(bool& atEnd);

  private:
    // Reads more into the buffer; Read when bytes came, EndOfStream at its end.
    Outcome Fill();

    int descriptor_;
    const StopSignal& stop_;
    std::string buffer_;
    bool ended_ = false;
};
