#pragma once
// The program's only window: the link list, the clipboard timer, the options and the commands.
#include "../capture/ClipboardReaders.h"
#include "../support/Form.h"
#include "../support/Wyndrel.h"
#include "../util/csTBSelectAllHook.h"

#include <memory>
#include <string>
#include <vector>

// System-menu command identifiers.
enum MenuCommand : UINT {
    kCmdSeparator1 = 601,
    kCmdSaveVODE = 602,
    kCmdSeparator2 = 603,
    kCmdPCSpeakerBeep = 604,
    kCmdMonospaceFont = 605,
    kCmdThickBorder = 606,
    kCmdSeparator3 = 607,
    kCmdHelp = 608,
    kCmdAbout = 609,
};

class frmMain : public Form, private IWyndrelCallback {
  public:
    frmMain();
    ~frmMain() override;

    TextBox txtURLs;
    Timer tmrClipboardCheck;

    bool PCSpeakerBeep() const { return pcSpeakerBeep_; }
    bool MonospaceFont() const { return monospaceFont_; }
    bool ThickBorder() const { return thickBorder_; }
    csTBSelectAllHook* SelectAllHook() const { return selectAllHook_.get(); }
    Wyndrel* Subclassing() const { return wyndrel_.get(); }

    // Layout and list font.
    void Form_Resize() override;
    void ApplyListFont();
    // System menu and commands.
    void BuildSystemMenu();
    void RemoveSystemMenuItems();
    void UpdateMenuChecks();
    void StartSubclassing();
    void StopSubclassing();
    void DoCommand(UINT command);
    // Settings.
    void LoadSettings();
    void SaveSettings();
    // Capture.
    void RegisterMarkerFormat();
    void tmrClipboardCheck_Timer();
    // Waits for the clipboard readers running and collects what they read (tests, benchmarks);
    // true when none runs any more.
    bool WaitForClipboardReads(DWORD milliseconds);
    // Link list file and export.
    void LoadURLs();
    bool SaveURLs(bool silent);
    void SaveVODEFile();
    std::wstring GetSaveFileNameVODE();
    // The name the export proposes for this moment: timestamped, with a new GUID.
    static std::wstring ProposedVODEFileName(const SYSTEMTIME& moment);

  protected:
    // The capture's beep; the PC speaker option is read by the caller at the moment of the beep.
    virtual void Sound(bool pcSpeaker);
    // The clock of the save retries, in milliseconds.
    virtual ULONGLONG TickCount() const { return GetTickCount64(); }

    void CreateControls() override;
    void Form_Load() override;
    void Form_Unload(bool& cancel) override;
    void Form_KeyDown(int& keyCode, int& shift) override;
    void Form_DpiChanged() override;
    void Form_EndSession() override;
    bool Form_PrepareCloseNow() override;
    void Form_CloseNowCancelled() override;
    void Form_AppMessage(UINT message) override;

  private:
    HRESULT WindowProc(Wyndrel& wyndrelObject, HWND hWnd, UINT& uMsg, WPARAM& wParam, LPARAM& lParam,
                       LRESULT& retVal, bool& noDef) override;
    HRESULT IWyndrelCallback_WindowProc(Wyndrel& wyndrelObject, HWND hWnd, UINT& uMsg, WPARAM& wParam,
                                        LPARAM& lParam, LRESULT& retVal, bool& noDef);
    // Capture runs from the window's load: the clipboard's notices and the ticks start reads.
    void StartCapture();
    // Ends capture until StartCapture (a close, the end of the session): the reads that end within
    // a second are collected, no reader marks the clipboard afterwards and nothing starts one.
    void StopCapture();
    void TakeClipboardReads();
    // The rest of a capture once texts are read: test, append, save, beep.
    void CollectLinks(std::vector<std::wstring> texts);
    // One write of the list (the window's when none is given), nothing shown; false when it was refused.
    bool WriteURLs(const std::wstring* list = nullptr);
    void RetryRefusedSave();
    std::wstring URLsFilePath() const;
    void KeepListFileAside(const std::wstring& path);

    std::unique_ptr<csTBSelectAllHook> selectAllHook_;
    std::unique_ptr<Wyndrel> wyndrel_;
    bool pcSpeakerBeep_ = false;
    bool monospaceFont_ = false;
    bool thickBorder_ = false;
    std::shared_ptr<Font> monospaceListFont_;
    std::shared_ptr<Font> normalListFont_;
    // Set when the list file could not be loaded ("unread") or only with damaged bytes replaced
    // ("damaged"): the next save keeps that file aside under this word first.
    const wchar_t* keepListFileAs_ = nullptr;
    // A reader announces its text with this message.
    static constexpr UINT kClipboardReadMessage = WM_APP + 1;
    static constexpr DWORD kCloseReadWaitMs = 1000;
    std::unique_ptr<ClipboardReaders> readers_; // null while capture is stopped
    // A close asked for by the set-up wrote the list when it answered: its unload writes no more.
    bool listSavedForClose_ = false;
    // Set while the list on disk is older than the window's: a silent save was refused (another
    // program held the file). Ticks try again after 2 s, then 4, 8, ... and every minute at most.
    bool listUnsaved_ = false;
    ULONGLONG saveRetryAt_ = 0;
    ULONGLONG saveRetryDelay_ = 0;
};
