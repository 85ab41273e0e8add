#include "MainWindowFixture.h"
#include "capture/ClipboardWatcher.h"
#include "support/SettingsStore.h"
#include "support/Errors.h"
#include "support/Text.h"
#include "support/ScopeExit.h"
#include "support/TextFileIO.h"

using namespace std::string_literals;

TEST_F(MainWindowTest, WithoutAFileTheListStartsEmptyAndTheFirstLinkCreatesIt) {
    ScriptedBoxes boxes({});
    auto form = Open();
    EXPECT_EQ(L"", form->txtURLs.Text());
    EXPECT_TRUE(boxes.Seen().empty());
    PutClipboardText(L"https://first.example/");
    Capture(*form);
    EXPECT_EQ(Stored("https://first.example/"), ReadBytes(ListFile()));
}

TEST_F(MainWindowTest, ThreeLinesLoadAndAreWrittenBackUnchangedAtClosing) {
    WriteBytes(ListFile(), "https://a.example/\r\nhttps://b.example/\r\nhttps://c.example/");
    auto form = Open();
    EXPECT_EQ(L"https://a.example/\r\nhttps://b.example/\r\nhttps://c.example/", form->txtURLs.Text());
    EXPECT_TRUE(form->Unload());
    EXPECT_EQ(Stored("https://a.example/\r\nhttps://b.example/\r\nhttps://c.example/"),
              ReadBytes(ListFile()));
}

TEST_F(MainWindowTest, HandEditsAndAnEmptyListAreWhatIsSaved) {
    WriteBytes(ListFile(), "https://a.example/\r\nhttps://b.example/");
    auto form = Open();
    form->txtURLs.SetText(L"https://b.example/");
    PutClipboardText(L"https://c.example/");
    Capture(*form);
    EXPECT_EQ(Stored("https://b.example/\r\nhttps://c.example/"), ReadBytes(ListFile()));
    form->txtURLs.SetText(L"");
    EXPECT_TRUE(form->Unload());
    EXPECT_EQ(Stored(""), ReadBytes(ListFile()));
}

TEST_F(MainWindowTest, AWriteProtectedFileAtClosingOffersAbortRetryIgnore) {
    auto form = Open();
    form->txtURLs.SetText(L"https://kept.example/");
    WriteBytes(ListFile(), "old");
    SetFileAttributesW(ListFile().c_str(), FILE_ATTRIBUTE_READONLY);
    {
        ScriptedBoxes boxes({IDABORT});
        form->DoCommand(kCmdMonospaceFont);
        EXPECT_FALSE(form->Unload());
        ASSERT_EQ(1u, boxes.Seen().size());
        EXPECT_EQ(0u, boxes.Seen()[0].text.find(ListFile() +
                                                L"\r\n\r\nCan't save URLs file.\r\n\r\nError 0x80070005"));
        EXPECT_EQ(static_cast<UINT>(MB_ICONERROR | MB_ABORTRETRYIGNORE), boxes.Seen()[0].type);
        EXPECT_EQ(L"Tolvane - Quenlit", boxes.Seen()[0].caption);
    }
    // Abort: the window stays as it was, and nothing reached the settings.
    EXPECT_TRUE(IsWindow(form->Handle()));
    EXPECT_EQ(L"https://kept.example/", form->txtURLs.Text());
    EXPECT_NE(nullptr, form->Subclassing());
    EXPECT_NE(nullptr, form->SelectAllHook());
    EXPECT_EQ(MF_CHECKED,
              GetMenuState(GetSystemMenu(form->Handle(), FALSE), kCmdMonospaceFont, MF_BYCOMMAND) &
                  MF_CHECKED);
    HKEY key = nullptr;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, SettingsKey().c_str(), 0, KEY_READ, &key));
    {
        ScriptedBoxes boxes({IDRETRY});
        boxes.onShow = [&](size_t) {
            SetFileAttributesW(ListFile().c_str(), FILE_ATTRIBUTE_NORMAL);
            PutClipboardText(L"https://during-the-prompt.example/");
            PumpFor(600); // the prompt's own loop runs the timer
        };
        EXPECT_TRUE(form->Unload());
        EXPECT_EQ(1u, boxes.Seen().size());
    }
    EXPECT_EQ(Stored("https://kept.example/"), ReadBytes(ListFile()));
    EXPECT_FALSE(IsClipboardFormatAvailable(MarkerFormat())) << "marked by a capture the close had stopped";
}

TEST_F(MainWindowTest, IgnoreClosesAndStillStoresTheSettings) {
    auto form = Open();
    form->DoCommand(kCmdThickBorder);
    WriteBytes(ListFile(), "old");
    SetFileAttributesW(ListFile().c_str(), FILE_ATTRIBUTE_READONLY);
    ScriptedBoxes boxes({IDIGNORE});
    EXPECT_TRUE(form->Unload());
    SetFileAttributesW(ListFile().c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ("old", ReadBytes(ListFile()));
    DWORD value = 0, size = sizeof(value);
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_CURRENT_USER, SettingsKey().c_str(), L"Thick Border",
                                          RRF_RT_REG_DWORD, nullptr, &value, &size));
    EXPECT_EQ(1u, value);
}

TEST_F(MainWindowTest, AnUnreadableFileIsRetriedAndLoadsOnceTheCauseIsGone) {
    WriteBytes(ListFile(), "https://a.example/");
    HANDLE lock = CreateFileW(ListFile().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ScriptedBoxes boxes({IDRETRY});
    boxes.onShow = [&](size_t) { CloseHandle(lock); };
    auto form = Open();
    ASSERT_EQ(1u, boxes.Seen().size());
    EXPECT_EQ(0u, boxes.Seen()[0].text.find(ListFile() + L"\r\n\r\nCan't load URLs file.\r\n\r\nError "));
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR | MB_RETRYCANCEL), boxes.Seen()[0].type);
    EXPECT_EQ(L"https://a.example/", form->txtURLs.Text());
}

TEST_F(MainWindowTest, AFileThatCouldNotBeLoadedIsKeptAsideBeforeTheFirstSave) {
    WriteBytes(ListFile(), "precious links");
    HANDLE lock = CreateFileW(ListFile().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ScriptedBoxes boxes({IDCANCEL});
    auto form = Open();
    CloseHandle(lock);
    EXPECT_EQ(L"", form->txtURLs.Text());
    PutClipboardText(L"https://new.example/");
    Capture(*form);
    EXPECT_EQ(Stored("https://new.example/"), ReadBytes(ListFile()));
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(folder.File(L"URLs (unread *).TXT").c_str(), &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    FindClose(find);
    EXPECT_EQ("precious links", ReadBytes(folder.File(data.cFileName)));
    // Only once: later saves simply replace the list.
    PutClipboardText(L"https://newer.example/");
    Capture(*form);
    EXPECT_EQ(Stored("https://new.example/\r\nhttps://newer.example/"), ReadBytes(ListFile()));
}

TEST_F(MainWindowTest, ADamagedListIsShownRepairedAndKeptAsItWasBeforeTheFirstSave) {
    const struct {
        const char* what;
        std::string bytes;
        std::wstring shown;
        UINT codePage = CP_ACP;
    } cases[] = {
        // A UTF-8 list whose last character was cut: no other character may change.
        {"UTF-8, last character cut", "\xEF\xBB\xBFhttps://\xD0\xBF\xD1\x80.\xD1\x80\xD1\x84/\xD0",
         L"https://пр.рф/\uFFFD"},
        // One valid UTF-8 sequence beside a damaged one, no mark: read in the ANSI code page, and
        // never silently re-encoded.
        {"ANSI with a valid UTF-8 pair", "https://\xD1\x8F\xE9/", FromAnsi("https://\xD1\x8F\xE9/")},
        // A double-byte code page, the last character cut: its lead byte alone has no character.
        {"Shift-JIS, last character cut", "https://\x82\xA0.example/\x82", L"https://\u3042.example/\u30FB", 932},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetAnsiCodePageForTesting(c.codePage);
        ScopeExit restore([] { SetAnsiCodePageForTesting(CP_ACP); });
        RemoveTree(folder.Path());
        CreateDirectoryW(folder.Path().c_str(), nullptr);
        WriteBytes(ListFile(), c.bytes);
        ScriptedBoxes boxes({});
        auto form = Open();
        EXPECT_EQ(c.shown, form->txtURLs.Text());
        PutClipboardText(L"https://new.example/");
        Capture(*form);
        EXPECT_EQ(Stored(ToUtf8(c.shown) + "\r\nhttps://new.example/"), ReadBytes(ListFile()));
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW(folder.File(L"URLs (damaged *).TXT").c_str(), &data);
        ASSERT_NE(INVALID_HANDLE_VALUE, find);
        FindClose(find);
        EXPECT_EQ(c.bytes, ReadBytes(folder.File(data.cFileName)));
        EXPECT_TRUE(boxes.Seen().empty());
    }
}

TEST_F(MainWindowTest, AListWithANulIsNotShownCutAndTheMessageNamesTheNul) {
    WriteBytes(ListFile(), "\xEF\xBB\xBFhttps://a.example/\r\n\0https://b.example/"s);
    ScriptedBoxes boxes({IDCANCEL});
    auto form = Open();
    EXPECT_EQ(L"", form->txtURLs.Text());
    ASSERT_EQ(1u, boxes.Seen().size());
    EXPECT_NE(std::wstring::npos, boxes.Seen()[0].text.find(L"NUL")) << boxes.Seen()[0].text;
}

TEST_F(MainWindowTest, AHundredThousandLinksLoadAndSaveWhole) {
    std::string bytes;
    for (int i = 0; i < 100000; ++i)
        bytes += (i ? "\r\n" : "") + std::string("https://example.com/") + std::to_string(i);
    WriteBytes(ListFile(), bytes);
    auto form = Open();
    EXPECT_EQ(static_cast<int>(bytes.size()), form->txtURLs.TextLength());
    PutClipboardText(L"https://last.example/");
    Capture(*form);
    EXPECT_EQ(Stored(bytes + "\r\nhttps://last.example/"), ReadBytes(ListFile()));
}

TEST_F(MainWindowTest, LoggingOffSavesTheListLikeAClose) {
    auto form = Open();
    form->txtURLs.SetText(L"typed before logging off");
    SendMessageW(form->Handle(), WM_QUERYENDSESSION, 0, 0);
    SendMessageW(form->Handle(), WM_ENDSESSION, TRUE, 0);
    EXPECT_FALSE(IsWindow(form->Handle()));
    EXPECT_EQ(Stored("typed before logging off"), ReadBytes(ListFile()));
}

TEST_F(MainWindowTest, ACloseInsideTheSaveAsDialogWaitsForItAndLosesNothing) {
    // taskkill, an installer or the Restart Manager closes the window while F2's dialog is open.
    auto form = Open();
    form->txtURLs.SetText(L"https://a.example/");
    const std::wstring typed = folder.File(L"export");
    bool openAfterClose = false;
    DialogAnswerer answer(kAnyCaption, [&](HWND box) {
        PostMessageW(form->Handle(), WM_CLOSE, 0, 0);
        Sleep(300);
        openAfterClose = IsWindow(form->Handle()) && IsWindow(box);
        for (int id : {0x47c, 0x480}) // the file name box: combo box or edit, by dialog version
            if (HWND name = GetDlgItem(box, id))
                SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
        ClickButton(box, IDOK);
    });
    form->DoCommand(kCmdSaveVODE);
    EXPECT_TRUE(answer.Answered());
    EXPECT_TRUE(openAfterClose);
    EXPECT_NE("<missing>", ReadBytes(typed + L".VODE"));
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(form->Handle()); }, 2000));
    EXPECT_EQ(Stored("https://a.example/"), ReadBytes(ListFile()));
}

TEST_F(MainWindowTest, ACloseDuringTheLoadPromptWaitsForItsAnswer) {
    WriteBytes(ListFile(), "\xEF\xBB\xBFhttps://a.example/\0"s);
    TestMain form;
    bool openDuringPrompt = false;
    ScriptedBoxes boxes({IDCANCEL});
    boxes.onShow = [&](size_t) {
        PostMessageW(form.Handle(), WM_CLOSE, 0, 0); // the set-up, taskkill, the Restart Manager
        DoEvents();
        openDuringPrompt = IsWindow(form.Handle()) != FALSE;
    };
    form.Load();
    EXPECT_EQ(1u, boxes.Seen().size());
    EXPECT_TRUE(openDuringPrompt);
    EXPECT_TRUE(PumpUntil([&] { return !form.IsLoaded(); }, 2000)); // then it closes
}

namespace {
// Another program's answered close request, from a thread of its own; its answer.
struct CloseNowRequest {
    HWND window;
    DWORD deadline = 0;
    DWORD_PTR answer = 99;
    static DWORD WINAPI Send(void* param) {
        auto* self = static_cast<CloseNowRequest*>(param);
        SendMessageTimeoutW(self->window, Form::CloseNowMessage(), self->deadline, 0, SMTO_NORMAL, 5000,
                            &self->answer);
        return 0;
    }
    // Sent from a thread of its own while this one pumps messages.
    DWORD_PTR AnswerWhilePumping() {
        HANDLE sender = CreateThread(nullptr, 0, Send, this, 0, nullptr);
        EXPECT_TRUE(PumpUntil([&] { return WaitForSingleObject(sender, 0) == WAIT_OBJECT_0; }, 5000));
        CloseHandle(sender);
        return answer;
    }
};
} // namespace

TEST_F(MainWindowTest, AnAnsweredCloseClosesAtOnceOrIsRefusedAndForgotten) {
    auto form = Open();
    CloseNowRequest refused{form->Handle()};
    DialogAnswerer about(L"About " + App().product, [&](HWND box) {
        HANDLE sender = CreateThread(nullptr, 0, CloseNowRequest::Send, &refused, 0, nullptr);
        WaitForSingleObject(sender, INFINITE);
        CloseHandle(sender);
        ClickButton(box, IDOK);
    });
    form->DoCommand(kCmdAbout);
    EXPECT_EQ(2u, refused.answer); // the About box is open
    PumpFor(500);
    EXPECT_TRUE(form->IsLoaded()); // and nothing was remembered for later
    {
        // The list cannot be saved: the sender could not answer the prompt a close would show.
        ScriptedBoxes boxes({});
        WriteBytes(folder.File(L"file"), "");
        SetDataFolder(folder.File(L"file\\sub"));
        CloseNowRequest unsaved{form->Handle()};
        EXPECT_EQ(2u, unsaved.AnswerWhilePumping());
        SetDataFolder(folder.Path());
        PumpFor(500);
        EXPECT_TRUE(form->IsLoaded());
        EXPECT_TRUE(boxes.Seen().empty());
    }
    // Read after its sender's deadline (a loaded machine): the sender has given up.
    CloseNowRequest late{form->Handle(), GetTickCount() - 1};
    EXPECT_EQ(2u, late.AnswerWhilePumping());
    EXPECT_TRUE(form->IsLoaded());
    PutClipboardText(L"https://after-a-late-request.example/"); // and it still collects
    Capture(*form);
    EXPECT_NE(std::wstring::npos, form->txtURLs.Text().find(L"after-a-late-request"));
    CloseNowRequest accepted{form->Handle(), GetTickCount() + 5000};
    EXPECT_EQ(1u, accepted.AnswerWhilePumping());
    EXPECT_FALSE(form->IsLoaded());
}

TEST_F(MainWindowTest, TheSessionEndingInsideTheSaveAsDialogKeepsTheListAndDestroysNothing) {
    auto form = Open();
    form->DoCommand(kCmdPCSpeakerBeep);
    form->txtURLs.SetText(L"typed before logging off");
    bool savedUnderTheDialog = false;
    DialogAnswerer answer(kAnyCaption, [&](HWND box) {
        SendMessageW(form->Handle(), WM_QUERYENDSESSION, 0, 0);
        SendMessageW(form->Handle(), WM_ENDSESSION, TRUE, 0);
        savedUnderTheDialog = IsWindow(box) && IsWindow(form->Handle()) &&
                              ReadBytes(ListFile()) == Stored("typed before logging off");
        ClickButton(box, IDCANCEL);
    });
    form->DoCommand(kCmdSaveVODE);
    EXPECT_TRUE(answer.Answered());
    EXPECT_TRUE(savedUnderTheDialog);
    EXPECT_TRUE(IsWindow(form->Handle()));
    EXPECT_TRUE(SettingsStore(App()).GetBool(L"", L"PC Speaker Beep", false));
}

TEST_F(MainWindowTest, AnUnhandledErrorSavesTheListBeforeItIsReported) {
    auto form = Open();
    form->txtURLs.SetText(L"typed, never lost");
    std::string atReport;
    SetFatalReporterForTesting([&](HRESULT, const std::wstring&) {
        atReport = ReadBytes(ListFile());
        PutClipboardText(L"https://during-the-report.example/");
        PumpFor(600); // the report's message box runs the timer
    });
    Guarded(0, []() -> int { throw AppError{E_FAIL, L"something broke"}; });
    SetFatalReporterForTesting(nullptr);
    EXPECT_EQ(Stored("typed, never lost"), atReport);
    EXPECT_FALSE(IsClipboardFormatAvailable(MarkerFormat())) << "marked, and then the program ends";
}

TEST_F(MainWindowTest, AfterACrashOneStartAndCloseLeaveOnlyTheList) {
    WriteBytes(ListFile(), Stored("https://a.example/"));
    WriteBytes(ListFile() + L".{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}.tmp", Stored("https://a.exa"));
    WriteBytes(ListFile() + L".12-1.tmp", Stored("https://a"));
    auto form = Open();
    EXPECT_EQ(L"https://a.example/", form->txtURLs.Text());
    ASSERT_TRUE(form->Unload());
    EXPECT_EQ(std::vector<std::wstring>{L"URLs.TXT"}, FileNames(folder.Path()));
    EXPECT_EQ(Stored("https://a.example/"), ReadBytes(ListFile()));
}
