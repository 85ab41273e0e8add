#pragma once
// A real, hidden main window over a temporary data folder and a clean settings key of the test
// identity.
#include "TestSupport.h"
#include "mainwindow/frmMain.h"
#include "support/SaveFileDialog.h"
#include "support/Application.h"

#include <gtest/gtest.h>

// A real key press as the message loop sees it, with these modifiers held.
inline void PressKey(HWND target, int vk, int shift = 0) {
    BYTE state[256] = {};
    if (shift & 1) state[VK_SHIFT] = 0x80;
    if (shift & 2) state[VK_CONTROL] = 0x80;
    if (shift & 4) state[VK_MENU] = 0x80;
    SetKeyboardState(state);
    const UINT scan = MapVirtualKeyW(static_cast<UINT>(vk), MAPVK_VK_TO_VSC);
    PostMessageW(target, (shift & 4) ? WM_SYSKEYDOWN : WM_KEYDOWN, static_cast<WPARAM>(vk),
                 1 | (scan << 16) | ((shift & 4) ? (1 << 29) : 0));
    DoEvents();
    PostMessageW(target, (shift & 4) ? WM_SYSKEYUP : WM_KEYUP, static_cast<WPARAM>(vk),
                 1 | (scan << 16) | (3u << 30));
    DoEvents();
    BYTE none[256] = {};
    SetKeyboardState(none);
}

inline bool Checked(const frmMain& form, UINT id) {
    return (GetMenuState(GetSystemMenu(form.Handle(), FALSE), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

// Answers the Save As dialog with these names in turn (empty: cancel), recording what it was given.
struct ScriptedSaveAs {
    std::vector<SaveFileDialog> shown;
    std::vector<std::wstring> answers;
    explicit ScriptedSaveAs(std::vector<std::wstring> names) : answers(std::move(names)) {
        SetSaveFileDialogHandler([this](SaveFileDialog& dialog) {
            shown.push_back(dialog);
            dialog.fileName = shown.size() <= answers.size() ? answers[shown.size() - 1] : L"";
            return !dialog.fileName.empty();
        });
    }
    ~ScriptedSaveAs() { SetSaveFileDialogHandler(nullptr); }
};

class TestMain : public frmMain {
  public:
    std::vector<bool> beeps; // true: PC speaker
    ULONGLONG clock = 0;     // the save retries' clock when not 0
  protected:
    void Sound(bool pcSpeaker) override { beeps.push_back(pcSpeaker); }
    ULONGLONG TickCount() const override { return clock ? clock : frmMain::TickCount(); }
};

// One tick of the clipboard timer, and what the reader it started brought back.
inline void Capture(frmMain& form) {
    form.tmrClipboardCheck_Timer();
    form.WaitForClipboardReads(10000);
}

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RemoveTestSettings();
        SetDataFolder(folder.Path());
        // What another program left on the clipboard is no link of the test's: the window's timer
        // runs in every modal loop.
        if (OpenClipboard(nullptr)) {
            EmptyClipboard();
            CloseClipboard();
        }
    }
    void TearDown() override {
        RemoveTestSettings();
        SetDataFolder(L"");
    }
    std::unique_ptr<TestMain> Open() {
        auto form = std::make_unique<TestMain>();
        form->Load();
        return form;
    }
    std::wstring ListFile() const { return folder.File(L"URLs.TXT"); }
    // The bytes a save writes for this text.
    static std::string Stored(const std::string& utf8) { return "\xEF\xBB\xBF" + utf8; }
    TempFolder folder;
};
