// frmMain members: the window, its layout, list font and keys.
#include "frmMain.h"

#include "../support/Errors.h"
#include "../support/SupportFunctions.h"

namespace {
constexpr int kClientWidth = 5775, kClientHeight = 4515; // twips
constexpr double kThickBorderMargin = 60;                // twips
constexpr UINT_PTR kClipboardTimerId = 1;
constexpr int kListId = 100;
} // namespace

frmMain::frmMain()
    : Form(L"Quenlit", kClientWidth, kClientHeight, std::make_shared<Font>(L"Tahoma", 9, RUSSIAN_CHARSET)) {}

frmMain::~frmMain() {
    SetBeforeFatalExit(nullptr);
    StopSubclassing();
    selectAllHook_.reset();
}

void frmMain::CreateControls() {
    tmrClipboardCheck.Create(*this, kClipboardTimerId, 250, [this] { tmrClipboardCheck_Timer(); });
    txtURLs.Create(Handle(), kListId, 120, 120, 5535, 4275);
    txtURLs.SetFont(GetFont());
}

void frmMain::Form_Load() {
    asCenterFormEx(Handle());
    if (!esIsInIDE()) asSetWindowResIconAll(Handle(), L"A_MAIN");
    asFixUserControlsContainerWindow();
    if (!selectAllHook_) selectAllHook_ = std::make_unique<csTBSelectAllHook>();
    selectAllHook_->Init(&txtURLs);
    StartSubclassing();
    BuildSystemMenu();
    LoadSettings();
    LoadURLs();
    // From here on an unhandled error still leaves the list on disk.
    SetBeforeFatalExit([this] {
        StopCapture();
        SaveURLs(true);
    });
    RegisterMarkerFormat();
    StartCapture();
}

void frmMain::Form_Unload(bool& cancel) {
    // A close asked for by the set-up kept the list already, and prompts for nothing.
    if (!listSavedForClose_) {
        StopCapture();
        if (!SaveURLs(false)) {
            cancel = true;
            StartCapture();
            return;
        }
    }
    SetBeforeFatalExit(nullptr);
    SaveSettings();
    RemoveSystemMenuItems();
    StopSubclassing();
    selectAllHook_.reset();
}

bool frmMain::Form_PrepareCloseNow() {
    // Nothing is collected after this answer: the list written here is the one the close keeps.
    StopCapture();
    listSavedForClose_ = WriteURLs();
    if (!listSavedForClose_) StartCapture();
    return listSavedForClose_;
}

void frmMain::Form_CloseNowCancelled() {
    listSavedForClose_ = false;
    StartCapture();
}

void frmMain::Form_EndSession() {
    // A dialog of ours is open: the list and the settings are kept, the window stays as it is.
    // Nothing is read any more: the process may end at any moment from here on.
    tmrClipboardCheck.SetEnabled(false);
    StopCapture();
    SaveURLs(true);
    Step([&] { SaveSettings(); });
}

void frmMain::Form_KeyDown(int& keyCode, int& shift) {
    if (keyCode == VK_F1 && shift == 1) {
        DoCommand(kCmdAbout);
    } else if (keyCode == VK_F1 && shift == 0) {
        DoCommand(kCmdHelp);
    } else if (keyCode == VK_ESCAPE && shift == 0) {
        Unload();
    } else if (keyCode == VK_F2 && shift == 0) {
        DoCommand(kCmdSaveVODE);
    }
}

void frmMain::Form_Resize() {
    const double margin = thickBorder_ ? kThickBorderMargin : 0;
    double width = 0, height = 0;
    Step([&] { width = ScaleWidth(); });
    Step([&] { height = ScaleHeight(); });
    // A minimised window has no room: the move is refused and the list keeps its place.
    Step([&] { txtURLs.Move(margin, margin, width - 2 * margin, height - 2 * margin); });
}

void frmMain::ApplyListFont() {
    Step([&] {
        if (!monospaceListFont_) {
            auto font = std::make_shared<Font>();
            font->SetCharset(RUSSIAN_CHARSET);
            font->SetName(L"Courier New");
            font->SetSize(10);
            font->SetCharset(RUSSIAN_CHARSET);
            monospaceListFont_ = std::move(font);
        }
    });
    Step([&] {
        if (!normalListFont_) normalListFont_ = txtURLs.GetFont();
    });
    Step([&] { txtURLs.SetFont(monospaceFont_ ? monospaceListFont_ : normalListFont_); });
}

void frmMain::Form_AppMessage(UINT message) {
    if (message == kClipboardReadMessage) TakeClipboardReads();
}

void frmMain::Form_DpiChanged() {
    txtURLs.RefreshFont();
}

void frmMain::Sound(bool pcSpeaker) {
    if (pcSpeaker)
        asBeep(4500, 100);
    else
        MessageBeep(MB_ICONASTERISK);
}
