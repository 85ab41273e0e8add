#include "TestSupport.h"
#include "support/AboutBox.h"
#include "support/ClipboardText.h"
#include "support/ErrorPrompt.h"
#include "support/Form.h"
#include "support/InstanceGuard.h"
#include "support/SaveFileDialog.h"
#include "support/SettingsStore.h"
#include "support/WindowSubclass.h"
#include "support/Wyndrel.h"

#include <gtest/gtest.h>

#include <climits>

namespace {
// A throw-away registry key for the store.
struct ScratchApp {
    Application app{L"Tolvane - Test", L"QuenlitTest" + std::to_wstring(GetCurrentProcessId()), L"Pellomir",
                    L"1.0.0"};
    ~ScratchApp() { RemoveTestSettings(app); }
};

class PlainForm : public Form {
  public:
    PlainForm() : Form(L"Plain", 4500, 3000, std::make_shared<Font>(L"Tahoma", 9, DEFAULT_CHARSET)) {}
};

RECT WindowRect(HWND window) {
    RECT rc;
    GetWindowRect(window, &rc);
    return rc;
}
} // namespace

TEST(SettingsStore, ValuesRoundTripAndWrongKindsReadAsDefaults) {
    ScratchApp scratch;
    SettingsStore store(scratch.app);
    EXPECT_FALSE(store.GetBool(L"", L"PC Speaker Beep", false));
    EXPECT_EQ(L"", store.GetString(L"OFN Paths", L"Last open VODE directory", L""));
    store.SetBool(L"", L"PC Speaker Beep", true);
    store.SetString(L"OFN Paths", L"Last open VODE directory", L"C:\\Out");
    EXPECT_TRUE(SettingsStore(scratch.app).GetBool(L"", L"PC Speaker Beep", false));
    EXPECT_EQ(L"C:\\Out",
              SettingsStore(scratch.app).GetString(L"OFN Paths", L"Last open VODE directory", L""));

    const std::wstring key = L"Software\\Pellomir\\" + scratch.app.product;
    RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Thick Border", REG_SZ, L"yes", 8);
    DWORD seven = 7;
    RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Monospace Font", REG_DWORD, &seven, 4);
    EXPECT_TRUE(store.GetBool(L"", L"Thick Border", true));
    EXPECT_FALSE(store.GetBool(L"", L"Thick Border", false));
    EXPECT_FALSE(store.GetBool(L"", L"Monospace Font", false));
    DWORD one = 1;
    RegSetKeyValueW(HKEY_CURRENT_USER, (key + L"\\OFN Paths").c_str(), L"Last open VODE directory", REG_DWORD,
                    &one, 4);
    EXPECT_EQ(L"dflt", store.GetString(L"OFN Paths", L"Last open VODE directory", L"dflt"));
}

TEST(SettingsStore, PlacementRoundTripsAndComesBackOnScreen) {
    ScratchApp scratch;
    SettingsStore store(scratch.app);
    PlainForm form;
    form.Load();
    const RECT before = WindowRect(form.Handle());
    store.LoadWindowPlacement(L"", L"Window placement", form); // nothing stored: unchanged
    const RECT after = WindowRect(form.Handle());
    EXPECT_TRUE(EqualRect(&before, &after));

    SetWindowPos(form.Handle(), nullptr, 100, 120, 500, 400, SWP_NOZORDER);
    store.SaveWindowPlacement(L"", L"Window placement", form);
    SetWindowPos(form.Handle(), nullptr, 10, 10, 300, 200, SWP_NOZORDER);
    store.LoadWindowPlacement(L"", L"Window placement", form);
    RECT rc = WindowRect(form.Handle());
    EXPECT_EQ(100, rc.left);
    EXPECT_EQ(120, rc.top);
    EXPECT_EQ(500, rc.right - rc.left);
    EXPECT_EQ(400, rc.bottom - rc.top);

    // Stored on a monitor that is gone today.
    SetWindowPos(form.Handle(), nullptr, 30000, 30000, 500, 400, SWP_NOZORDER);
    store.SaveWindowPlacement(L"", L"Window placement", form);
    store.LoadWindowPlacement(L"", L"Window placement", form);
    rc = WindowRect(form.Handle());
    MONITORINFO mi{sizeof(mi)};
    GetMonitorInfoW(MonitorFromWindow(form.Handle(), MONITOR_DEFAULTTONEAREST), &mi);
    RECT visible;
    EXPECT_TRUE(IntersectRect(&visible, &rc, &mi.rcWork));
    EXPECT_EQ(500, rc.right - rc.left);
}

TEST(SettingsStore, AValueOfAnyOtherTypeOrSizeReadsAsTheDefault) {
    ScratchApp scratch;
    const std::wstring key = L"Software\\Pellomir\\" + scratch.app.product;
    // Long enough to overrun a buffer sized for the type asked for.
    const std::wstring text = L"%SystemRoot%\\a text much longer than a number";
    const auto* textBytes = reinterpret_cast<const BYTE*>(text.c_str());
    const DWORD textSize = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    const BYTE number[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    struct Placement {
        RECT normal;
        UINT showCommand;
    } placement{{100, 100, 600, 500}, SW_SHOWNORMAL};
    const auto* placementBytes = reinterpret_cast<const BYTE*>(&placement);
    struct Stored {
        DWORD type;
        const BYTE* data;
        DWORD size;
    };
    const Stored texts[] = {{REG_SZ, textBytes, textSize}, {REG_EXPAND_SZ, textBytes, textSize},
                            {REG_MULTI_SZ, textBytes, textSize}, {REG_BINARY, textBytes, textSize},
                            {REG_NONE, textBytes, textSize}};
    const Stored numbers[] = {{REG_DWORD, number, 4},          {REG_DWORD_BIG_ENDIAN, number, 4},
                              {REG_QWORD, number, 8},          {REG_BINARY, number, 4},
                              {REG_NONE, number, 4},           {REG_DWORD, number, 2}};
    const Stored placements[] = {{REG_NONE, placementBytes, sizeof(placement)},
                                 {REG_BINARY, placementBytes, sizeof(placement) - 1},
                                 {REG_BINARY, textBytes, textSize}};

    PlainForm form;
    form.Load();
    const RECT before = WindowRect(form.Handle());
    auto check = [&](const Stored& value, const wchar_t* name, bool isNumber) {
        SCOPED_TRACE(testing::Message() << "type " << value.type << ", " << value.size << " bytes");
        const std::wstring section = name == std::wstring(L"Last open VODE directory") ? key + L"\\OFN Paths" : key;
        ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, section.c_str(), name, value.type, value.data,
                                                 value.size));
        SettingsStore store(scratch.app);
        if (isNumber) {
            for (const wchar_t* option : {L"PC Speaker Beep", L"Monospace Font", L"Thick Border"}) {
                RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), option, value.type, value.data, value.size);
                EXPECT_FALSE(store.GetBool(L"", option, false)) << option;
                EXPECT_TRUE(store.GetBool(L"", option, true)) << option;
            }
        } else if (name == std::wstring(L"Window placement")) {
            store.LoadWindowPlacement(L"", name, form);
            const RECT after = WindowRect(form.Handle());
            EXPECT_TRUE(EqualRect(&before, &after));
        } else {
            EXPECT_EQ(L"dflt", store.GetString(L"OFN Paths", name, L"dflt"));
        }
    };
    for (const Stored& value : texts) {
        check(value, L"PC Speaker Beep", true);
        check(value, L"Window placement", false);
    }
    for (const Stored& value : numbers) {
        if (value.type != REG_DWORD || value.size != 4) check(value, L"PC Speaker Beep", true);
        check(value, L"Window placement", false);
        check(value, L"Last open VODE directory", false);
    }
    for (const Stored& value : placements) {
        check(value, L"Window placement", false);
        check(value, L"PC Speaker Beep", true);
    }
    for (const Stored& value : {texts[1], texts[2], texts[3], texts[4]})
        check(value, L"Last open VODE directory", false);
}

TEST(SettingsStore, AStoredPlacementIsFittedToTodaysDesktopNeverDropped) {
    ScratchApp scratch;
    const std::wstring key = L"Software\\Pellomir\\" + scratch.app.product;
    PlainForm form;
    form.Load();
    const RECT before = WindowRect(form.Handle());
    struct Placement {
        RECT normal;
        UINT showCommand;
    };
    MONITORINFO mi{sizeof(mi)};
    GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &mi);
    const RECT area = mi.rcWork;
    const LONG wide = area.right - area.left, high = area.bottom - area.top;
    const struct {
        RECT stored;
        LONG width, height; // 0: not a placement, the window stays as it was
    } cases[] = {
        {{-7, -7, wide + 7, high + 7}, wide, high},  // maximized edge to edge, with invisible borders
        {{0, 0, wide + 600, 400}, wide, 400},         // undocked from a larger monitor
        {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, wide, high},
        {{10, 10, 11, 11}, 200, 100},                  // too small to use
        {{INT_MAX - 10, 0, INT_MAX, 400}, 200, 400},   // far off and narrow
        {{INT_MAX - 600, INT_MAX - 500, INT_MAX - 100, INT_MAX - 100}, 500, 400},
        {{300, 300, 100, 100}, 0, 0},                  // no width
        {{300, 300, 700, 300}, 0, 0},                  // no height
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.stored.left << "," << c.stored.top << " - " << c.stored.right << ","
                                        << c.stored.bottom);
        SetWindowPos(form.Handle(), nullptr, before.left, before.top, before.right - before.left,
                     before.bottom - before.top, SWP_NOZORDER);
        Placement stored{c.stored, SW_SHOWMAXIMIZED};
        RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Window placement", REG_BINARY, &stored, sizeof(stored));
        SettingsStore(scratch.app).LoadWindowPlacement(L"", L"Window placement", form);
        const RECT rc = WindowRect(form.Handle());
        if (!c.width) {
            EXPECT_TRUE(EqualRect(&before, &rc));
            continue;
        }
        EXPECT_EQ(c.width, rc.right - rc.left);
        EXPECT_EQ(c.height, rc.bottom - rc.top);
        RECT visible;
        EXPECT_TRUE(IntersectRect(&visible, &rc, &area) && EqualRect(&visible, &rc));
    }
}

TEST(SettingsStore, AFittedPlacementStaysInWorkspaceCoordinates) {
    // A taskbar at the left or the top: workspace coordinates start at the work area, screen
    // coordinates at the monitor. A placement that fits comes back unchanged, at every start.
    const RECT work{0, 0, 1200, 900};
    for (const POINT taskbar : {POINT{0, 0}, POINT{48, 0}, POINT{0, 40}}) {
        SCOPED_TRACE(testing::Message() << "taskbar " << taskbar.x << "," << taskbar.y);
        const std::vector<RECT> workArea{{work.left + taskbar.x, work.top + taskbar.y, work.right, work.bottom}};
        const RECT fits{100, 80, 600, 480};
        const RECT same = FitPlacement(fits, taskbar, SIZE{200, 100}, workArea);
        EXPECT_TRUE(EqualRect(&fits, &same));
        // Too wide: shrunk to the work area, which starts at 0,0 in workspace coordinates.
        const RECT wide = FitPlacement(RECT{-7, -7, 1300, 500}, taskbar, SIZE{200, 100}, workArea);
        EXPECT_EQ(0, wide.left);
        EXPECT_EQ(workArea[0].right - workArea[0].left, wide.right - wide.left);
    }
}

TEST(SettingsStore, APlacementAcrossTwoMonitorsIsKeptAndOnlyWhatLiesOffThemIsFitted) {
    // The primary monitor, a second one to its right whose work area is shorter, a third below it.
    const std::vector<RECT> areas{{0, 0, 1200, 900}, {1200, 100, 2400, 800}, {0, 900, 1200, 1800}};
    const struct {
        const char* what;
        RECT stored, fitted;
    } cases[] = {
        {"stretched across both", {600, 200, 2000, 700}, {600, 200, 2000, 700}},
        {"wholly on the second", {1300, 100, 2400, 800}, {1300, 100, 2400, 800}},
        {"on the second, taller than its work area", {1300, 50, 1800, 850}, {1300, 100, 1800, 800}},
        {"across both, below the second's work area", {600, 200, 2000, 850}, {1200, 150, 2400, 800}},
        {"wider than both", {-10, 0, 2500, 500}, {0, 0, 1200, 500}},
        {"off to the right", {2600, 300, 3000, 600}, {2000, 300, 2400, 600}},
        {"left of the lower of two stacked", {-600, 1300, -200, 1600}, {0, 1300, 400, 1600}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const RECT fitted = FitPlacement(c.stored, POINT{0, 0}, SIZE{200, 100}, areas);
        EXPECT_TRUE(EqualRect(&c.fitted, &fitted))
            << fitted.left << "," << fitted.top << " - " << fitted.right << "," << fitted.bottom;
    }
}

TEST(InstanceGuard, TheSecondGuardOfOneNameIsRefusedUntilTheFirstIsGone) {
    const std::wstring name = L"{quenlit-test-" + std::to_wstring(GetCurrentProcessId()) + L"}";
    auto first = std::make_unique<InstanceGuard>();
    EXPECT_TRUE(first->Check(name));
    EXPECT_TRUE(first->Check(name)); // asking again is not another instance
    InstanceGuard second;
    EXPECT_FALSE(second.Check(name));
    first.reset();
    EXPECT_TRUE(second.Check(name));
}

namespace {
DWORD g_createMutexError = 0;
HANDLE WINAPI RefusedCreateMutex(LPSECURITY_ATTRIBUTES, BOOL, LPCWSTR) {
    SetLastError(g_createMutexError);
    return nullptr;
}
} // namespace

TEST(InstanceGuard, AnInstanceThatMayNotBeOpenedIsStillAnotherInstance) {
    // An elevated first instance: an unelevated second start may not open its mutex. (Wine does not
    // refuse a mutex to anyone, so the system's answer is played here.)
    const std::wstring name = L"{quenlit-test-denied-" + std::to_wstring(GetCurrentProcessId()) + L"}";
    g_createMutexError = ERROR_ACCESS_DENIED;
    EXPECT_FALSE(InstanceGuard(RefusedCreateMutex).Check(name));
    g_createMutexError = ERROR_INVALID_NAME; // any other refusal is a failure
    EXPECT_THROW(InstanceGuard(RefusedCreateMutex).Check(name), AppError);
}

TEST(ClipboardText, ReadsUnicodeTextAndEmptyWhenThereIsNone) {
    PutClipboardText(L"https://пример.рф/\U0001F600");
    EXPECT_EQ(L"https://пример.рф/\U0001F600", TheClipboardText().Read());
    OpenClipboard(nullptr);
    EmptyClipboard();
    CloseClipboard();
    EXPECT_EQ(L"", TheClipboardText().Read());
}

TEST(ClipboardText, WaitsBrieflyForAnotherHolderAndThenGivesUp) {
    PutClipboardText(L"held");
    {
        ClipboardHolder moment(20);
        EXPECT_EQ(L"held", TheClipboardText().Read());
    }
    ClipboardHolder longer;
    EXPECT_THROW(TheClipboardText().Read(), AppError);
}

TEST(RealDialogs, ErrorPromptShowsMessageNumberAndDescriptionAndClearsTheRecord) {
    ErrorRecord error{HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), L"Access is denied."};
    DialogAnswerer answer(App().title, [](HWND box) { ClickButton(box, IDRETRY); });
    int answerCode = TheErrorPrompt().Show(error, MB_ICONERROR | MB_ABORTRETRYIGNORE,
                                           L"C:\\x\\URLs.TXT\r\n\r\nCan't save URLs file.");
    EXPECT_TRUE(answer.Answered());
    EXPECT_EQ(IDRETRY, answerCode);
    EXPECT_NE(std::wstring::npos, answer.SeenText().find(L"Can't save URLs file."));
    EXPECT_NE(std::wstring::npos, answer.SeenText().find(L"0x80070005: Access is denied."));
    EXPECT_FALSE(error.IsSet());
}

TEST(RealDialogs, SaveAsDialogReturnsTheTypedNameWithTheDefaultExtension) {
    TempFolder folder;
    SaveFileDialog dialog;
    dialog.filter = L"VODE files|*.VODE|All files|*.*";
    dialog.defaultExtension = L"VODE";
    dialog.initialDirectory = folder.Path();
    dialog.initialFileName = L"proposed.VODE";
    const std::wstring typed = folder.File(L"typed");
    DialogAnswerer answer(kAnyCaption, [&](HWND box) {
        for (int id : {0x47c, 0x480}) // the file name box: combo box or edit, by dialog version
            if (HWND name = GetDlgItem(box, id))
                SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
        ClickButton(box, IDOK);
    });
    ASSERT_TRUE(dialog.Show());
    EXPECT_TRUE(answer.Answered());
    // Wine adds the extension in small letters; file names are not case-sensitive.
    EXPECT_EQ(0, lstrcmpiW((typed + L".VODE").c_str(), dialog.fileName.c_str())) << dialog.fileName;

    DialogAnswerer cancel(kAnyCaption, [](HWND box) { ClickButton(box, IDCANCEL); });
    EXPECT_FALSE(dialog.Show());

    // An existing file: the dialog asks before it lets the name through.
    const std::wstring existing = folder.File(L"existing.VODE");
    WriteBytes(existing, "kept");
    bool asked = false;
    DialogAnswerer overwrite(kAnyCaption, [&](HWND box) {
        for (int id : {0x47c, 0x480})
            if (HWND name = GetDlgItem(box, id))
                SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(existing.c_str()));
        ClickButton(box, IDOK);
        HWND prompt = nullptr;
        for (int i = 0; i < 100 && !(prompt = FindOwnDialog(kAnyCaption, box)); ++i)
            Sleep(50);
        asked = prompt != nullptr;
        if (prompt) {
            Sleep(200);
            ClickButton(prompt, IDYES);
        } else {
            ClickButton(box, IDCANCEL);
        }
    });
    EXPECT_TRUE(dialog.Show());
    EXPECT_TRUE(asked);
    EXPECT_EQ(0, lstrcmpiW(existing.c_str(), dialog.fileName.c_str())) << dialog.fileName;
    EXPECT_EQ("kept", ReadBytes(existing));
}

TEST(RealDialogs, AboutBoxShowsTitleVersionCompanyAndCredit) {
    Application app{L"Tolvane - Quenlit", L"Quenlit", L"Pellomir", L"1.0.0"};
    DialogAnswerer answer(L"About Quenlit", [](HWND box) { ClickButton(box, IDOK); });
    TheAboutBox().Show(nullptr, app, L"", L"Thanks to everyone.");
    EXPECT_TRUE(answer.Answered());
    for (const wchar_t* part : {L"Tolvane - Quenlit", L"Version 1.0.0", L"Pellomir", L"Thanks to everyone."})
        EXPECT_NE(std::wstring::npos, answer.SeenText().find(part)) << part;
}

namespace {
struct Recorder : IWyndrelCallback {
    std::vector<WPARAM> commands;
    HRESULT result = S_OK;
    HRESULT WindowProc(Wyndrel&, HWND, UINT& uMsg, WPARAM& wParam, LPARAM&, LRESULT&, bool&) override {
        if (uMsg == WM_SYSCOMMAND) commands.push_back(wParam);
        return result;
    }
};

struct ClosingForm : PlainForm {
    int closes = 0;
    void Form_Unload(bool& cancel) override {
        ++closes;
        cancel = true; // stays, so the test can go on
    }
};
} // namespace

TEST(Form, NoResizeReachesTheFormBeforeItsControlsExist) {
    struct Watched : PlainForm {
        bool controls = false;
        int early = 0, resizes = 0;
        void CreateControls() override { controls = true; }
        void Form_Resize() override { ++(controls ? resizes : early); }
    } form;
    form.Load();
    EXPECT_EQ(0, form.early);
    SetWindowPos(form.Handle(), nullptr, 0, 0, 500, 400, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(1, form.resizes);
}

TEST(WindowSubclass, SeesMessagesUntilItsWindowIsGoneAndThenLetsGo) {
    PlainForm form;
    form.Load();
    HWND window = form.Handle();
    std::vector<UINT> seen;
    bool toldGone = false;
    auto subclass =
        std::make_unique<WindowSubclass>(window, [&](UINT message, WPARAM&, LPARAM&, LRESULT& result) {
            toldGone |= message == WM_NCDESTROY;
            if (message != WM_USER + 1 && message != WM_USER + 2) return false;
            seen.push_back(message);
            result = 42;
            return message == WM_USER + 1; // the first is handled here, the second goes on
        });
    EXPECT_EQ(42, SendMessageW(window, WM_USER + 1, 0, 0));
    EXPECT_EQ(0, SendMessageW(window, WM_USER + 2, 0, 0));
    EXPECT_EQ((std::vector<UINT>{WM_USER + 1, WM_USER + 2}), seen);
    EXPECT_EQ(window, subclass->Window());
    DestroyWindow(window);
    // Gone with its window, and told so: the owner's release later touches no handle.
    EXPECT_EQ(nullptr, subclass->Window());
    EXPECT_TRUE(toldGone);
    subclass.reset();
}

TEST(Wyndrel, DeliversSystemCommandsAndLeavesNormalProcessing) {
    ClosingForm form;
    form.Load();
    AppendMenuW(GetSystemMenu(form.Handle(), FALSE), MF_STRING, 602, L"Item");
    Recorder recorder;
    {
        Wyndrel wyndrel;
        wyndrel.SetHWnd(form.Handle()); // handle first, then the callback
        wyndrel.SetCallback(&recorder);
        SendMessageW(form.Handle(), WM_SYSCOMMAND, 602, 0);
        SendMessageW(form.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_EQ((std::vector<WPARAM>{602, SC_CLOSE}), recorder.commands);
        EXPECT_EQ(1, form.closes); // Close still reaches the window

        recorder.result = E_FAIL; // a failing callback does not disturb the window
        SendMessageW(form.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_EQ(2, form.closes);

        wyndrel.SetCallback(nullptr); // callback cleared before the handle
        SendMessageW(form.Handle(), WM_SYSCOMMAND, 602, 0);
        EXPECT_EQ(3u, recorder.commands.size());
        wyndrel.SetCallback(&recorder);
    } // released while still watching: the window keeps working
    SendMessageW(form.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(3, form.closes);
    EXPECT_EQ(3u, recorder.commands.size());
    SetWindowTextW(form.Handle(), L"still alive");
    wchar_t text[32];
    GetWindowTextW(form.Handle(), text, 32);
    EXPECT_STREQ(L"still alive", text);
}
