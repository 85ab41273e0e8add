// frmMain members: the stored placement and options.
#include "frmMain.h"

#include "../support/SettingsStore.h"

namespace {
const wchar_t kPlacement[] = L"Window placement";
const wchar_t kPCSpeakerBeep[] = L"PC Speaker Beep";
const wchar_t kMonospaceFont[] = L"Monospace Font";
const wchar_t kThickBorder[] = L"Thick Border";
} // namespace

void frmMain::LoadSettings() {
    SettingsStore store(App());
    store.LoadWindowPlacement(L"", kPlacement, *this);
    pcSpeakerBeep_ = store.GetBool(L"", kPCSpeakerBeep, false);
    monospaceFont_ = store.GetBool(L"", kMonospaceFont, false);
    thickBorder_ = store.GetBool(L"", kThickBorder, false);
    UpdateMenuChecks();
    ApplyListFont();
    Form_Resize();
}

void frmMain::SaveSettings() {
    SettingsStore store(App());
    store.SaveWindowPlacement(L"", kPlacement, *this);
    store.SetBool(L"", kPCSpeakerBeep, pcSpeakerBeep_);
    store.SetBool(L"", kMonospaceFont, monospaceFont_);
    store.SetBool(L"", kThickBorder, thickBorder_);
}
