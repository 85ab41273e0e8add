#pragma once
// Threads that read the clipboard for the window: a program that renders its text late or never
// holds up a reader, never the window. One long-lived reader takes read after read; another is made
// only while every reader waits on a read.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class ClipboardReaders {
    struct Shared;

  public:
    // How a read ended. Only Text and Failed marked the content; the others left it unmarked, for
    // a later tick (or the next start) to look at again.
    enum class Outcome {
        Text,      // read and marked (the text may be empty)
        Failed,    // marked, but its text could not be read
        Refused,   // another program held the clipboard, the marker was refused, or the set closed
        Replaced,  // inside the opening it was no unexamined text any more
        Private,   // a password manager asked that it be kept nowhere
        OwnerBusy, // its owner answered no message: reading would have waited on it
    };
    struct Read {
        Outcome outcome = Outcome::Refused;
        DWORD sequence = 0; // the clipboard's sequence number inside the opening
        std::wstring text;
    };
    // What a read function is given on its reader's thread.
    class Handover {
      public:
        // Inside the read's opening, once the text is read: puts the marker with `mark` unless the
        // set has closed. Once marked, the read reaches the set's owner whatever follows: the lock
        // taken here is held until the read is delivered.
        bool Mark(const std::function<bool()>& mark);

      private:
        friend class ClipboardReaders;
        explicit Handover(Shared& shared) : shared_(shared) {}
        Shared& shared_;
        bool locked_ = false;
    };
    // Runs on the reader's thread; it must not throw.
    using ReadFunction = Read (*)(Handover&);

    // A new reader waits this long for the one before it; at most this many read at a time.
    static constexpr DWORD kPatienceMs = 2000;
    static constexpr size_t kMaxReaders = 4;

    // Each finished read is announced by posting this message to the window.
    ClipboardReaders(HWND window, UINT message);
    // Closes the set (Close); a reader still reading is left to end with the process.
    ~ClipboardReaders();
    ClipboardReaders(const ClipboardReaders&) = delete;
    ClipboardReaders& operator=(const ClipboardReaders&) = delete;

    // Starts a read of the content of this clipboard sequence number. Not while a read of that
    // content is under way, nor while one started less than kPatienceMs ago still reads, nor with
    // kMaxReaders reading: the content then stays unexamined for a later tick.
    bool Start(DWORD sequence, ReadFunction read);
    // The finished reads, each once, in the order they finished.
    std::vector<Read> TakeFinished();
    // Waits until no read is under way or the time is up; true when none is.
    bool WaitIdle(DWORD milliseconds);
    // Ends the set's work: nothing queued runs, no reader marks the clipboard from now on, and the
    // reads that finished are returned, once.
    std::vector<Read> Close();

  private:
    static DWORD WINAPI Run(void* shared);
    std::shared_ptr<Shared> shared_;
    std::uint64_t lastSerial_ = 0;
};
