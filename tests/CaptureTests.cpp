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
    PutClipboardText(L"https://пример.рф/б\r\n"); // an editor's whole line: kept without its break
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
         {L"plain words", L"Re: hello", L"https://a.example/\r\n\r\n", L"https://a.example/\r\nhttps://b.example/",
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

namespace {
int g_opens = 0;
BOOL WINAPI CountingOpenClipboard(HWND owner) {
    const BOOL opened = OpenClipboard(owner);
    g_opens += opened ? 1 : 0;
    return opened;
}

// A link with one more format beside it, holding these bytes, and another holding a DWORD 0.
void PutMarkedLink(const std::wstring& link, const char* format, const std::string& bytes, const char* forbidding) {
    OpenClipboard(nullptr);
    SetClipboardText(link);
    if (forbidding) SetClipboardData(RegisterClipboardFormatA(forbidding), GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 4));
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    SetClipboardData(RegisterClipboardFormatA(format), block);
    CloseClipboard();
}
} // namespace

TEST_F(MainWindowTest, PicturesAndPrivateContentAreNeitherTaggedNorRead) {
    auto form = Open();
    PutPictureAlone();
    Capture(*form);
    EXPECT_FALSE(IsClipboardFormatAvailable(MarkerFormat()));
    using namespace std::string_literals;
    const struct {
        const char* format;
        std::string bytes;
        bool kept;
        const char* alsoForbidding = nullptr;
    } marks[] = {
        {"ExcludeClipboardContentFromMonitorProcessing", "\1\0\0\0"s, false}, // its presence alone
        {"Clipboard Viewer Ignore", "\1\0\0\0"s, false},
        {"CanIncludeInClipboardHistory", "\0\0\0\0"s, false},
        {"CanUploadToCloudClipboard", "\0\0\0\0"s, false},
        {"CanIncludeInClipboardHistory", "\1\0"s, false}, // too short for a DWORD: no consent
        {"CanIncludeInClipboardHistory", "\1\0\0\0"s, true},
        {"CanUploadToCloudClipboard", "\1\0\0\0"s, true},
        {"CanIncludeInClipboardHistory", "\1\0\0\0"s, false, "CanUploadToCloudClipboard"}, // either forbids
    };
    std::wstring expected;
    for (const auto& mark : marks) {
        SCOPED_TRACE(testing::Message() << mark.format << " of " << mark.bytes.size() << " bytes, "
                                        << int(mark.bytes[0]));
        const std::wstring link = L"https://" + std::to_wstring(&mark - marks) + L".example/";
        PutMarkedLink(link, mark.format, mark.bytes, mark.alsoForbidding);
        g_opens = 0;
        SetOpenClipboardForTesting(CountingOpenClipboard);
        ScopeExit restore([] { SetOpenClipboardForTesting(nullptr); });
        for (int tick = 0; tick < 4; ++tick)
            Capture(*form);
        EXPECT_EQ(mark.kept, IsClipboardFormatAvailable(MarkerFormat()) != FALSE);
        EXPECT_LE(g_opens, 1); // private content is not opened at every tick
        if (mark.kept) expected += (expected.empty() ? L"" : L"\r\n") + link;
        EXPECT_EQ(expected, form->txtURLs.Text());
    }
    EXPECT_EQ(Stored(ToUtf8(expected)), ReadBytes(ListFile()));
}

TEST_F(MainWindowTest, ContentHeldOpenByAnotherProgramIsTakenOnceItIsReleased) {
    auto form = Open();
    auto holder = std::make_unique<ClipboardHolder>(INFINITE, L"https://held.example/");
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
    std::optional<std::wstring> ReadOpened() override {
        ++reads;
        taggedAtRead = IsClipboardFormatAvailable(MarkerFormat()) != FALSE;
        return ClipboardText::ReadOpened();
    }
};
} // namespace

TEST_F(MainWindowTest, TheContentIsReadAndTaggedInOneOpening) {
    // Tagged after the read, inside the same opening: nobody can replace the content in between,
    // and a read cut short (a close, the end of the process) leaves it untagged for the next start.
    auto form = Open();
    WatchingReader reader;
    SetClipboardTextForTesting(&reader);
    g_opens = 0;
    SetOpenClipboardForTesting(CountingOpenClipboard);
    ScopeExit restore([] {
        SetClipboardTextForTesting(nullptr);
        SetOpenClipboardForTesting(nullptr);
    });
    PutClipboardText(L"https://a.example/");
    Capture(*form);
    EXPECT_EQ(1, reader.reads);
    EXPECT_EQ(1, g_opens);
    EXPECT_FALSE(reader.taggedAtRead);
    EXPECT_TRUE(IsClipboardFormatAvailable(MarkerFormat()));
    EXPECT_EQ(L"https://a.example/", form->txtURLs.Text());
}

namespace {
// A password manager puts its entry between the tick's look and the reader's opening.
const char* g_privateMark = nullptr;
BOOL WINAPI PrivateEntryFirst(HWND owner) {
    if (OpenClipboard(nullptr)) {
        SetClipboardText(L"https://secret.example/", {RegisterClipboardFormatA(g_privateMark)});
        CloseClipboard();
    }
    return OpenClipboard(owner);
}
} // namespace

TEST_F(MainWindowTest, ContentReplacedBeforeTheOpeningIsTestedAgainInsideIt) {
    auto form = Open();
    SetOpenClipboardForTesting(PrivateEntryFirst);
    ScopeExit restore([] { SetOpenClipboardForTesting(nullptr); });
    for (const char* mark : {"Clipboard Viewer Ignore", "CanIncludeInClipboardHistory"}) {
        SCOPED_TRACE(mark);
        g_privateMark = mark; // the second holds a DWORD 0
        PutClipboardText(L"https://a.example/");
        Capture(*form);
        EXPECT_FALSE(IsClipboardFormatAvailable(MarkerFormat()));
        EXPECT_EQ(L"", form->txtURLs.Text());
    }
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

TEST_F(MainWindowTest, LinksCopiedOneAfterAnotherFasterThanTheTickAreEachCollectedOnceInOrder) {
    auto form = Open();
    std::wstring expected;
    for (int i = 0; i < 20; ++i) {
        const std::wstring link = L"https://burst.example/" + std::to_wstring(i);
        PutClipboardText(link);
        expected += (i ? L"\r\n" : L"") + link;
        PumpFor(100);
    }
    PumpUntil([&] { return form->txtURLs.Text() == expected; }, 3000);
    EXPECT_EQ(expected, form->txtURLs.Text());
    EXPECT_EQ(Stored(ToUtf8(expected)), ReadBytes(ListFile()));
}

namespace {
// A user-interface thread that loses the processor for a moment in the middle of a capture, as
// on a busy machine: other programs get their turn at the clipboard there.
struct PreemptedReader : ClipboardText {
    std::optional<std::wstring> ReadOpened() override {
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
        const int written = g_writes;
        for (int minute = 0; minute < 3; ++minute) {
            form->clock += 60000;
            form->tmrClipboardCheck_Timer();
        }
        EXPECT_EQ(written, g_writes) << "a list saved is not written again";
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
    // The window still answers at once, and a close saves and ends it, waiting a second at most
    // for a reader.
    PostMessageW(form->Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return !form->IsLoaded(); }, 2000));
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

TEST_F(MainWindowTest, AReadUnderWayAtACloseIsCollectedOrLeftUnmarkedForTheNextStart) {
    // The close waits a second for the readers: an owner that renders well within it is collected,
    // one that renders long after is left unmarked. Either way what is marked is in the list.
    const struct {
        const char* what;
        DWORD renderMs;
        bool collectedAtClose;
        bool endSession = false;
    } cases[] = {
        {"rendered within the close's second", 1000, true},
        {"rendered after it: the next start takes it", 4000, false},
        {"the session ends with a dialog open", 1000, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveTree(folder.Path());
        CreateDirectoryW(folder.Path().c_str(), nullptr);
        auto form = Open();
        DelayedTextOwner slow(L"https://slow.example/", c.renderMs);
        form->tmrClipboardCheck_Timer();
        PumpFor(500);
        const ULONGLONG closed = GetTickCount64();
        if (c.endSession) {
            Form::ModalLoop dialog;
            SendMessageW(form->Handle(), WM_ENDSESSION, TRUE, 0);
        } else {
            PostMessageW(form->Handle(), WM_CLOSE, 0, 0);
            EXPECT_TRUE(PumpUntil([&] { return !form->IsLoaded(); }, 3000));
        }
        EXPECT_LT(GetTickCount64() - closed, 2500u); // never the owner's whole time
        const bool marked = IsClipboardFormatAvailable(MarkerFormat()) != FALSE;
        EXPECT_EQ(c.collectedAtClose, marked);
        EXPECT_EQ(Stored(marked ? "https://slow.example/" : ""), ReadBytes(ListFile()));
        if (marked) continue;
        Sleep(c.renderMs); // the abandoned read ends: it must mark nothing
        EXPECT_FALSE(IsClipboardFormatAvailable(MarkerFormat()));
        auto next = Open();
        EXPECT_TRUE(PumpUntil([&] { return next->txtURLs.Text() == L"https://slow.example/"; }, 5000));
    }
}

TEST_F(MainWindowTest, AProgramBusyAfterCopyingOrFailingToRenderHasItsLinkCollectedOnceWhenItAnswers) {
    // Answering no message for a moment is waited for within one tick's read; for seconds (a
    // spreadsheet recalculating), or a render that failed, later ticks look again.
    const struct {
        const char* what;
        DWORD busyMs;
        int failedRenders;
    } cases[] = {{"busy for a second", 1000, 0}, {"busy for seven", 7000, 0}, {"its first render fails", 0, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteFileW(ListFile().c_str());
        auto form = Open();
        DelayedTextOwner busy(L"https://busy.example/", c.busyMs < 5000 ? 100 : 0, true, c.busyMs, c.failedRenders);
        const bool withinOneRead = c.busyMs == 1000;
        if (withinOneRead) Capture(*form);
        EXPECT_TRUE(PumpUntil([&] { return form->txtURLs.TextLength() > 0; }, withinOneRead ? 0 : 20000));
        PumpFor(1000);
        EXPECT_EQ(L"https://busy.example/", form->txtURLs.Text());
        EXPECT_EQ(1u, form->beeps.size());
    }
}

namespace {
// The first reader waits (on its owner, say) until released; every other opens at once.
std::atomic<int> g_openings{0};
HANDLE g_releaseFirst = nullptr;
BOOL WINAPI FirstOpensLast(HWND owner) {
    if (g_openings++ == 0) WaitForSingleObject(g_releaseFirst, 10000);
    return OpenClipboard(owner);
}
} // namespace

TEST_F(MainWindowTest, AReaderThatOpensLastBringsNewerContentAndItIsCollected) {
    auto form = Open();
    g_openings = 0;
    g_releaseFirst = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetOpenClipboardForTesting(FirstOpensLast);
    ScopeExit restore([] {
        SetEvent(g_releaseFirst);
        SetOpenClipboardForTesting(nullptr);
        Sleep(100);
        CloseHandle(g_releaseFirst);
    });
    PutClipboardText(L"https://first.example/");
    form->tmrClipboardCheck_Timer(); // this reader waits
    Sleep(ClipboardReaders::kPatienceMs + 200);
    PutClipboardText(L"https://second.example/");
    form->tmrClipboardCheck_Timer(); // a second reader, which collects at once
    EXPECT_TRUE(PumpUntil([&] { return form->txtURLs.Text() == L"https://second.example/"; }, 5000));
    // The same program copies again; the first reader opens now and finds that.
    PutClipboardText(L"https://third.example/");
    SetEvent(g_releaseFirst);
    form->WaitForClipboardReads(5000);
    EXPECT_EQ(L"https://second.example/\r\nhttps://third.example/", form->txtURLs.Text());
}

