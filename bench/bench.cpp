// Figures for the work that matters: an idle tick, one capture, loading a long list.
// Each is printed against the irreducible work of the same size, measured in the same run.
#include "capture/ClipboardWatcher.h"
#include "mainwindow/frmMain.h"
#include "support/Application.h"
#include "support/TextFileIO.h"
#include "AllocationCounter.h"
#include "TestSupport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {
class QuietMain : public frmMain {
  protected:
    void Sound(bool) override {}
};

// Median of several runs, in microseconds.
double Measure(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    times.reserve(static_cast<size_t>(runs));
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

std::wstring Links(int count) {
    std::wstring text;
    for (int i = 0; i < count; ++i)
        text += (i ? L"\r\n" : L"") + std::wstring(L"https://example.com/page/") + std::to_wstring(i);
    return text;
}

// What any program that keeps such a list must do: append to the edit, read it, write it, flush.
void BareCapture(HWND edit, const std::wstring& path, const std::wstring& link) {
    const int length = GetWindowTextLengthW(edit);
    SendMessageW(edit, EM_SETSEL, length, length);
    SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(link.c_str()));
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                        nullptr);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    FlushFileBuffers(file);
    CloseHandle(file);
}
} // namespace

int main() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"quenlit-bench";
    CreateDirectoryW(folder.c_str(), nullptr);
    DeleteFileW((folder + L"\\URLs.TXT").c_str());
    SetDataFolder(folder);
    RegDeleteTreeW(HKEY_CURRENT_USER, SettingsKey().c_str());

    QuietMain form;
    form.Load();
    PutClipboardText(L"https://tagged.example/");
    form.tmrClipboardCheck_Timer(); // now the content carries the marker: every later tick is idle
    form.WaitForClipboardReads(10000);

    const int idleRuns = 20000;
    long before = HeapAllocations();
    for (int i = 0; i < idleRuns; ++i)
        form.tmrClipboardCheck_Timer();
    long idleAllocations = HeapAllocations() - before;
    double idle = Measure(15, [&] {
        for (int i = 0; i < idleRuns; ++i)
            form.tmrClipboardCheck_Timer();
    });
    const UINT marker = MarkerFormat();
    double bare = Measure(15, [&] {
        for (int i = 0; i < idleRuns; ++i) {
            if (IsClipboardFormatAvailable(CF_TEXT)) IsClipboardFormatAvailable(marker);
        }
    });
    std::printf("idle tick: %.3f us, two bare IsClipboardFormatAvailable: %.3f us, ratio %.2f, heap "
                "allocations in %d idle ticks: %ld\n",
                idle / idleRuns, bare / idleRuns, idle / bare, idleRuns, idleAllocations);

    // The same kind of control as the list: same styles, same font, same size.
    RECT listRect;
    GetClientRect(form.txtURLs.Handle(), &listRect);
    HWND bareEdit = CreateWindowExW(
        WS_EX_CLIENTEDGE, L"EDIT", L"",
        WS_CHILD | WS_VISIBLE | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE | ES_AUTOHSCROLL | ES_AUTOVSCROLL, 0,
        0, listRect.right, listRect.bottom, form.Handle(), nullptr, nullptr, nullptr);
    SendMessageW(bareEdit, WM_SETFONT, SendMessageW(form.txtURLs.Handle(), WM_GETFONT, 0, 0), FALSE);
    SendMessageW(bareEdit, EM_SETLIMITTEXT, 0, 0);
    const std::wstring barePath = folder + L"\\bare.txt";
    for (int count : {1000, 10000, 100000}) {
        const std::wstring list = Links(count);
        int n = 0;
        form.txtURLs.SetText(list);
        SetWindowTextW(bareEdit, list.c_str());
        // Taken in turns, so both sides see the same machine.
        std::vector<double> captures, bares;
        for (int i = 0; i < 15; ++i) {
            PutClipboardText(L"https://new.example/" +
                             std::to_wstring(++n)); // new content for the tick below
            captures.push_back(Measure(1, [&] {
                form.tmrClipboardCheck_Timer(); // the reader's thread, then the append and the save
                form.WaitForClipboardReads(10000);
            }));
            bares.push_back(Measure(1, [&] {
                BareCapture(bareEdit, barePath, L"\r\nhttps://new.example/" + std::to_wstring(++n));
            }));
        }
        for (auto* v : {&captures, &bares})
            std::sort(v->begin(), v->end());
        const double capture = captures[7], bareCapture = bares[7];
        std::printf("capture (tag, read, test, append, save) with %6d links: %7.0f us, bare work %7.0f us, "
                    "ratio %.2f\n",
                    count, capture, bareCapture, capture / bareCapture);
    }

    const std::wstring big = Links(100000);
    TheTextFileIO().Write(folder + L"\\URLs.TXT", big);
    // Taken in turns, so both sides see the same machine.
    std::vector<double> loads, setTexts;
    for (int i = 0; i < 5; ++i) {
        loads.push_back(Measure(1, [&] { form.LoadURLs(); }));
        setTexts.push_back(Measure(1, [&] { SetWindowTextW(bareEdit, big.c_str()); }));
    }
    std::sort(loads.begin(), loads.end());
    std::sort(setTexts.begin(), setTexts.end());
    const double load = loads[2], setText = setTexts[2];
    std::printf("LoadURLs of 100000 links: %.0f ms, bare SetWindowTextW: %.0f ms, ratio %.2f\n", load / 1000,
                setText / 1000, load / setText);
    double save = Measure(3, [&] { form.SaveURLs(true); });
    std::printf("SaveURLs of 100000 links: %.0f ms\n", save / 1000);

    DestroyWindow(bareEdit);
    form.txtURLs.SetText(L"");
    RemoveTestSettings();
    return 0;
}
