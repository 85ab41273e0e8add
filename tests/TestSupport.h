#pragma once
// Helpers shared by the tests: temporary folders, scripted message boxes, threads that answer
// real dialogs, and a pump for the window messages.
#include "support/Application.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

// True only inside the sandbox that ./quenlit test makes (its own Wine prefix): there alone may a
// test use the real data folder and the real settings key.
bool InTestSandbox();
// Every test process runs under a test identity (a product name of its own), so whatever goes
// through the application object never reaches the user's settings. This is the shipped one.
const Application& ShippedIdentity();
// The registry key, under HKEY_CURRENT_USER, of the identity in force.
std::wstring SettingsKey();
// Removes the settings of a test identity, and the company's key when that is left empty.
void RemoveTestSettings(const Application& app = App());

// A fresh folder under %TEMP%, removed with everything in it at the end.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    const std::wstring& Path() const { return path_; }
    std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

  private:
    std::wstring path_;
};

void RemoveTree(const std::wstring& path);
// The names of the files (not folders) in a folder, sorted.
std::vector<std::wstring> FileNames(const std::wstring& folder);
std::string ReadBytes(const std::wstring& path);
void WriteBytes(const std::wstring& path, const std::string& bytes);

// Answers the program's message boxes in order, recording what each showed.
class ScriptedBoxes {
  public:
    struct Shown {
        std::wstring text;
        std::wstring caption;
        UINT type;
    };
    explicit ScriptedBoxes(std::vector<int> answers);
    ~ScriptedBoxes();
    const std::vector<Shown>& Seen() const { return seen_; }
    // Runs before a box is answered: lets a test change the world in the middle of a prompt.
    std::function<void(size_t index)> onShow;

  private:
    std::vector<int> answers_;
    std::vector<Shown> seen_;
};

// Pumps window messages for this long.
void PumpFor(DWORD milliseconds);
// Pumps until the predicate holds or the time is up; the predicate's last answer.
bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds = 5000);

// Puts text on the clipboard as another program would (empty the clipboard, then set it), marked
// so that the shipped program, if it runs, leaves it alone.
void PutClipboardText(const std::wstring& text);
// The same, into a clipboard this thread holds open already, with empty blocks of further formats.
void SetClipboardText(const std::wstring& text, std::initializer_list<UINT> extraFormats = {});

// Another clipboard watcher (a history, a sync tool), on a thread with its own window: after every
// change of the content it opens the clipboard, runs its reaction and holds it for holdMs.
class ClipboardMonitor {
  public:
    // Runs on the monitor's thread, with the clipboard open for the monitor's window.
    using Reaction = std::function<void()>;
    explicit ClipboardMonitor(DWORD holdMs, Reaction react = nullptr);
    ~ClipboardMonitor();
    ClipboardMonitor(const ClipboardMonitor&) = delete;
    ClipboardMonitor& operator=(const ClipboardMonitor&) = delete;

  private:
    static DWORD WINAPI Run(void* self);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    DWORD holdMs_;
    Reaction react_;
    HANDLE ready_, thread_;
};

// Another "program" holding the clipboard open, from a thread with its own window that answers
// messages meanwhile, until Release() or until the given time has passed. Given a text, it copies
// that first and keeps the clipboard open after.
class ClipboardHolder {
  public:
    explicit ClipboardHolder(DWORD holdMs = INFINITE, std::wstring text = L"");
    ~ClipboardHolder();
    void Release();

  private:
    static DWORD WINAPI Run(void* self);
    DWORD holdMs_;
    std::wstring text_;
    HANDLE opened_, release_, thread_;
};

// Another program that announces text on the clipboard and renders it only when a reader asks:
// renderMs after the request, answering other messages meanwhile; with 0 it puts the text itself at
// once; with INFINITE never, its thread answering no message at all (a hung program) until this
// object is destroyed. After copying it is busy for busyMs, answering no message. The first
// failedRenders requests it answers without rendering. Marked as seen for the shipped program
// unless the shipped program is what is tried (the soak).
class DelayedTextOwner {
  public:
    DelayedTextOwner(std::wstring text, DWORD renderMs, bool hideFromShipped = true, DWORD busyMs = 0,
                     int failedRenders = 0);
    ~DelayedTextOwner();
    DelayedTextOwner(const DelayedTextOwner&) = delete;
    DelayedTextOwner& operator=(const DelayedTextOwner&) = delete;

  private:
    static DWORD WINAPI Run(void* self);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    std::wstring text_;
    DWORD renderMs_;
    bool hideFromShipped_;
    DWORD busyMs_;
    int failedRenders_;
    HANDLE ready_, stop_, thread_;
};

// A visible top-level window of this process, of this class, with this caption unless the caption
// is empty, and owned by this window when one is given; null when there is none. Other programs'
// windows are never looked at: a developer's editor may have a "Save As" of its own open.
HWND FindOwnWindow(const wchar_t* windowClass, const std::wstring& caption, HWND owner = nullptr);
inline HWND FindOwnDialog(const std::wstring& caption, HWND owner = nullptr) {
    return FindOwnWindow(L"#32770", caption, owner);
}
// The system's dialogs (Save As, its overwrite prompt) carry captions in the system's language.
inline const std::wstring kAnyCaption;

// On a thread of its own, waits for a dialog of this process (FindOwnDialog) and acts on it, as a
// person answering a real box would.
class DialogAnswerer {
  public:
    DialogAnswerer(std::wstring caption, std::function<void(HWND)> act, DWORD timeoutMs = 15000);
    ~DialogAnswerer();
    bool Answered() const { return answered_; }
    // The texts of the dialog's static controls, as seen before acting.
    const std::wstring& SeenText() const { return seenText_; }

  private:
    HANDLE thread_ = nullptr;
    std::wstring caption_;
    std::function<void(HWND)> act_;
    DWORD timeoutMs_;
    std::atomic<bool> answered_{false};
    std::wstring seenText_;
    static DWORD WINAPI Run(void* self);
};

// Presses a dialog's button as a click would.
void ClickButton(HWND dialog, int id);
