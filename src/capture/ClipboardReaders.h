#pragma once
// Threads that read the clipboard for the window: a program that renders its text late or never
// holds up a reader, never the window. One long-lived reader takes read after read; another is made
// only while every reader waits on a read.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class ClipboardReaders {
  public:
    // What one reader brought back: empty text when there was nothing to take.
    struct Read {
        std::uint64_t serial; // readers are numbered in the order they started
        std::wstring text;
    };
    // Runs on the reader's thread; it must not throw.
    using ReadFunction = std::wstring (*)();

    // A new reader waits this long for the one before it; at most this many read at a time.
    static constexpr DWORD kPatienceMs = 2000;
    static constexpr size_t kMaxReaders = 4;

    // Each finished read is announced by posting this message to the window.
    ClipboardReaders(HWND window, UINT message);
    // Readers waiting for work end; one still reading is left to end with the process, and what it
    // brings back is dropped.
    ~ClipboardReaders();
    ClipboardReaders(const ClipboardReaders&) = delete;
    ClipboardReaders& operator=(const ClipboardReaders&) = delete;

    // Starts a reader for the content of this clipboard sequence number. Not while a reader
    // already reads that content, nor while one started less than kPatienceMs ago still reads,
    // nor with kMaxReaders reading: the content then stays unexamined for a later tick.
    bool Start(DWORD sequence, ReadFunction read);
    // The finished reads, each once, in the order they started.
    std::vector<Read> TakeFinished();
    // Waits until no reader runs or the time is up; true when none runs.
    bool WaitIdle(DWORD milliseconds);

  private:
    struct Shared;
    static DWORD WINAPI Run(void* shared);
    std::shared_ptr<Shared> shared_;
    std::uint64_t lastSerial_ = 0;
};
