#include "ClipboardWatcher.h"

#include "../mainwindow/frmMain.h"
#include "../support/Application.h"
#include "../support/ClipboardText.h"
#include "../support/Errors.h"
#include "../support/Handles.h"
#include "../support/MessageBox.h"
#include "../support/SupportFunctions.h"
#include "../support/Text.h"
#include "csGlobalAlloc.h"
#include "modCommon.h"

namespace {
UINT g_markerFormat = 0;
// Formats by which password managers mark content that no clipboard watcher should read.
UINT g_privateFormats[2] = {0, 0};
ClipboardLock::OpenFunction g_openClipboard = OpenClipboard;
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
    g_privateFormats[0] = RegisterClipboardFormatA("ExcludeClipboardContentFromMonitorProcessing");
    g_privateFormats[1] = RegisterClipboardFormatA("Clipboard Viewer Ignore");
}

namespace {
// Text that no cycle has examined and that no password manager asked watchers to leave alone.
// Asked without opening the clipboard at every tick, and again inside the cycle's one opening.
bool IsUnexaminedText() {
    if (!IsClipboardFormatAvailable(CF_TEXT)) return false;
    if (IsClipboardFormatAvailable(g_markerFormat)) return false;
    for (UINT format : g_privateFormats) {
        if (format && IsClipboardFormatAvailable(format)) return false;
    }
    return true;
}
} // namespace

void frmMain::tmrClipboardCheck_Timer() {
    // A link whose save was refused is written as soon as the file can be replaced again.
    if (listUnsaved_ && ++ticksSinceRefusedSave_ % 8 == 0) SaveURLs(true);
    // Before registration there is no marker to look for.
    if (g_markerFormat == 0) return;
    if (!IsUnexaminedText()) return;

    static const std::string marker = ToAnsi(App().guid);
    csGlobalAlloc block;
    void* address = block.Alloc(marker.size() + 4, false, true, false, false, false, true);
    if (!address) return;
    lstrcpyA(static_cast<char*>(address), marker.c_str());
    std::wstring text;
    {
        // One opening for the tests, the marker and the read: no other program can replace the
        // content or hold the clipboard in between. Refused, nothing is marked: the next tick tries.
        ClipboardLock clipboard(nullptr, g_openClipboard);
        if (!clipboard.IsOpen()) return;
        if (!IsUnexaminedText()) return; // the content changed since the test above
        HGLOBAL handle = block.Detach();
        if (!SetClipboardData(g_markerFormat, handle)) {
            GlobalFree(handle); // refused: still ours
            return;
        }
        Step([&] { text = TheClipboardText().ReadOpened(); });
    }

    bool stop = false;
    Step([&] { stop = text.empty(); });
    if (stop) return;
    Step([&] { stop = !IsLinkText(text, true, false); });
    if (stop) return;
    // A length test: the list's text itself is not needed.
    Step([&] {
        if (txtURLs.TextLength() != 0) text.insert(0, L"\r\n");
    });
    Step([&] { asTextBoxAddText(txtURLs.Handle(), text); });
    Step([&] { SaveURLs(true); });
    Step([&] { Sound(pcSpeakerBeep_); });
}
