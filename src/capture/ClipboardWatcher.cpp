// frmMain members: the capture cycle and the marker format's registration.
#include "ClipboardWatcher.h"

#include "../mainwindow/frmMain.h"
#include "../support/Application.h"
#include "../support/ClipboardText.h"
#include "../support/Errors.h"
#include "../support/Handles.h"
#include "../support/MessageBox.h"
#include "../support/SupportFunctions.h"
#include "../support/Text.h"
#include "ClipboardReaders.h"
#include "csGlobalAlloc.h"
#include "modCommon.h"

namespace {
UINT g_markerFormat = 0;
// Formats by which password managers mark content that no clipboard watcher should read.
UINT g_privateFormats[2] = {0, 0};
// The marker block's text, made once at registration: readers only read it.
std::string g_markerText;
ClipboardLock::OpenFunction g_openClipboard = OpenClipboard;
// Windows counts a window that has handled no message for this long as not responding.
constexpr UINT kOwnerAnswerMs = 5000;
} // namespace

void SetOpenClipboardForTesting(BOOL(WINAPI* open)(HWND)) {
    g_openClipboard = open ? open : OpenClipboard;
}

UINT MarkerFormat() {
    return g_markerFormat;
}

void frmMain::RegisterMarkerFormat() {
    if (g_markerFormat != 0) return;
    g_markerFormat = RegisterClipboardFormatA(ToAnsi(App().guid).c_str());
    if (g_markerFormat == 0) {
        MsgBox(L"Не удалось зарегистрировать формат буфера обмена. Таймер будет отключен.",
               MB_OK | MB_ICONERROR);
        tmrClipboardCheck.SetEnabled(false);
        return;
    }
    g_markerText = ToAnsi(App().guid);
    g_privateFormats[0] = RegisterClipboardFormatA("ExcludeClipboardContentFromMonitorProcessing");
    g_privateFormats[1] = RegisterClipboardFormatA("Clipboard Viewer Ignore");
}

namespace {
// Text that no cycle has examined and that no password manager asked watchers to leave alone.
// Asked without opening the clipboard at every tick, and again inside the reader's one opening.
bool IsUnexaminedText() {
    if (!IsClipboardFormatAvailable(CF_TEXT)) return false;
    if (IsClipboardFormatAvailable(g_markerFormat)) return false;
    for (UINT format : g_privateFormats) {
        if (format && IsClipboardFormatAvailable(format)) return false;
    }
    return true;
}

// A program may announce its text and render it only when a reader asks. One that answers no
// message would keep the reader waiting as long as it lives (Windows: 30 s, with the clipboard
// closed to everyone): its content is marked and left unread.
bool OwnerAnswers(HWND owner) {
    DWORD_PTR result = 0;
    return !owner || SendMessageTimeoutW(owner, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kOwnerAnswerMs, &result) != 0;
}

// On a reader's thread: one opening for the test, the marker and the read, so no other program
// can replace the content or hold the clipboard in between. Refused, or the content replaced since
// the tick, nothing is marked: a later tick starts a reader for what is there then.
std::wstring ReadUnexaminedText() noexcept {
    try {
        const HWND owner = GetClipboardOwner();
        const bool answers = OwnerAnswers(owner); // asked before opening: nobody waits on it
        csGlobalAlloc block;
        void* address = block.Alloc(g_markerText.size() + 4, false, true, false, false, false, true);
        if (!address) return {};
        lstrcpyA(static_cast<char*>(address), g_markerText.c_str());
        ClipboardLock clipboard(nullptr, g_openClipboard);
        if (!clipboard.IsOpen()) return {};
        if (!IsUnexaminedText() || GetClipboardOwner() != owner) return {};
        HGLOBAL handle = block.Detach();
        if (!SetClipboardData(g_markerFormat, handle)) {
            GlobalFree(handle); // refused: still ours
            return {};
        }
        if (!answers) return {};
        return TheClipboardText().ReadOpened();
    } catch (...) {
        return {}; // a failed read leaves the text empty
    }
}
} // namespace

void frmMain::tmrClipboardCheck_Timer() {
    RetryRefusedSave();
    // Before registration there is no marker to look for.
    if (g_markerFormat == 0) return;
    if (!IsUnexaminedText()) return;
    if (!readers_) readers_ = std::make_unique<ClipboardReaders>(Handle(), kClipboardReadMessage);
    readers_->Start(GetClipboardSequenceNumber(), ReadUnexaminedText);
}

void frmMain::TakeClipboardReads() {
    if (!readers_) return;
    for (ClipboardReaders::Read& read : readers_->TakeFinished()) {
        // A reader that waited on a slow program comes back after newer content was collected.
        if (read.serial < lastCollectedRead_) continue;
        if (CollectLink(std::move(read.text))) lastCollectedRead_ = read.serial;
    }
}

bool frmMain::WaitForClipboardReads(DWORD milliseconds) {
    const bool idle = !readers_ || readers_->WaitIdle(milliseconds);
    TakeClipboardReads();
    return idle;
}

bool frmMain::CollectLink(std::wstring text) {
    bool stop = false;
    Step([&] { stop = text.empty(); });
    if (stop) return false;
    Step([&] { stop = !IsLinkText(text, true, false); });
    if (stop) return false;
    // A length test: the list's text itself is not needed.
    Step([&] {
        if (txtURLs.TextLength() != 0) text.insert(0, L"\r\n");
    });
    Step([&] { asTextBoxAddText(txtURLs.Handle(), text); });
    Step([&] { SaveURLs(true); });
    Step([&] { Sound(pcSpeakerBeep_); });
    return true;
}
