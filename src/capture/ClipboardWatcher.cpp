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

#include <optional>

namespace {
UINT g_markerFormat = 0;
// Formats by which password managers mark content that no clipboard watcher should read.
UINT g_privateFormats[2] = {0, 0};
// Formats holding a DWORD by which they allow (1) or forbid (0) keeping the content anywhere.
UINT g_consentFormats[2] = {0, 0};
// The marker block's text, made once at registration. A plain array: a reader still at work while
// the process ends never finds it destroyed.
char g_markerText[64] = {};
ClipboardLock::OpenFunction g_openClipboard = OpenClipboard;
// Windows counts a window that has handled no message for this long as not responding.
constexpr UINT kOwnerAnswerMs = 5000;
// Tries to open the clipboard while another program holds it, a millisecond apart.
constexpr int kOpenAttempts = 100;
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
    lstrcpynA(g_markerText, ToAnsi(App().guid).c_str(), sizeof(g_markerText));
    g_privateFormats[0] = RegisterClipboardFormatA("ExcludeClipboardContentFromMonitorProcessing");
    g_privateFormats[1] = RegisterClipboardFormatA("Clipboard Viewer Ignore");
    g_consentFormats[0] = RegisterClipboardFormatA("CanIncludeInClipboardHistory");
    g_consentFormats[1] = RegisterClipboardFormatA("CanUploadToCloudClipboard");
}

namespace {
// Text that no cycle has examined and that no password manager asked watchers to leave alone.
// Asked without opening the clipboard at every tick and notice, and again inside the reader's one opening.
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
// closed to everyone): its content is left for a later tick, when it may answer.
bool OwnerAnswers(HWND owner) {
    DWORD_PTR result = 0;
    return !owner ||
           SendMessageTimeoutW(owner, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kOwnerAnswerMs, &result) != 0;
}

// Another watcher (a clipboard history) may hold the clipboard for a moment after each change.
BOOL WINAPI OpenWithinAMoment(HWND owner) {
    for (int attempt = 0;; ++attempt) {
        if (g_openClipboard(owner)) return TRUE;
        if (attempt == kOpenAttempts) return FALSE;
        Sleep(1);
    }
}

// Inside the opening: any consent format holding 0 forbids keeping the content; one that can't be
// read as a DWORD is no consent either.
bool ForbidsKeeping() {
    for (UINT format : g_consentFormats) {
        if (!format || !IsClipboardFormatAvailable(format)) continue;
        HANDLE data = GetClipboardData(format);
        if (!data || GlobalSize(data) < sizeof(DWORD)) return true;
        GlobalLockGuard lock(data);
        DWORD allowed = 0;
        if (!lock.Get()) return true;
        CopyMemory(&allowed, lock.Get(), sizeof(allowed));
        if (allowed == 0) return true;
    }
    return false;
}

// On a reader's thread: one opening for the test, the read and the marker, so no other program
// can replace the content or hold the clipboard in between. The marker goes on last, together with
// the handover of the text: a read that is cut short (a close, the end of the process) leaves the
// content unmarked for the next start. Whatever is left unmarked, a later tick looks at again.
void ReadUnexaminedText(ClipboardReaders::Handover& handover) noexcept {
    HGLOBAL marker = nullptr;
    bool markerTaken = false;
    try {
        // Asked for a while ago, it may have been read meanwhile.
        if (!IsUnexaminedText()) return;
        const HWND owner = GetClipboardOwner();
        if (!OwnerAnswers(owner)) return; // asked before opening: nobody waits on it
        csGlobalAlloc block;
        void* address = block.Alloc(lstrlenA(g_markerText) + 4, false, true, false, false, false, true);
        if (!address) return;
        lstrcpyA(static_cast<char*>(address), g_markerText);
        ClipboardLock clipboard(nullptr, OpenWithinAMoment);
        if (!clipboard.IsOpen()) return;
        const DWORD sequence = GetClipboardSequenceNumber();
        // Replaced by another program's content in the meantime: that content's own look reads it.
        if (!IsUnexaminedText() || GetClipboardOwner() != owner) return;
        if (ForbidsKeeping()) {
            handover.LeaveAlone(sequence);
            return;
        }
        std::optional<std::wstring> text;
        try {
            text = TheClipboardText().ReadOpened();
        } catch (...) {
            text.emplace(); // marked all the same: it is not read again and again
        }
        if (!text) return; // its owner did not render it: no read, it is asked again later
        marker = block.Detach();
        handover.MarkAndDeliver(std::move(*text), [&] {
            return markerTaken = SetClipboardData(g_markerFormat, marker) != nullptr;
        });
    } catch (...) {
    }
    if (marker && !markerTaken) GlobalFree(marker); // not taken: still ours
}
} // namespace

void frmMain::StartCapture() {
    if (readers_ || g_markerFormat == 0) return; // unregistered: nothing could mark what it reads
    readers_ = std::make_unique<ClipboardReaders>(Handle(), kClipboardReadMessage, ReadUnexaminedText,
                                                  IsUnexaminedText);
    readers_->Listen(); // without the notices the ticks still look, four times a second
}

void frmMain::StopCapture() {
    if (!readers_) return;
    // A read that its owner finishes within a moment is kept; one still waiting after that has
    // marked nothing, and the next start takes its content.
    readers_->WaitIdle(kCloseReadWaitMs);
    std::vector<std::wstring> texts = readers_->Close();
    readers_.reset();
    CollectLinks(std::move(texts));
}

void frmMain::tmrClipboardCheck_Timer() {
    RetryRefusedSave();
    // Before registration, and once a close has stopped capture, nothing is read.
    if (!readers_ || !IsUnexaminedText()) return;
    readers_->Start(GetClipboardSequenceNumber());
}

void frmMain::TakeClipboardReads() {
    if (readers_) CollectLinks(readers_->TakeFinished());
}

bool frmMain::WaitForClipboardReads(DWORD milliseconds) {
    const bool idle = !readers_ || readers_->WaitIdle(milliseconds);
    TakeClipboardReads();
    return idle;
}

// Every text a reader brings back was marked by it alone. The links of the texts taken together
// are appended in the order they arrived, saved once, and greeted with one beep.
void frmMain::CollectLinks(std::vector<std::wstring> texts) {
    std::wstring links;
    for (std::wstring& text : texts) {
        bool isLink = false;
        Step([&] { isLink = !text.empty() && IsLinkText(text, true, false); });
        if (!isLink) continue;
        // A length test: the list's text itself is not needed.
        Step([&] {
            if (!links.empty() || txtURLs.TextLength() != 0) links += L"\r\n";
            links += WithoutFinalLineBreak(text);
        });
    }
    if (links.empty()) return;
    // The list on disk first, in the window after: under Wine, appending to a visible list took
    // several times as long as the save. A write refused now is tried again by the save below.
    bool saved = false;
    Step([&] {
        const std::wstring list = txtURLs.Text() + links;
        saved = WriteURLs(&list);
    });
    Step([&] { asTextBoxAddText(txtURLs.Handle(), links); });
    if (!saved) Step([&] { SaveURLs(true); });
    Step([&] { Sound(pcSpeakerBeep_); });
}
