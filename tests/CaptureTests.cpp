#include "AllocationCounter.h"
#include "MainWindowFixture.h"
#include "capture/ClipboardWatcher.h"
#include "support/ClipboardText.h"
#include "support/Application.h"
#include "support/ScopeExit.h"
#include "support/SupportFunctions.h"
#include "support/Text.h"
#include "support/TextFileIO.h"

#include <algorithm>
#include <atomic>
#include <mutex>

namespace {
void PutFormats(const std::wstring& text, std::initializer_list<UINT> extraFormats) {
    OpenClipboard(nullptr);
    SetClipboardText(text, extraFormats);
    CloseClipboard();
}

void PutPictureAlone() {
    OpenClipboard(nullptr);
    EmptyClipboard();
    HDC screen = GetDC(nullptr);
    SetClipboardData(CF_BITMAP, CreateCompatibleBitmap(screen, 4, 4));
    ReleaseDC(nullptr, screen);
    CloseClipboard();
}
} // namespace

TEST_F(MainWindowTest, CollectsEachCopiedLinkOnceAndSavesIt) {
    auto form = Open();
    ASSERT_NE(0u, MarkerFormat());
    PutClipboardText(L"https://a.example/");
    Capture(*form);
    Capture(*form); // same content: tagged, nothing more
    EXPECT_EQ(L"https://a.example/", form->txtURLs.Text());
    EXPECT_EQ(Stored("https://a.example/"), ReadBytes(ListFile()));
    EXPECT_EQ(std::vector<bool>{false}, form->beeps);

    PutClipboardText(L"https://a.example/"); // a new copy of the same link counts again
    Capture(*form);
    PutClipboardText(L"https://пример.рф/б");
    Capture(*form);
    EXPECT_EQ(L"https://a.example/\r\nhttps://a.example/\r\nhttps://пример.рф/б", form->txtURLs.Text());
    EXPECT_EQ(Stored("https://a.example/\r\nhttps://a.example/\r\nhttps://"
                     "\xD0\xBF\xD1\x80\xD0\xB8\xD0\xBC\xD0\xB5\xD1\x80."
                     "\xD1\x80\xD1\x84/\xD0\xB1"),
              ReadBytes(ListFile()));
    EXPECT_EQ(3u, form->beeps.size());
}

TEST_F(MainWindowTest, TextsThatAreNotLinksAreTaggedButNotCollected) {
    auto form = Open();
    for (const wchar_t* text :
         {L"plain words", L"https://a.example/\r\n", L"https://a.example/\r\nhttps://b.example/",
          L"file:///C:/x.txt", L"FILE://server/x", L"\thttps://a.example/"}) {
        PutClipboardText(text);
        Capture(*form);
        EXPECT_TRUE(IsClipboardFormatAvailable(MarkerFormat())) << text;
    }
    EXPECT_EQ(L"", form->txtURLs.Text());
    EXPECT_TRUE(form->beeps.empty());
    EXPECT_EQ("<missing>", ReadBytes(ListFile()));
}

TEST_F(MainWindowTest, ALineBreakAlreadyAtTheEndStillGetsCrLfInFront) {
    auto form = Open();
    form->txtURLs.SetText(L"typed by hand\r\n");
    PutClipboardText(L"https://a.example/");
    Capture(*form);
    EXPECT_EQ(L"typed by hand\r\n\r\nhttps://a.example/", form->txtURLs.Text());
}

TEST_F(MainWindowTest, TheMarkerIsA42ByteBlockHoldingTheGuidAndJoinsTheOtherFormats) {
    auto form = Open();
    PutClipboardText(L"not a link");
    Capture(*form);
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE block = GetClipboardData(MarkerFormat());
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(42u, GlobalSize(block));
    std::string bytes(static_cast<const char*>(GlobalLock(block)), 42);
    GlobalUnlock(block);
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_UNICODETEXT)); // the other program's text stays
    CloseClipboard();
    const std::string guid = ToAnsi(App().guid);
    EXPECT_EQ(guid + std::string(4, '\0'), bytes);
    char name[64] = {};
    GetClipboardFormatNameA(MarkerFormat(), name, 64);
    EXPECT_EQ(guid, name);
}

TEST_F(MainWindowTest, PicturesAndPrivateContentAreNeitherTaggedNorRead) {
    auto form = Open();
    PutPictureAlone();
    Capture(*form);
    EXPECT_FALSE(IsClipboardFormatAvailable(MarkerFormat()));
    for (const char* marker : {"ExcludeClipboardContentFromMonitorProcessing", "Clipboard Viewer Ignore"}) {
        PutFormats(L"https://secret.example/", {RegisterClipboardFormatA(marker)});
        Capture(*form);
        EXPECT_FALSE(IsClipboardFormatAvailable(MarkerFormat())) << marker;
    }
    EXPECT_EQ(L"", form->txtURLs.Text());
}

TEST_F(MainWindowTest, ContentHeldOpenByAnotherProgramIsTakenOnceItIsReleased) {
    auto form = Open();
    PutClipboardText(L"https://held.example/");
    auto holder = std::make_unique<ClipboardHolder>();
    Capture(*form);
    Capture(*form);
    EXPECT_FALSE(IsClipboardFormatAvailable(MarkerFormat()));
    EXPECT_EQ(L"", form->txtURLs.Text());
    holder.reset();
    Capture(*form);
    Capture(*form);
    EXPECT_EQ(L"https://held.example/", form->txtURLs.Text());
    EXPECT_EQ(1u, form->beeps.size());
}

namespace {
std::vector<std::pair<DWORD, DWORD>> g_beeps;
BOOL WINAPI RecordBeep(DWORD frequency, DWORD milliseconds) {
    g_beeps.emplace_back(frequency, milliseconds);
    return TRUE;
}
} // namespace

TEST_F(MainWindowTest, ThePCSpeakerBeepIsA4500HzToneOf100Ms) {
    frmMain form; // the program's own sound, not the fixture's record
    form.Load();
    g_beeps.clear();
    SetBeepForTesting(RecordBeep);
    ScopeExit restore([] { SetBeepForTesting(nullptr); });
    form.DoCommand(kCmdPCSpeakerBeep);
    PutClipboardText(L"https://a.example/");
    Capture(form);
    EXPECT_EQ((std::vector<std::pair<DWORD, DWORD>>{{4500, 100}}), g_beeps);
}

TEST_F(MainWindowTest, TheBeepFollowsTheOptionAtTheMomentOfTheBeep) {
    auto form = Open();
    PutClipboardText(L"https://a.example/");
    Capture(*form);
    form->DoCommand(kCmdPCSpeakerBeep);
    PutClipboardText(L"https://b.example/");
    Capture(*form);
    EXPECT_EQ((std::vector<bool>{false, true}), form->beeps);
}

TEST_F(MainWindowTest, TheTimerRunsTheCaptureEveryQuarterSecond) {
    auto form = Open();
    EXPECT_TRUE(form->tmrClipboardCheck.Enabled());
    EXPECT_EQ(250u, form->tmrClipboardCheck.Interval());
    PutClipboardText(L"https://timer.example/");
    EXPECT_TRUE(PumpUntil([&] { return form->txtURLs.TextLength() > 0; }, 3000));
    EXPECT_EQ(L"https://timer.example/", form->txtURLs.Text());
}

TEST_F(MainWindowTest, AFailedSilentSaveStillBeepsAndReportsNothing) {
    auto form = Open();
    ScriptedBoxes boxes({});
    WriteBytes(folder.File(L"file"), "");
    SetDataFolder(folder.File(L"file\\sub")); // a folder that can't be made: every save fails
    PutClipboardText(L"https://a.example/");
    Capture(*form);
    EXPECT_EQ(L"https://a.example/", form->txtURLs.Text());
    EXPECT_EQ(1u, form->beeps.size());
    EXPECT_TRUE(boxes.Seen().empty());
    SetDataFolder(folder.Path());
}

namespace {
// Reads the clipboard as the program does, noting whether the content was tagged already.
struct WatchingReader : ClipboardText {
    int reads = 0;
    bool taggedAtRead = false;
    std::wstring ReadOpened() override {
        ++reads;
        taggedAtRead = IsClipboardFormatAvailable(MarkerFormat()) != FALSE;
        return ClipboardText::ReadOpened();
    }
};

int g_opens = 0;
BOOL WINAPI CountingOpenClipboard(HWND owner) {
    ++g_opens;
    return OpenClipboard(owner);
}
} // namespace

TEST_F(MainWindowTest, TheContentIsTaggedBeforeItsTextIsRead) {
    // Read first, a content replaced in between would be tagged unread: a copied link lost.
    auto form = Open();
    WatchingReader reader;
    SetClipboardTextForTesting(&reader);
    ScopeExit restore([] { SetClipboardTextForTesting(nullptr); });
    PutClipboardText(L"https://a.example/");
    Capture(*form);
    EXPECT_EQ(1, reader.reads);
    EXPECT_TRUE(reader.taggedAtRead);
    EXPECT_EQ(L"https://a.example/", form->txtURLs.Text());
}

namespace {
// A password manager puts its entry between the tick's look and the reader's opening.
BOOL WINAPI PrivateEntryFirst(HWND owner) {
    if (OpenClipboard(nullptr)) {
        SetClipboardText(L"https://secret.example/", {RegisterClipboardFormatA("Clipboard Viewer Ignore")});
        CloseClipboard();
    }
    return OpenClipboard(owner);
}
} // namespace

TEST_F(MainWindowTest, ContentReplacedBeforeTheOpeningIsTestedAgainInsideIt) {
    auto form = Open();
    SetOpenClipboardForTesting(PrivateEntryFirst);
    ScopeExit restore([] { SetOpenClipboardForTesting(nullptr); });
    PutClipboardText(L"https://a.example/");
    Capture(*form);
    EXPECT_FALSE(IsClipboardFormatAvailable(MarkerFormat()));
    EXPECT_EQ(L"", form->txtURLs.Text());
}

TEST_F(MainWindowTest, AnIdleTickNeitherAllocatesNorOpensTheClipboard) {
    auto form = Open();
    PutClipboardText(L"https://tagged.example/");
    Capture(*form); // from now on the content carries the marker
    g_opens = 0;
    SetOpenClipboardForTesting(CountingOpenClipboard);
    ScopeExit restore([] { SetOpenClipboardForTesting(nullptr); });
    const long before = HeapAllocations();
    // The whole road of a tick: the timer message through the subclassing and the form.
    for (int i = 0; i < 5000; ++i)
        SendMessageW(form->Handle(), WM_TIMER, form->tmrClipboardCheck.Id(), 0);
    EXPECT_EQ(0, HeapAllocations() - before);
    EXPECT_EQ(0, g_opens);
    EXPECT_EQ(L"https://tagged.example/", form->txtURLs.Text());
    // New content is opened for, once: the count sees the cycle's own opening.
    PutClipboardText(L"https://new.example/");
    SendMessageW(form->Handle(), WM_TIMER, form->tmrClipboardCheck.Id(), 0);
    form->WaitForClipboardReads(10000);
    EXPECT_EQ(1, g_opens);
}

TEST_F(MainWindowTest, AListWhoseFolderWasRemovedIsSavedIntoTheFolderMadeAgain) {
    auto form = Open();
    form->txtURLs.SetText(L"typed by hand");
    RemoveTree(folder.Path()); // a cleaning tool, a profile sync, the user
    PutClipboardText(L"https://a.example/");
    Capture(*form);
    EXPECT_EQ(Stored("typed by hand\r\nhttps://a.example/"), ReadBytes(ListFile()));
}

TEST_F(MainWindowTest, EveryLinkArrivesOnceAndInOrderWhileAnotherWatcherHoldsTheClipboard) {
    // A clipboard history holds the clipboard 100 ms after every change, the marker's included.
    auto form = Open();
    ClipboardMonitor monitor(100);
    std::wstring expected;
    for (int i = 0; i < 20; ++i) {
        const std::wstring link = L"https://watched.example/" + std::to_wstring(i);
        PutClipboardText(link);
        expected += (i ? L"\r\n" : L"") + link;
        ASSERT_TRUE(PumpUntil([] { return IsClipboardFormatAvailable(MarkerFormat()) != FALSE; }, 3000)) << i;
    }
    PumpFor(300);
    EXPECT_EQ(expected, form->txtURLs.Text());
    EXPECT_EQ(20u, form->beeps.size());
}

namespace {
// A user-interface thread that loses the processor for a moment in the middle of a capture, as
// on a busy machine: other programs get their turn at the clipboard there.
struct PreemptedReader : ClipboardText {
    std::wstring ReadOpened() override {
        Sleep(30);
        return ClipboardText::ReadOpened();
    }
};
} // namespace

TEST_F(MainWindowTest, ContentPutTheMomentTheMarkerAppearsIsCollectedOnceAndPrivateContentNever) {
    // A sync tool re-posts content as soon as the marker lands: a password manager's entry, then a
    // link of its own, by turns. After each private entry the user copies a link.
    auto form = Open();
    PreemptedReader reader;
    SetClipboardTextForTesting(&reader);
    ScopeExit restore([] { SetClipboardTextForTesting(nullptr); });
    const UINT privateFormat = RegisterClipboardFormatA("ExcludeClipboardContentFromMonitorProcessing");
    const int total = 10;
    std::mutex lock;
    std::vector<std::wstring> links; // every link put on the clipboard, in order
    std::atomic<int> posted{0};
    ClipboardMonitor syncTool(0, [&] {
        if (posted == total || !IsClipboardFormatAvailable(MarkerFormat())) return;
        const int i = ++posted;
        if (i % 2) {
            SetClipboardText(L"https://secret.example/" + std::to_wstring(i), {privateFormat});
            return;
        }
        std::lock_guard<std::mutex> guard(lock);
        links.push_back(L"https://synced.example/" + std::to_wstring(i));
        SetClipboardText(links.back());
    });
    for (int copy = 0; posted < total; ++copy) {
        {
            std::lock_guard<std::mutex> guard(lock);
            links.push_back(L"https://copied.example/" + std::to_wstring(copy));
        }
        PutClipboardText(links.back());
        // Until the sync tool's next private entry has lain unexamined for a while.
        const int before = posted;
        ASSERT_TRUE(PumpUntil([&] { return posted > before + (before % 2 ? 1 : 0) || posted == total; }, 5000));
        PumpFor(300);
    }
    std::wstring expected;
    for (const std::wstring& link : links)
        expected += (expected.empty() ? L"" : L"\r\n") + link;
    PumpUntil([&] { return form->txtURLs.Text() == expected; }, 3000);
    EXPECT_EQ(expected, form->txtURLs.Text());
    EXPECT_EQ(Stored(ToUtf8(expected)), ReadBytes(ListFile()));
}

namespace {
DWORD WINAPI CloseAfterAMoment(void* file) {
    Sleep(30);
    CloseHandle(file);
    return 0;
}

std::atomic<int> g_writes{0};
BOOL WINAPI CountingWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    ++g_writes;
    return WriteFile(file, data, size, written, overlapped);
}
} // namespace

TEST_F(MainWindowTest, ALinkWhoseSaveAnotherProgramRefusedIsWrittenOnceItLetsGo) {
    auto form = Open();
    PutClipboardText(L"https://a.example/");
    Capture(*form);
    auto holdList = [&] {
        return CreateFileW(ListFile().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    };
    {
        SCOPED_TRACE("a virus scanner's glance: the save waits for it");
        HANDLE scanner = holdList();
        HANDLE release = CreateThread(nullptr, 0, CloseAfterAMoment, scanner, 0, nullptr);
        PutClipboardText(L"https://b.example/");
        Capture(*form);
        WaitForSingleObject(release, INFINITE);
        CloseHandle(release);
        EXPECT_EQ(Stored("https://a.example/\r\nhttps://b.example/"), ReadBytes(ListFile()));
    }
    {
        SCOPED_TRACE("a longer hold: tried after 2 s, then 4, 8, ... and once a minute at most");
        form->clock = 1000;
        HANDLE reader = holdList();
        PutClipboardText(L"https://c.example/");
        Capture(*form);
        g_writes = 0;
        SetWriteFileForTesting(CountingWriteFile);
        ScopeExit restore([] { SetWriteFileForTesting(nullptr); });
        std::vector<int> triedAt; // seconds after the capture
        for (int second = 1; second <= 250; ++second) {
            form->clock += 1000;
            const int before = g_writes;
            form->tmrClipboardCheck_Timer();
            if (g_writes != before) triedAt.push_back(second);
        }
        EXPECT_EQ((std::vector<int>{2, 6, 14, 30, 62, 122, 182, 242}), triedAt);
        CloseHandle(reader);
        form->clock += 60000;
        form->tmrClipboardCheck_Timer();
        EXPECT_EQ(Stored("https://a.example/\r\nhttps://b.example/\r\nhttps://c.example/"), ReadBytes(ListFile()));
    }
}

namespace {
DWORD WINAPI CopyFromAnotherProgram(void*) {
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (OpenClipboard(window)) {
        SetClipboardText(L"https://meanwhile.example/");
        CloseClipboard();
    }
    DestroyWindow(window);
    return 0;
}
} // namespace

TEST_F(MainWindowTest, AProgramThatNeverRendersItsTextFreezesNothingAndStopsNoCapture) {
    auto form = Open();
    auto hung = std::make_unique<DelayedTextOwner>(L"https://hung.example/", INFINITE);
    PumpFor(500); // a reader waits on the hung program now
    // The user copies in another program, which opens the clipboard for its window. Emptying it
    // tells the hung owner first and waits for it a while: a thread of its own (CopyFromAnotherProgram).
    HANDLE copier = CreateThread(nullptr, 0, CopyFromAnotherProgram, nullptr, 0, nullptr);
    EXPECT_TRUE(PumpUntil([&] { return form->txtURLs.Text() == L"https://meanwhile.example/"; }, 20000));
    WaitForSingleObject(copier, INFINITE);
    CloseHandle(copier);
    // The window still answers at once, and a close saves and ends it without waiting for a reader.
    PostMessageW(form->Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return !form->IsLoaded(); }, 1000));
    EXPECT_EQ(Stored("https://meanwhile.example/"), ReadBytes(ListFile()));
    hung.reset();
}

TEST_F(MainWindowTest, AProgramThatRendersItsTextLateIsCollectedOnceWhileTheWindowAnswers) {
    auto form = Open();
    DelayedTextOwner slow(L"https://slow.example/", 3000);
    // The longest the window's thread was away from its messages while the text was awaited.
    ULONGLONG last = GetTickCount64(), longest = 0;
    EXPECT_TRUE(PumpUntil(
        [&] {
            const ULONGLONG now = GetTickCount64();
            longest = std::max(longest, now - last);
            last = now;
            return form->txtURLs.TextLength() > 0;
        },
        10000));
    EXPECT_LT(longest, 1000u);
    PumpFor(600);
    EXPECT_EQ(L"https://slow.example/", form->txtURLs.Text());
    EXPECT_EQ(1u, form->beeps.size());
}
