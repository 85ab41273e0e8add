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
// Formats holding a DWORD by which they allow (1) or forbid (0) keeping the content anywhere.
UINT g_consentFormats[2] = {0, 0};
// The marker block's text, made once at registration. A plain array: a reader still at work while
// the process ends never finds it destroyed.
char g_markerText[64] = {};
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
    lstrcpynA(g_markerText, ToAnsi(App().guid).c_str(), sizeof(g_markerText));
    g_privateFormats[0] = RegisterClipboardFormatA("ExcludeClipboardContentFromMonitorProcessing");
    g_privateFormats[1] = RegisterClipboardFormatA("Clipboard Viewer Ignore");
    g_consentFormats[0] = RegisterClipboardFormatA("CanIncludeInClipboardHistory");
    g_consentFormats[1] = RegisterClipboardFormatA("CanUploadToCloudClipboard");
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
// closed to everyone): its content is left for a later tick, when it may answer.
bool OwnerAnswers(HWND owner) {
    DWORD_PTR result = 0;
    return !owner || SendMessageTimeoutW(owner, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kOwnerAnswerMs, &result) != 0;
}

// Inside the opening: a consent format holding 0 forbids keeping the content; one that can't be
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
// can replace the content or hold the clipboard in between. The marker goes on last: a read that
// is cut short (a close, the end of the process) leaves the content unmarked for the next start.
ClipboardReaders::Read ReadUnexaminedText(ClipboardReaders::Handover& handover) noexcept {
    using Outcome = ClipboardReaders::Outcome;
    try {
        const HWND owner = GetClipboardOwner();
        if (!OwnerAnswers(owner)) return {Outcome::OwnerBusy}; // asked before opening: nobody waits on it
        csGlobalAlloc block;
        void* address = block.Alloc(lstrlenA(g_markerText) + 4, false, true, false, false, false, true);
        if (!address) return {Outcome::Refused};
        lstrcpyA(static_cast<char*>(address), g_markerText);
        ClipboardLock clipboard(nullptr, g_openClipboard);
        if (!clipboard.IsOpen()) return {Outcome::Refused};
        ClipboardReaders::Read read{Outcome::Text, GetClipboardSequenceNumber()};
        if (!IsUnexaminedText() || GetClipboardOwner() != owner) return {Outcome::Replaced, read.sequence};
        if (ForbidsKeeping()) return {Outcome::Private, read.sequence};
        try {
            read.text = TheClipboardText().ReadOpened();
        } catch (...) {
            read.outcome = Outcome::Failed; // marked all the same: it is not read again and again
        }
        HGLOBAL handle = block.Detach();
        if (!handover.Mark([&] { return SetClipboardData(g_markerFormat, handle) != nullptr; })) {
            GlobalFree(handle); // not taken: still ours
            return {Outcome::Refused, read.sequence};
        }
        return read;
    } catch (...) {
        return {Outcome::Refused}; // nothing was marked
    }
}
} // namespace

void frmMain::tmrClipboardCheck_Timer() {
    RetryRefusedSave();
    // Before registration there is no marker to look for.
    if (g_markerFormat == 0) return;
    if (!IsUnexaminedText()) return;
    // Content that asked to be kept nowhere is not opened again at every tick.
    const DWORD sequence = GetClipboardSequenceNumber();
    if (privateSequence_ && *privateSequence_ == sequence) return;
    if (!readers_) readers_ = std::make_unique<ClipboardReaders>(Handle(), kClipboardReadMessage);
    readers_->Start(sequence, ReadUnexaminedText);
}

void frmMain::TakeClipboardReads() {
    if (!readers_) return;
    for (ClipboardReaders::Read& read : readers_->TakeFinished())
        CollectRead(std::move(read));
}

// Every text a reader brings back was marked by it alone: each is collected, as it arrives.
void frmMain::CollectRead(ClipboardReaders::Read read) {
    if (read.outcome == ClipboardReaders::Outcome::Private) privateSequence_ = read.sequence;
    if (read.outcome == ClipboardReaders::Outcome::Text) CollectLink(std::move(read.text));
}

bool frmMain::WaitForClipboardReads(DWORD milliseconds) {
    const bool idle = !readers_ || readers_->WaitIdle(milliseconds);
    TakeClipboardReads();
    return idle;
}

void frmMain::StopCapture() {
    if (!readers_) return;
    // A read that its owner finishes within a moment is kept; one still waiting after that has
    // marked nothing, and the next start takes its content.
    readers_->WaitIdle(kCloseReadWaitMs);
    for (ClipboardReaders::Read& read : readers_->Close())
        CollectRead(std::move(read));
    readers_.reset();
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
    const bool appended = Step([&] { asTextBoxAddText(txtURLs.Handle(), text); });
    Step([&] { SaveURLs(true); });
    Step([&] { Sound(pcSpeakerBeep_); });
    return appended;
}
