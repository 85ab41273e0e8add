// frmMain members: the system menu and its commands.
#include "frmMain.h"

#include "../support/AboutBox.h"
#include "../support/SupportFunctions.h"
#include "../support/Text.h"

namespace {
struct MenuItem {
    UINT id;
    const wchar_t* text; // null for a separator
};

const MenuItem kMenuItems[] = {
    {kCmdSeparator1, nullptr},
    {kCmdSaveVODE, L"Save VODE file...\tF2"},
    {kCmdSeparator2, nullptr},
    {kCmdPCSpeakerBeep, L"PC speaker beep"},
    {kCmdMonospaceFont, L"Monospace font"},
    {kCmdThickBorder, L"Thick border"},
    {kCmdSeparator3, nullptr},
    {kCmdHelp, L"Help\tF1"},
    {kCmdAbout, L"About...\tShift+F1"},
};

const wchar_t kCredit[] = L"Collects the web links you copy, one per line, and keeps them for you.";

void SetChecked(HMENU menu, UINT id, bool checked) {
    MENUITEMINFOA info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STATE;
    info.fState = checked ? MFS_CHECKED : 0;
    SetMenuItemInfoA(menu, id, FALSE, &info);
}
} // namespace

void frmMain::BuildSystemMenu() {
    HMENU menu = GetSystemMenu(Handle(), FALSE);
    for (const MenuItem& item : kMenuItems) {
        if (item.text)
            AppendMenuA(menu, MF_STRING, item.id, ToAnsi(item.text).c_str());
        else
            AppendMenuA(menu, MF_SEPARATOR, item.id, "");
    }
}

void frmMain::RemoveSystemMenuItems() {
    HMENU menu = GetSystemMenu(Handle(), FALSE);
    for (const MenuItem& item : kMenuItems)
        RemoveMenu(menu, item.id, MF_BYCOMMAND);
}

void frmMain::UpdateMenuChecks() {
    HMENU menu = GetSystemMenu(Handle(), FALSE);
    SetChecked(menu, kCmdPCSpeakerBeep, pcSpeakerBeep_);
    SetChecked(menu, kCmdMonospaceFont, monospaceFont_);
    SetChecked(menu, kCmdThickBorder, thickBorder_);
}

void frmMain::StartSubclassing() {
    wyndrel_ = std::make_unique<Wyndrel>();
    wyndrel_->SetHWnd(Handle());
    wyndrel_->SetCallback(this);
}

void frmMain::StopSubclassing() {
    if (!wyndrel_) return;
    wyndrel_->SetCallback(nullptr);
    wyndrel_->SetHWnd(nullptr);
    wyndrel_.reset();
}

HRESULT frmMain::WindowProc(Wyndrel& wyndrelObject, HWND hWnd, UINT& uMsg, WPARAM& wParam, LPARAM& lParam,
                            LRESULT& retVal, bool& noDef) {
    return IWyndrelCallback_WindowProc(wyndrelObject, hWnd, uMsg, wParam, lParam, retVal, noDef);
}

HRESULT frmMain::IWyndrelCallback_WindowProc(Wyndrel&, HWND, UINT& uMsg, WPARAM& wParam, LPARAM&, LRESULT&,
                                             bool&) {
    // The whole wParam: our identifiers are not multiples of 16, so masking with 0xFFF0 would change them.
    if (uMsg == WM_SYSCOMMAND) DoCommand(static_cast<UINT>(wParam));
    return S_OK;
}

void frmMain::DoCommand(UINT command) {
    // The export's dialogs and the About box run their loops from inside the subclass callback.
    ModalLoop modal;
    switch (command) {
    case kCmdSaveVODE:
        SaveVODEFile();
        break;
    case kCmdPCSpeakerBeep:
        pcSpeakerBeep_ = !pcSpeakerBeep_;
        UpdateMenuChecks();
        break;
    case kCmdMonospaceFont:
        monospaceFont_ = !monospaceFont_;
        UpdateMenuChecks();
        ApplyListFont();
        break;
    case kCmdThickBorder:
        thickBorder_ = !thickBorder_;
        UpdateMenuChecks();
        Form_Resize();
        break;
    case kCmdHelp:
        esOpenReadMeFile(0);
        break;
    case kCmdAbout:
        TheAboutBox().Show(Handle(), App(), L"", kCredit);
        break;
    default:
        break;
    }
}
