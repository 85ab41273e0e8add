#pragma once
// Threads that read the clipboard for the window. A listener hears every change of the clipboard
// and has it read at once, whatever the window is doing: content that lives a moment (links copied
// one after another) is read before the next copy replaces it. A program that renders its text
// late or never holds up a reader, never the window: one long-lived reader takes read after read,
// and another is made only while every reader has waited on its read for a while.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class ClipboardReaders {
    struct Shared;

  public:
    // What the read function is given on its reader's thread.
    class Handover {
      public:
        // Inside the read's opening, once the text is read: marks the content with `mark` and
        // hands the text to the set's owner, both under the set's lock, so that a close comes
        // before the two or after them. False, and nothing marked, once the set has closed or
        // when `mark` fails.
        bool MarkAndDeliver(std::wstring text, const std::function<bool()>& mark);
        // Content that asked to be kept nowhere: no read of it is started again.
        void LeaveAlone(DWORD sequence);

      private:
        friend class ClipboardReaders;
        explicit Handover(Shared& shared) : shared_(shared) {}
        Shared& shared_;
    };
    // Reads the clipboard's content on a reader's thread; it must not throw.
    using ReadFunction = void (*)(Handover&);
    // Tells, without opening the clipboard, whether its content wants a read; on the listener's thread.
    using LookFunction = bool (*)();

    // A read waits behind a busy reader until that one has read for this long; at most this many
    // readers read at a time.
    static constexpr DWORD kPatienceMs = 2000;
    static constexpr size_t kMaxReaders = 4;

    // Each delivered text is announced by posting this message to the window.
    ClipboardReaders(HWND window, UINT message, ReadFunction read, LookFunction look);
    // Closes the set (Close); a reader still reading is left to end with the process.
    ~ClipboardReaders();
    ClipboardReaders(const ClipboardReaders&) = delete;
    ClipboardReaders& operator=(const ClipboardReaders&) = delete;

    // Starts the listener's thread, which starts a read at every change that `look` finds worth
    // one; false when the system would not tell it of changes (the caller's ticks still look).
    bool Listen();
    // Asks for a read of the content of this clipboard sequence number. Refused while a reader
    // reads that content, or when it asked to be left alone. A read that finds every reader busy
    // waits for the next free one, and reads the content that is there by then.
    bool Start(DWORD sequence);
    // The delivered texts, each once, in the order they were delivered.
    std::vector<std::wstring> TakeFinished();
    // Waits until no read is asked for or under way, or the time is up; true when none is.
    bool WaitIdle(DWORD milliseconds);
    // Ends the set's work: the listener stops, no read starts and no reader marks the clipboard
    // from now on; the texts delivered until now are returned, once.
    std::vector<std::wstring> Close();

  private:
    std::shared_ptr<Shared> shared_;
};
