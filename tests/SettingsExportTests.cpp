#include "MainWindowFixture.h"
#include "startup/modMain.h"
#include "support/SettingsStore.h"
#include "support/SupportFunctions.h"

#include <regex>

namespace {
// The stored value of an option, -1 when none is stored.
long StoredOption(const wchar_t* name) {
    DWORD value = 0, size = sizeof(value);
    if (RegGetValueW(HKEY_CURRENT_USER, SettingsKey().c_str(), name, RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS)
        return -1;
    return static_cast<long>(value);
}

std::string Header(const std::string& rest) {
    return "\xEF\xBB\xBF"
           "Comp: " +
           rest;
}
} // namespace

TEST_F(MainWindowTest, EachOptionReachesTheStoreAtTheCloseAndSurvivesARestart) {
    const std::pair<UINT, const wchar_t*> options[] = {{kCmdPCSpeakerBeep, L"PC Speaker Beep"},
                                                       {kCmdMonospaceFont, L"Monospace Font"},
                                                       {kCmdThickBorder, L"Thick Border"}};
    for (UINT command : {kCmdPCSpeakerBeep, kCmdMonospaceFont, kCmdThickBorder}) {
        RegDeleteTreeW(HKEY_CURRENT_USER, SettingsKey().c_str());
        ASSERT_TRUE(Open()->Unload()); // all three stored as False
        auto form = Open();
        form->DoCommand(command);
        for (const auto& [id, name] : options)
            EXPECT_EQ(0, StoredOption(name)) << name << " stored before the close";
        ASSERT_TRUE(form->Unload());
        for (const auto& [id, name] : options)
            EXPECT_EQ(id == command ? 1 : 0, StoredOption(name)) << name;
        auto again = Open();
        EXPECT_EQ(command == kCmdPCSpeakerBeep, again->PCSpeakerBeep());
        EXPECT_EQ(command == kCmdMonospaceFont, again->MonospaceFont());
        EXPECT_EQ(command == kCmdThickBorder, again->ThickBorder());
        for (UINT id : {kCmdPCSpeakerBeep, kCmdMonospaceFont, kCmdThickBorder})
            EXPECT_EQ(id == command, Checked(*again, id)) << command << " " << id;
        EXPECT_EQ(command == kCmdMonospaceFont ? L"Courier New" : L"Tahoma",
                  again->txtURLs.GetFont()->Name());
    }
    for (const wchar_t* name :
         {L"PC Speaker Beep", L"Monospace Font", L"Thick Border", L"Window placement"}) {
        EXPECT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_CURRENT_USER, SettingsKey().c_str(), name, RRF_RT_ANY,
                                              nullptr, nullptr, nullptr))
            << name;
    }
}

TEST_F(MainWindowTest, ThePlacementIsRestoredAndTheListFitsIt) {
    {
        auto form = Open();
        form->DoCommand(kCmdThickBorder);
        SetWindowPos(form->Handle(), nullptr, 50, 60, 700, 500, SWP_NOZORDER);
        ASSERT_TRUE(form->Unload());
    }
    auto form = Open();
    RECT rc, client, list;
    GetWindowRect(form->Handle(), &rc);
    EXPECT_EQ(50, rc.left);
    EXPECT_EQ(60, rc.top);
    EXPECT_EQ(700, rc.right - rc.left);
    EXPECT_EQ(500, rc.bottom - rc.top);
    GetClientRect(form->Handle(), &client);
    GetWindowRect(form->txtURLs.Handle(), &list);
    const int margin = static_cast<int>(60 / form->TwipsPerPixel() + 0.5);
    EXPECT_EQ(client.right - 2 * margin, list.right - list.left);
    EXPECT_EQ(client.bottom - 2 * margin, list.bottom - list.top);
}

TEST_F(MainWindowTest, AMinimizedStartTakesNoFocusAndARestoreShowsWhereTheWindowWasLeft) {
    for (const bool maximized : {false, true}) {
        SCOPED_TRACE(maximized ? "left maximized" : "left normal");
        {
            auto form = Open();
            form->Show();
            SetWindowPos(form->Handle(), nullptr, 50, 60, 700, 500, SWP_NOZORDER);
            if (maximized) ShowWindow(form->Handle(), SW_MAXIMIZE);
            ASSERT_TRUE(form->Unload());
        }
        BeginProcess(SW_SHOWMINNOACTIVE); // the start at sign-in, as wWinMain takes it
        auto form = Open();
        form->Show();
        EXPECT_TRUE(IsIconic(form->Handle()));
        EXPECT_NE(form->Handle(), GetActiveWindow());
        ShowWindow(form->Handle(), SW_RESTORE);
        EXPECT_EQ(maximized, IsZoomed(form->Handle()) != FALSE);
        if (maximized) ShowWindow(form->Handle(), SW_RESTORE);
        RECT rc;
        GetWindowRect(form->Handle(), &rc);
        EXPECT_EQ(50, rc.left);
        EXPECT_EQ(700, rc.right - rc.left);
        // Closed while minimized: the normal placement is what is stored.
        ShowWindow(form->Handle(), SW_MINIMIZE);
        ASSERT_TRUE(form->Unload());
        auto again = Open();
        again->Show();
        GetWindowRect(again->Handle(), &rc);
        EXPECT_EQ(60, rc.top);
        EXPECT_EQ(500, rc.bottom - rc.top);
        ASSERT_TRUE(again->Unload());
    }
}

TEST_F(MainWindowTest, TheProposedNameIsTimestampedUniqueAndInTheRememberedFolder) {
    auto form = Open();
    ScriptedSaveAs saveAs({L"", folder.File(L"x.VODE"), L""});
    form->SaveVODEFile();
    form->SaveVODEFile();
    form->SaveVODEFile();
    ASSERT_EQ(3u, saveAs.shown.size());
    const SaveFileDialog& first = saveAs.shown[0];
    const std::wregex pattern(L"Quenlit \\d{4}-\\d{2}-\\d{2} \\d{2}-\\d{2}-\\d{2} "
                              L"\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}\\.VODE");
    EXPECT_TRUE(std::regex_match(first.initialFileName, pattern)) << first.initialFileName;
    EXPECT_NE(first.initialFileName, saveAs.shown[1].initialFileName);
    // Each part of the time in its place: 21:05:03 on 7 March 2026.
    SYSTEMTIME moment{2026, 3, 6, 7, 21, 5, 3, 0};
    const std::wstring name = frmMain::ProposedVODEFileName(moment);
    EXPECT_EQ(L"Quenlit 2026-03-07 21-05-03 ", name.substr(0, 28));
    EXPECT_TRUE(std::regex_match(name, pattern)) << name;
    EXPECT_EQ(L"VODE files|*.VODE|All files|*.*", first.filter);
    EXPECT_EQ(0, first.filterIndex);
    EXPECT_EQ(L"VODE", first.defaultExtension);
    // Nothing remembered until a name is confirmed; cancelling stores nothing.
    EXPECT_EQ(L"", first.initialDirectory);
    EXPECT_EQ(L"", saveAs.shown[1].initialDirectory);
    EXPECT_EQ(folder.Path(), saveAs.shown[2].initialDirectory);
    EXPECT_EQ(folder.Path(), SettingsStore(App()).GetString(L"OFN Paths", L"Last open VODE directory", L""));
}

TEST_F(MainWindowTest, AnExportHoldsTheHeaderAndTheListExactly) {
    auto form = Open();
    const std::string computer = [] {
        std::wstring name = esGetComputerName();
        return std::string(name.begin(), name.end());
    }();
    ScriptedSaveAs saveAs({folder.File(L"two.VODE"), folder.File(L"empty.VODE"), L""});
    form->txtURLs.SetText(L"https://a.example/\r\nhttps://b.example/");
    form->SaveVODEFile();
    const std::string two = ReadBytes(folder.File(L"two.VODE"));
    const std::regex shape("\xEF\xBB\xBF"
                           "Comp: " +
                           computer +
                           "\r\nDate: [^\r\n]+ [^\r\n]+\r\n\r\n"
                           "https://a.example/\r\nhttps://b.example/");
    EXPECT_TRUE(std::regex_match(two, shape)) << two;
    form->txtURLs.SetText(L"");
    form->SaveVODEFile();
    const std::string empty = ReadBytes(folder.File(L"empty.VODE"));
    EXPECT_EQ(0u, empty.find(Header(computer)));
    EXPECT_EQ("\r\n\r\n", empty.substr(empty.size() - 4));
    // Cancel writes nothing.
    form->SaveVODEFile();
    EXPECT_EQ("<missing>", ReadBytes(folder.File(L".VODE")));
}

TEST_F(MainWindowTest, AWriteProtectedExportIsRetriedWithTheSameContent) {
    auto form = Open();
    form->txtURLs.SetText(L"https://a.example/");
    const std::wstring target = folder.File(L"locked.VODE");
    WriteBytes(target, "old");
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
    ScriptedSaveAs saveAs({target});
    ScriptedBoxes boxes({IDRETRY, IDRETRY});
    std::string firstAttempt;
    boxes.onShow = [&](size_t index) {
        if (index == 0) {
            Sleep(1100); // a new assembly would carry a later time
            form->txtURLs.SetText(L"https://changed.example/");
            return;
        }
        SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    };
    SYSTEMTIME before;
    GetLocalTime(&before);
    form->SaveVODEFile();
    ASSERT_EQ(2u, boxes.Seen().size());
    EXPECT_EQ(0u,
              boxes.Seen()[0].text.find(target + L"\r\n\r\nCan't save VODE file.\r\n\r\nError 0x80070005"));
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR | MB_ABORTRETRYIGNORE), boxes.Seen()[0].type);
    const std::string written = ReadBytes(target);
    EXPECT_NE(std::string::npos, written.find("\r\n\r\nhttps://a.example/"));
    std::wstring time = esFormatTime2(before);
    EXPECT_NE(std::string::npos, written.find(std::string(time.begin(), time.end()))) << written;
}

TEST_F(MainWindowTest, TheConfirmedFolderIsRememberedEvenWhenTheWriteThenFails) {
    auto form = Open();
    const std::wstring out = folder.File(L"out");
    CreateDirectoryW(out.c_str(), nullptr);
    const std::wstring target = out + L"\\locked.VODE";
    WriteBytes(target, "old");
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
    ScriptedSaveAs saveAs({target, L""});
    ScriptedBoxes boxes({IDABORT});
    form->SaveVODEFile();
    form->SaveVODEFile();
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(1u, boxes.Seen().size());
    ASSERT_EQ(2u, saveAs.shown.size());
    EXPECT_EQ(out, saveAs.shown[1].initialDirectory);
    EXPECT_EQ("old", ReadBytes(target));
}
