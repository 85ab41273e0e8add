#include "MainWindowFixture.h"
#include "support/SaveFileDialog.h"
#include "support/Errors.h"
#include "support/HelpWindow.h"
#include "support/SupportFunctions.h"

#include <cstdlib>
#include <regex>

namespace {
struct MenuRow {
    UINT id;
    bool separator;
    std::string text;
};

std::vector<MenuRow> MenuRows(HMENU menu) {
    std::vector<MenuRow> rows;
    for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
        char text[128] = {};
        MENUITEMINFOA info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof(text);
        GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info);
        rows.push_back({info.wID, (info.fType & MFT_SEPARATOR) != 0, text});
    }
    return rows;
}

int PixelMargin(const frmMain& form) {
    RECT rc;
    GetWindowRect(form.txtURLs.Handle(), &rc);
    MapWindowPoints(nullptr, form.Handle(), reinterpret_cast<POINT*>(&rc), 2);
    return rc.left;
}

int IconWidth(HWND window, WPARAM which) {
    ICONINFO info{};
    if (!GetIconInfo(reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, which, 0)), &info))
        return 0;
    BITMAP bitmap{};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}
} // namespace

TEST_F(MainWindowTest, TheWindowIsAsDesigned) {
    Err().Clear();
    auto form = Open();
    // No step of the load failed (a layout before the controls exist would have).
    EXPECT_FALSE(Err().IsSet()) << Err().description;
    SCOPED_TRACE("at " + std::to_string(form->Dpi()) + " DPI");
    wchar_t caption[32];
    GetWindowTextW(form->Handle(), caption, 32);
    EXPECT_STREQ(L"Quenlit", caption);
    EXPECT_NEAR(5775, form->ScaleWidth(), form->TwipsPerPixel());
    EXPECT_NEAR(4515, form->ScaleHeight(), form->TwipsPerPixel());
    EXPECT_EQ(L"Tahoma", form->txtURLs.GetFont()->Name());
    EXPECT_EQ(9, form->txtURLs.GetFont()->Size());
    EXPECT_EQ(RUSSIAN_CHARSET, form->txtURLs.GetFont()->Charset());
    // Rendered for the window's DPI (the DPI run sets the one it expects).
    if (const char* expected = std::getenv("QUENLIT_EXPECT_DPI")) {
        EXPECT_EQ(std::atoi(expected), static_cast<int>(form->Dpi()));
    }
    LOGFONTW rendered{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(form->txtURLs.Handle(), WM_GETFONT, 0, 0)),
               sizeof(rendered), &rendered);
    EXPECT_EQ(-MulDiv(9, static_cast<int>(form->Dpi()), 72), rendered.lfHeight);
    const LONG_PTR style = GetWindowLongPtrW(form->txtURLs.Handle(), GWL_STYLE);
    EXPECT_TRUE((style & WS_HSCROLL) && (style & WS_VSCROLL) && (style & ES_MULTILINE) &&
                (style & ES_AUTOHSCROLL));
    // The icons have exactly the metric sizes of the window's DPI, and follow it when it changes.
    SCOPED_TRACE("icons");
    const int dpi = static_cast<int>(form->Dpi());
    EXPECT_EQ(MulDiv(32, dpi, 96), IconWidth(form->Handle(), ICON_BIG));
    EXPECT_EQ(MulDiv(16, dpi, 96), IconWidth(form->Handle(), ICON_SMALL));
    const int newDpi = dpi == 192 ? 120 : 192;
    RECT suggested;
    GetWindowRect(form->Handle(), &suggested);
    SendMessageW(form->Handle(), WM_DPICHANGED, MAKEWPARAM(newDpi, newDpi),
                 reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(MulDiv(32, newDpi, 96), IconWidth(form->Handle(), ICON_BIG));
    EXPECT_EQ(MulDiv(16, newDpi, 96), IconWidth(form->Handle(), ICON_SMALL));
    // Empty store: centred on the work area.
    SCOPED_TRACE("centred");
    RECT rc;
    GetWindowRect(form->Handle(), &rc);
    MONITORINFO mi{sizeof(mi)};
    GetMonitorInfoW(MonitorFromWindow(form->Handle(), MONITOR_DEFAULTTONEAREST), &mi);
    EXPECT_NEAR((mi.rcWork.left + mi.rcWork.right) / 2, (rc.left + rc.right) / 2, 1);
    EXPECT_NEAR((mi.rcWork.top + mi.rcWork.bottom) / 2, (rc.top + rc.bottom) / 2, 1);
}

TEST_F(MainWindowTest, TheHelpWindowIsMadeForItsDpiAndFollowsIt) {
    auto form = Open();
    form->DoCommand(kCmdHelp);
    HWND help = TheHelpWindow();
    ASSERT_NE(nullptr, help);
    auto fontHeight = [&] {
        LOGFONTW rendered{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(GetDlgItem(help, 1), WM_GETFONT, 0, 0)), sizeof(rendered),
                   &rendered);
        return rendered.lfHeight;
    };
    const int dpi = static_cast<int>(WindowDpi(help));
    EXPECT_EQ(MulDiv(32, dpi, 96), IconWidth(help, ICON_BIG));
    EXPECT_EQ(MulDiv(16, dpi, 96), IconWidth(help, ICON_SMALL));
    EXPECT_EQ(-MulDiv(9, dpi, 72), fontHeight());
    const int newDpi = dpi == 192 ? 120 : 192;
    RECT suggested{10, 20, 610, 520};
    SendMessageW(help, WM_DPICHANGED, MAKEWPARAM(newDpi, newDpi), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(MulDiv(32, newDpi, 96), IconWidth(help, ICON_BIG));
    EXPECT_EQ(MulDiv(16, newDpi, 96), IconWidth(help, ICON_SMALL));
    EXPECT_EQ(-MulDiv(9, newDpi, 72), fontHeight());
    RECT now;
    GetWindowRect(help, &now);
    EXPECT_TRUE(EqualRect(&now, &suggested));
    DestroyWindow(help);
    EXPECT_EQ(nullptr, TheHelpWindow());
}

TEST_F(MainWindowTest, TheSystemMenuCarriesTheNineItemsAfterTheStandardOnes) {
    auto form = Open();
    std::vector<MenuRow> rows = MenuRows(GetSystemMenu(form->Handle(), FALSE));
    ASSERT_GE(rows.size(), 9u);
    std::vector<MenuRow> ours(rows.end() - 9, rows.end());
    const std::vector<std::pair<UINT, std::string>> expected = {{601, ""},
                                                                {602, "Save VODE file...\tF2"},
                                                                {603, ""},
                                                                {604, "PC speaker beep"},
                                                                {605, "Monospace font"},
                                                                {606, "Thick border"},
                                                                {607, ""},
                                                                {608, "Help\tF1"},
                                                                {609, "About...\tShift+F1"}};
    for (size_t i = 0; i < 9; ++i) {
        EXPECT_EQ(expected[i].first, ours[i].id) << i;
        EXPECT_EQ(expected[i].second.empty(), ours[i].separator) << i;
        EXPECT_EQ(expected[i].second, ours[i].text) << i;
    }
    const size_t standard = rows.size() - 9;
    EXPECT_NE(rows.end(), std::find_if(rows.begin(), rows.begin() + static_cast<long>(standard),
                                       [](const MenuRow& r) { return r.id == SC_CLOSE; }));
    form->RemoveSystemMenuItems();
    EXPECT_EQ(standard, MenuRows(GetSystemMenu(form->Handle(), FALSE)).size());
    form->BuildSystemMenu();
}

TEST_F(MainWindowTest, OptionItemsToggleTheirOptionCheckMarkFontAndBorder) {
    auto form = Open();
    for (UINT id : {kCmdPCSpeakerBeep, kCmdMonospaceFont, kCmdThickBorder})
        EXPECT_FALSE(Checked(*form, id));
    const std::shared_ptr<Font> normal = form->txtURLs.GetFont();
    EXPECT_EQ(0, PixelMargin(*form));

    SendMessageW(form->Handle(), WM_SYSCOMMAND, kCmdMonospaceFont, 0);
    EXPECT_TRUE(form->MonospaceFont());
    EXPECT_TRUE(Checked(*form, kCmdMonospaceFont));
    const std::shared_ptr<Font> mono = form->txtURLs.GetFont();
    EXPECT_EQ(L"Courier New", mono->Name());
    EXPECT_EQ(10, mono->Size());
    EXPECT_EQ(RUSSIAN_CHARSET, mono->Charset());
    for (int i = 0; i < 4; ++i)
        SendMessageW(form->Handle(), WM_SYSCOMMAND, kCmdMonospaceFont, 0);
    EXPECT_EQ(mono.get(), form->txtURLs.GetFont().get()); // made once
    SendMessageW(form->Handle(), WM_SYSCOMMAND, kCmdMonospaceFont, 0);
    EXPECT_EQ(normal.get(), form->txtURLs.GetFont().get()); // the very font of the load

    SendMessageW(form->Handle(), WM_SYSCOMMAND, kCmdThickBorder, 0);
    EXPECT_TRUE(Checked(*form, kCmdThickBorder));
    EXPECT_EQ(static_cast<int>(60 / form->TwipsPerPixel() + 0.5), PixelMargin(*form));
    RECT client, list;
    GetClientRect(form->Handle(), &client);
    GetClientRect(form->txtURLs.Handle(), &list);
    // Minimised, the list keeps its place; restored, it is laid out with the margin again.
    RECT before;
    GetWindowRect(form->txtURLs.Handle(), &before);
    ShowWindow(form->Handle(), SW_MINIMIZE);
    form->Form_Resize();
    RECT during;
    GetWindowRect(form->txtURLs.Handle(), &during);
    EXPECT_EQ(before.right - before.left, during.right - during.left);
    ShowWindow(form->Handle(), SW_RESTORE);
    EXPECT_EQ(static_cast<int>(60 / form->TwipsPerPixel() + 0.5), PixelMargin(*form));
    ShowWindow(form->Handle(), SW_HIDE);

    SendMessageW(form->Handle(), WM_SYSCOMMAND, kCmdPCSpeakerBeep, 0);
    EXPECT_TRUE(form->PCSpeakerBeep());
    EXPECT_TRUE(Checked(*form, kCmdPCSpeakerBeep));
}

TEST_F(MainWindowTest, SeparatorsUnknownAndStandardCommandsRunNothingAndCloseStillCloses) {
    ScriptedBoxes boxes({});
    ScriptedSaveAs saveAs({});
    auto form = Open();
    for (WPARAM command : {601u, 603u, 607u, 610u, 0u, static_cast<unsigned>(SC_MOVE | 2)})
        SendMessageW(form->Handle(), WM_SYSCOMMAND, command, 0);
    PumpFor(50);
    EXPECT_FALSE(form->PCSpeakerBeep() || form->MonospaceFont() || form->ThickBorder());
    EXPECT_TRUE(saveAs.shown.empty());
    EXPECT_EQ(nullptr, TheHelpWindow());
    SendMessageW(form->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(IsWindow(form->Handle()));
    EXPECT_TRUE(boxes.Seen().empty());
}

TEST_F(MainWindowTest, KeysReachTheCommandsWhileTheListHasTheFocus) {
    auto form = Open();
    ScriptedSaveAs saveAs({L"", L""});
    HWND list = form->txtURLs.Handle();
    {
        SCOPED_TRACE("F2 and the menu item export; other modifiers do nothing");
        PressKey(list, VK_F2);
        EXPECT_EQ(1u, saveAs.shown.size());
        SendMessageW(form->Handle(), WM_SYSCOMMAND, kCmdSaveVODE, 0);
        EXPECT_EQ(2u, saveAs.shown.size());
        PressKey(list, VK_F2, 1); // Shift+F2
        PressKey(list, VK_F2, 2); // Ctrl+F2
        PressKey(list, VK_F1, 2); // Ctrl+F1
        PressKey(list, VK_F1, 3); // Ctrl+Shift+F1
        PressKey(list, VK_ESCAPE, 1);
        EXPECT_EQ(2u, saveAs.shown.size());
        EXPECT_EQ(nullptr, TheHelpWindow());
        EXPECT_TRUE(IsWindow(form->Handle()));
    }
    SCOPED_TRACE("F1: the help window");
    PressKey(list, VK_F1);
    HWND help = TheHelpWindow();
    ASSERT_NE(nullptr, help);
    std::wstring text(8192, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(GetDlgItem(help, 1), text.data(), 8192)));
    EXPECT_EQ(text, HelpText());
    EXPECT_NE(std::wstring::npos, text.find(L"URLs.TXT"));
    SendMessageW(form->Handle(), WM_SYSCOMMAND, kCmdHelp, 0); // the same window comes forward
    EXPECT_EQ(help, TheHelpWindow());
    DestroyWindow(help);

    {
        SCOPED_TRACE("Shift+F1: the About box");
        DialogAnswerer about(L"About " + App().product, [](HWND box) { ClickButton(box, IDOK); });
        PressKey(list, VK_F1, 1);
        EXPECT_TRUE(about.Answered());
    }
    {
        SCOPED_TRACE("the About item");
        DialogAnswerer about(L"About " + App().product, [](HWND box) { ClickButton(box, IDOK); });
        SendMessageW(form->Handle(), WM_SYSCOMMAND, kCmdAbout, 0);
        EXPECT_TRUE(about.Answered());
        EXPECT_NE(std::wstring::npos, about.SeenText().find(L"Pellomir"));
    }
    PressKey(list, VK_ESCAPE);
    EXPECT_FALSE(IsWindow(form->Handle()));
    EXPECT_EQ(Stored(""), ReadBytes(ListFile()));
}

TEST_F(MainWindowTest, EscapeRefusedByAbortKeepsEverythingWorking) {
    auto form = Open();
    WriteBytes(ListFile(), "old");
    SetFileAttributesW(ListFile().c_str(), FILE_ATTRIBUTE_READONLY);
    {
        ScriptedBoxes boxes({IDABORT});
        PressKey(form->txtURLs.Handle(), VK_ESCAPE);
        EXPECT_EQ(1u, boxes.Seen().size());
    }
    EXPECT_TRUE(IsWindow(form->Handle()));
    SendMessageW(form->Handle(), WM_SYSCOMMAND, kCmdThickBorder, 0);
    EXPECT_TRUE(form->ThickBorder());
    EXPECT_TRUE(Checked(*form, kCmdThickBorder));
    SetFileAttributesW(ListFile().c_str(), FILE_ATTRIBUTE_NORMAL);
    PressKey(form->txtURLs.Handle(), VK_ESCAPE);
    EXPECT_FALSE(IsWindow(form->Handle()));
}

TEST_F(MainWindowTest, CtrlAAloneSelectsTheWholeListAndInsertsNothing) {
    auto form = Open();
    HWND list = form->txtURLs.Handle();
    form->txtURLs.SetText(L"https://a.example/\r\nhttps://b.example/");
    SendMessageW(list, EM_SETSEL, 3, 3);
    PressKey(list, 'A', 2);
    DWORD start = 0, end = 0;
    SendMessageW(list, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(0u, start);
    EXPECT_EQ(static_cast<DWORD>(form->txtURLs.TextLength()), end);
    EXPECT_EQ(L"https://a.example/\r\nhttps://b.example/", form->txtURLs.Text());
    // Typing now replaces the whole list.
    PressKey(list, 'X');
    EXPECT_EQ(L"x", form->txtURLs.Text());

    form->txtURLs.SetText(L"abc");
    SendMessageW(list, EM_SETSEL, 3, 3);
    PressKey(list, 'A');
    EXPECT_EQ(L"abca", form->txtURLs.Text());
}

namespace {
// Counts the A keys that get past whatever hooks the box in front of it.
struct KeyCounter : ITextBoxKeyEvents {
    int aKeys = 0;
    std::vector<int> characters;
    void TB_KeyDown(int& keyCode, int&) override { aKeys += keyCode == 'A'; }
    void TB_KeyPress(int& keyAscii) override { characters.push_back(keyAscii); }
};
} // namespace

TEST(SelectAllHook, InitMovesTheHookAndReleasingEndsIt) {
    struct Boxes : Form {
        TextBox a, b;
        Boxes() : Form(L"Boxes", 3000, 3000, std::make_shared<Font>(L"Tahoma", 9, DEFAULT_CHARSET)) {}
        void CreateControls() override {
            a.Create(Handle(), 1, 0, 0, 1500, 1500);
            b.Create(Handle(), 2, 1500, 0, 1500, 1500);
        }
    } boxes;
    boxes.Load();
    KeyCounter behindA, behindB;
    TextBox::KeySubscription watchA(boxes.a, behindA), watchB(boxes.b, behindB);

    auto hook = std::make_unique<csTBSelectAllHook>();
    EXPECT_FALSE(hook->Init(nullptr));
    EXPECT_EQ(nullptr, hook->GetTextBox());
    PressKey(boxes.a.Handle(), 'A', 2); // before Init: not handled
    EXPECT_EQ(1, behindA.aKeys);

    EXPECT_TRUE(hook->Init(&boxes.a));
    EXPECT_FALSE(hook->Init(nullptr)); // changes nothing
    EXPECT_EQ(&boxes.a, hook->GetTextBox());
    PressKey(boxes.a.Handle(), 'A', 2);
    EXPECT_EQ(1, behindA.aKeys); // taken by the hook
    for (int shift : {0, 3, 6})
        PressKey(boxes.a.Handle(), 'A', shift); // A, Ctrl+Shift+A, Ctrl+Alt+A pass
    EXPECT_EQ(4, behindA.aKeys);

    EXPECT_TRUE(hook->Init(&boxes.b));
    PressKey(boxes.a.Handle(), 'A', 2);
    PressKey(boxes.b.Handle(), 'A', 2);
    EXPECT_EQ(5, behindA.aKeys);
    EXPECT_EQ(0, behindB.aKeys);

    // A handled Ctrl+A cancels the next key press, whatever its character; the one after passes.
    behindB.characters.clear();
    BYTE ctrl[256] = {}, none[256] = {};
    ctrl[VK_CONTROL] = 0x80;
    SetKeyboardState(ctrl);
    SendMessageW(boxes.b.Handle(), WM_KEYDOWN, 'A', 1);
    SetKeyboardState(none);
    SendMessageW(boxes.b.Handle(), WM_CHAR, 'x', 1);
    SendMessageW(boxes.b.Handle(), WM_CHAR, 'y', 1);
    EXPECT_EQ(std::vector<int>{'y'}, behindB.characters);

    hook.reset();
    PressKey(boxes.b.Handle(), 'A', 2);
    EXPECT_EQ(1, behindB.aKeys);
}
