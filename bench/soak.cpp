// A day of use in minutes: the real program, another clipboard watcher beside it that holds the
// clipboard after every change, and thousands of copies of links, other texts and password-manager
// entries; among them a program that renders its text 3 s late, one that hangs for 10 s without
// ever rendering, and two bursts of links copied one after another (150 ms and 40 ms apart).
// Prints what was lost, stored twice or stored though private, the time from copy
// to file, how often the window did not answer within a second, and the program's handle count at
// the start and the end.
// Usage: quenlit_soak <Quenlit.exe> <URLs.TXT> <links> [how long the watcher holds the clipboard, ms: 100]
#include "support/Text.h"
#include "TestSupport.h"

#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

const wchar_t kShippedGuid[] = L"{3F0C9A6E-52D1-4B7E-9C2A-7E15D4B8A0F3}";

struct Copy {
    std::wstring text;
    UINT privateFormat; // 0: an ordinary copy
    bool isLink;
    DWORD renderMs = 0; // rendered only when asked, this late (INFINITE: a hung program)
    DWORD apartMs = 0;  // one of a burst: the next copy follows this long after, unwaited for
};

// Puts the content as a browser or a password manager would, retrying while another holds the clipboard.
// Not the tests' PutClipboardText: that one marks the content as seen by the shipped program, which
// is the program the soak drives.
bool Put(HWND owner, const Copy& copy) {
    for (int attempt = 0; !OpenClipboard(owner); ++attempt) {
        if (attempt == 400) return false;
        Sleep(5);
    }
    EmptyClipboard();
    const size_t bytes = (copy.text.size() + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    memcpy(GlobalLock(block), copy.text.c_str(), bytes);
    GlobalUnlock(block);
    SetClipboardData(CF_UNICODETEXT, block);
    if (copy.privateFormat) SetClipboardData(copy.privateFormat, GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 4));
    CloseClipboard();
    return true;
}

// Waits with the window messages pumped: the clipboard's owner must answer what the system sends it.
// In steps of 2 ms, finer than PumpUntil's, for the latency figures.
bool Wait(DWORD milliseconds, const std::function<bool()>& done) {
    const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (!done()) {
        if (Clock::now() > end) return false;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 2, QS_ALLINPUT);
    }
    return true;
}

BOOL CALLBACK FindVisible(HWND window, LPARAM param) {
    if (!IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
}

// The program's own window: among the windows of the thread it started with.
HWND MainWindowOf(DWORD threadId) {
    HWND found = nullptr;
    EnumThreadWindows(threadId, FindVisible, reinterpret_cast<LPARAM>(&found));
    return found;
}

// From the system's process list: Wine answers GetProcessHandleCount for the calling process only,
// but its server keeps the count of every process.
ULONG HandleCount(DWORD processId) {
    std::vector<BYTE> buffer(1 << 20);
    ULONG size = 0;
    if (NtQuerySystemInformation(SystemProcessInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                                 &size) != 0)
        return 0;
    for (size_t offset = 0;;) {
        const auto* entry = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(buffer.data() + offset);
        if (reinterpret_cast<ULONG_PTR>(entry->UniqueProcessId) == processId) return entry->HandleCount;
        if (!entry->NextEntryOffset) return 0;
        offset += entry->NextEntryOffset;
    }
}
} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: quenlit_soak <Quenlit.exe> <URLs.TXT> <links> [watcher's hold, ms]\n");
        return 2;
    }
    const std::wstring exe = argv[1], list = argv[2];
    const int links = _wtoi(argv[3]);

    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{sizeof(startup)};
    PROCESS_INFORMATION program{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &program)) {
        std::fprintf(stderr, "can't start the program: %lu\n", GetLastError());
        return 1;
    }
    HWND window = nullptr;
    Wait(20000, [&] { return (window = MainWindowOf(program.dwThreadId)) != nullptr; });
    if (!window) {
        std::fprintf(stderr, "the program showed no window\n");
        return 1;
    }
    Sleep(1000);
    const DWORD handlesAtStart = HandleCount(program.dwProcessId);

    const UINT marker = RegisterClipboardFormatW(kShippedGuid);
    // The four marks by turns; the last two as a DWORD 0 (Put writes four zero bytes).
    const UINT privateFormats[] = {RegisterClipboardFormatA("ExcludeClipboardContentFromMonitorProcessing"),
                                   RegisterClipboardFormatA("Clipboard Viewer Ignore"),
                                   RegisterClipboardFormatA("CanIncludeInClipboardHistory"),
                                   RegisterClipboardFormatA("CanUploadToCloudClipboard")};
    HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    // A clipboard history beside the program, which holds the clipboard after every change.
    ClipboardMonitor monitor(argc == 5 ? static_cast<DWORD>(_wtoi(argv[4])) : 100);

    std::vector<Copy> copies;
    for (int i = 0, link = 0; link < links; ++i) {
        const std::wstring n = std::to_wstring(i);
        switch (i % 6) {
        case 4:
            copies.push_back({L"words, not a link " + n, 0, false});
            break;
        case 5:
            copies.push_back({L"https://secret.example/" + n, privateFormats[(i / 6) % 4], false});
            break;
        default:
            copies.push_back({L"https://soak.example/" + n, 0, true});
            ++link;
        }
    }

    // A quarter and half of the way one program copies 20 links one after another, as a quick hand
    // would (copy, next tab, copy) and as a script would.
    for (const auto& [at, apartMs] : {std::pair{copies.size() / 4, 150u}, std::pair{copies.size() / 2, 40u}}) {
        std::vector<Copy> burst;
        for (int i = 0; i < 20; ++i)
            burst.push_back({L"https://burst.example/" + std::to_wstring(apartMs) + L"/" + std::to_wstring(i), 0,
                             true, 0, apartMs});
        copies.insert(copies.begin() + static_cast<long>(at), burst.begin(), burst.end());
    }
    // A third of the way a program that renders late, two thirds a hung one: its text is not a link
    // anybody can expect, but nothing after it may be lost.
    copies.insert(copies.begin() + static_cast<long>(copies.size() / 3), Copy{L"https://slow.example/", 0, true, 3000});
    copies.insert(copies.begin() + static_cast<long>(copies.size() * 2 / 3), Copy{L"https://hung.example/", 0, false, INFINITE});

    std::vector<double> latencies;
    int failedPuts = 0, unanswered = 0;
    std::unique_ptr<DelayedTextOwner> delayed;
    ULONGLONG hungSince = 0;
    const auto started = Clock::now();
    for (const Copy& copy : copies) {
        // The hung program ends after 10 s, as the user kills it.
        if (hungSince && GetTickCount64() - hungSince > 10000) {
            delayed.reset();
            hungSince = 0;
        }
        if (copy.renderMs) {
            delayed = std::make_unique<DelayedTextOwner>(copy.text, copy.renderMs, false);
            if (copy.renderMs == INFINITE) hungSince = GetTickCount64();
        } else if (!Put(owner, copy)) {
            ++failedPuts;
            continue;
        }
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &answer)) ++unanswered;
        const auto copied = Clock::now();
        if (copy.apartMs) {
            Wait(copy.apartMs, [] { return false; }); // counted at the end
        } else if (copy.privateFormat) {
            Wait(600, [] { return false; }); // left alone at two ticks at least
        } else if (copy.renderMs == INFINITE) {
            Wait(300, [] { return false; });
        } else if (!copy.isLink) {
            Wait(3000, [&] { return IsClipboardFormatAvailable(marker) != FALSE; });
        } else {
            const std::string line = ToUtf8(copy.text);
            if (Wait(copy.renderMs + 5000, [&] { return ReadBytes(list).find(line) != std::string::npos; }))
                latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - copied).count());
        }
    }
    const double minutes = std::chrono::duration<double>(Clock::now() - started).count() / 60;
    Sleep(1000);
    delayed.reset();

    // Every line of the file, counted.
    std::map<std::string, int> stored;
    const std::string text = ReadBytes(list);
    for (size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0; start <= text.size();) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        ++stored[text.substr(start, end - start)];
        start = end + 2;
    }
    int lost = 0, twice = 0, privateLines = 0, others = 0;
    for (const Copy& copy : copies) {
        const auto found = stored.find(ToUtf8(copy.text));
        const int count = found == stored.end() ? 0 : found->second;
        if (copy.isLink) {
            if (count == 0 && ++lost <= 5) std::printf("lost: %s\n", ToUtf8(copy.text).c_str());
            twice += count > 1;
        } else if (copy.privateFormat) {
            privateLines += count;
        } else if (copy.renderMs) {
            // the hung program's own text: never rendered
        } else {
            others += count;
        }
    }

    const DWORD handlesAtEnd = HandleCount(program.dwProcessId);
    DWORD exitCode = 0;
    GetExitCodeProcess(program.hProcess, &exitCode);
    const bool running = exitCode == STILL_ACTIVE;
    std::sort(latencies.begin(), latencies.end());
    const auto allLinks = std::count_if(copies.begin(), copies.end(), [](const Copy& copy) { return copy.isLink; });
    std::printf("copies: %zu (%zu links, %zu others) in %.1f minutes, %d could not be put\n", copies.size(),
                static_cast<size_t>(allLinks), copies.size() - static_cast<size_t>(allLinks), minutes, failedPuts);
    std::printf("links lost: %d, links stored twice: %d, private lines stored: %d, other texts stored: %d\n", lost,
                twice, privateLines, others);
    if (!latencies.empty())
        std::printf("copy-to-file latency: median %.0f ms, maximum %.0f ms\n", latencies[latencies.size() / 2],
                    latencies.back());
    std::printf("window did not answer within a second after %d of the copies\n", unanswered);
    std::printf("program handles (wineserver): %lu at the start, %lu at the end\n", handlesAtStart, handlesAtEnd);
    std::printf("program still running at the end: %s\n", running ? "yes" : "NO");
    if (running) {
        PostMessageW(window, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(program.hProcess, 20000) != WAIT_OBJECT_0) std::printf("it did not close\n");
    } else {
        std::printf("exit code: 0x%08lX\n", exitCode);
    }
    DestroyWindow(owner);
    CloseHandle(program.hThread);
    CloseHandle(program.hProcess);
    return lost || twice || privateLines || unanswered || !running ? 1 : 0;
}
