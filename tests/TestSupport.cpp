#include "TestSupport.h"

#include "support/MessageBox.h"
#include "support/Form.h"
#include "support/SettingsStore.h"
#include "support/SupportFunctions.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>

#include <stdexcept>

namespace {
std::wstring Environment(const wchar_t* name) {
    wchar_t value[MAX_PATH * 2];
    DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH * 2);
    return length && length < MAX_PATH * 2 ? std::wstring(value, length) : std::wstring();
}

const Application g_shipped = App();
// Before any test runs: a product name and a GUID of this process's own.
const bool g_testIdentity = [] {
    Application test = g_shipped;
    test.product = g_shipped.product + L" Test " + std::to_wstring(GetCurrentProcessId());
    test.guid = esGetNewGUID();
    SetAppForTesting(test);
    return true;
}();
} // namespace

bool InTestSandbox() {
    // ./quenlit test names its Wine prefix; any other prefix, or Windows itself, is someone's own.
    const std::wstring sandbox = Environment(L"QUENLIT_TEST_SANDBOX");
    return !sandbox.empty() && sandbox == Environment(L"WINEPREFIX");
}

const Application& ShippedIdentity() {
    return g_shipped;
}

std::wstring SettingsKey() {
    return SettingsStore(App()).KeyPath();
}

void RemoveTestSettings(const Application& app) {
    const std::wstring key = SettingsStore(app).KeyPath();
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    // The company's key too, when nothing else is in it: the tests may have made it.
    const std::wstring company = key.substr(0, key.rfind(L'\\'));
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, company.c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS) return;
    DWORD subkeys = 1, values = 1;
    const LSTATUS status = RegQueryInfoKeyW(raw, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                                            nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(raw);
    if (status == ERROR_SUCCESS && subkeys == 0 && values == 0) RegDeleteKeyW(HKEY_CURRENT_USER, company.c_str());
}

TempFolder::TempFolder() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    static int counter = 0;
    path_ = std::wstring(base) + L"quenlit-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++counter);
    RemoveTree(path_);
    if (!CreateDirectoryW(path_.c_str(), nullptr)) throw std::runtime_error("can't make a temporary folder");
}

TempFolder::~TempFolder() {
    RemoveTree(path_);
}

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring full = path + L"\\" + name;
            SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(full);
            else
                DeleteFileW(full.c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!RemoveDirectoryW(path.c_str())) DeleteFileW(path.c_str());
}

std::vector<std::wstring> FileNames(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadBytes(const std::wstring& path) {
    // Sharing delete too: a read while the program saves does not refuse its replace.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read)
        bytes.append(buffer, read);
    CloseHandle(file);
    return bytes;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("can't write a test file");
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

ScriptedBoxes::ScriptedBoxes(std::vector<int> answers) : answers_(std::move(answers)) {
    SetMessageBoxHandler([this](HWND, const std::wstring& text, const std::wstring& caption, UINT type) {
        seen_.push_back({text, caption, type});
        if (onShow) onShow(seen_.size() - 1);
        if (seen_.size() > answers_.size()) return IDCANCEL;
        return answers_[seen_.size() - 1];
    });
}

ScriptedBoxes::~ScriptedBoxes() {
    SetMessageBoxHandler(nullptr);
}

void PumpFor(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        DoEvents();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= milliseconds) return done();
        DoEvents();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

void PutClipboardText(const std::wstring& text) {
    for (int attempt = 0; !OpenClipboard(nullptr); ++attempt) {
        if (attempt == 100) throw std::runtime_error("clipboard busy");
        Sleep(10);
    }
    SetClipboardText(text);
    CloseClipboard();
}

namespace {
// A movable block holding the text and its NUL, for the clipboard.
HGLOBAL TextBlock(const std::wstring& text) {
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    memcpy(GlobalLock(block), text.c_str(), bytes);
    GlobalUnlock(block);
    return block;
}

// A message-only window of a class of the tests' own ("another program's" window), which knows its
// owner object. An owner window of its own: Wine lets two openers without a window share the clipboard.
HWND CreateHelperWindow(const wchar_t* className, WNDPROC proc, void* self) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = proc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass); // a second helper finds it registered
    HWND window = CreateWindowExW(0, className, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance,
                                  nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    return window;
}
} // namespace

void SetClipboardText(const std::wstring& text, std::initializer_list<UINT> extraFormats) {
    EmptyClipboard();
    SetClipboardData(CF_UNICODETEXT, TextBlock(text));
    // Marked as seen for the shipped program: a Quenlit the developer runs does not collect it.
    static const UINT shippedMarker = RegisterClipboardFormatW(g_shipped.guid.c_str());
    SetClipboardData(shippedMarker, GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 4));
    for (UINT format : extraFormats)
        SetClipboardData(format, GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 4));
}

ClipboardMonitor::ClipboardMonitor(DWORD holdMs, Reaction react)
    : holdMs_(holdMs), react_(std::move(react)), ready_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      thread_(CreateThread(nullptr, 0, Run, this, 0, nullptr)) {
    WaitForSingleObject(ready_, INFINITE);
}

ClipboardMonitor::~ClipboardMonitor() {
    PostThreadMessageW(GetThreadId(thread_), WM_QUIT, 0, 0);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    CloseHandle(ready_);
}

LRESULT CALLBACK ClipboardMonitor::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_CLIPBOARDUPDATE) return DefWindowProcW(window, message, wParam, lParam);
    auto* self = reinterpret_cast<ClipboardMonitor*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    for (int attempt = 0; !OpenClipboard(window); ++attempt) {
        if (attempt == 100) return 0;
        Sleep(1);
    }
    if (self->react_) self->react_();
    Sleep(self->holdMs_);
    CloseClipboard();
    return 0;
}

DWORD WINAPI ClipboardMonitor::Run(void* param) {
    auto* self = static_cast<ClipboardMonitor*>(param);
    HWND window = CreateHelperWindow(L"QuenlitTestClipboardMonitor", WindowProc, self);
    AddClipboardFormatListener(window);
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE); // the queue exists before the owner posts
    SetEvent(self->ready_);
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    RemoveClipboardFormatListener(window);
    DestroyWindow(window);
    return 0;
}

DelayedTextOwner::DelayedTextOwner(std::wstring text, DWORD renderMs, bool hideFromShipped, DWORD busyMs,
                                   int failedRenders)
    : text_(std::move(text)), renderMs_(renderMs), hideFromShipped_(hideFromShipped), busyMs_(busyMs),
      failedRenders_(failedRenders),
      ready_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      thread_(CreateThread(nullptr, 0, Run, this, 0, nullptr)) {
    WaitForSingleObject(ready_, INFINITE);
}

DelayedTextOwner::~DelayedTextOwner() {
    SetEvent(stop_);
    WaitForSingleObject(thread_, INFINITE);
    for (HANDLE h : {thread_, ready_, stop_})
        CloseHandle(h);
}

LRESULT CALLBACK DelayedTextOwner::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_RENDERFORMAT || wParam != CF_UNICODETEXT)
        return DefWindowProcW(window, message, wParam, lParam);
    auto* self = reinterpret_cast<DelayedTextOwner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self->failedRenders_ > 0) {
        --self->failedRenders_;
        return 0;
    }
    // Fetching the text from elsewhere (a bridge to another machine), it answers messages meanwhile.
    const ULONGLONG end = GetTickCount64() + self->renderMs_;
    for (ULONGLONG now; (now = GetTickCount64()) < end;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
    SetClipboardData(CF_UNICODETEXT, TextBlock(self->text_));
    return 0;
}

DWORD WINAPI DelayedTextOwner::Run(void* param) {
    auto* self = static_cast<DelayedTextOwner*>(param);
    HWND window = CreateHelperWindow(L"QuenlitTestDelayedOwner", WindowProc, self);
    for (int attempt = 0; !OpenClipboard(window) && attempt < 400; ++attempt)
        Sleep(5); // another watcher may hold it for a moment
    EmptyClipboard();
    SetClipboardData(CF_UNICODETEXT, self->renderMs_ ? nullptr : TextBlock(self->text_));
    if (self->hideFromShipped_) {
        static const UINT shippedMarker = RegisterClipboardFormatW(g_shipped.guid.c_str());
        SetClipboardData(shippedMarker, GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 4));
    }
    CloseClipboard();
    SetEvent(self->ready_);
    Sleep(self->busyMs_);
    if (self->renderMs_ == INFINITE) {
        WaitForSingleObject(self->stop_, INFINITE);
    } else {
        while (MsgWaitForMultipleObjects(1, &self->stop_, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&message);
        }
    }
    DestroyWindow(window);
    return 0;
}

namespace {
BOOL CALLBACK CollectStatic(HWND child, LPARAM data) {
    wchar_t cls[32];
    GetClassNameW(child, cls, 32);
    if (lstrcmpiW(cls, L"Static") == 0) {
        wchar_t text[4096];
        GetWindowTextW(child, text, 4096);
        auto* out = reinterpret_cast<std::wstring*>(data);
        if (*text) *out += std::wstring(text) + L"\n";
    }
    return TRUE;
}
} // namespace

namespace {
struct WindowSearch {
    const wchar_t* windowClass;
    const std::wstring* caption;
    HWND owner;
    HWND found;
};

BOOL CALLBACK MatchOwnWindow(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<WindowSearch*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    wchar_t text[256];
    if (!GetClassNameW(window, text, 256) || wcscmp(text, search->windowClass) != 0) return TRUE;
    if (search->owner && GetWindow(window, GW_OWNER) != search->owner) return TRUE;
    if (!search->caption->empty()) {
        GetWindowTextW(window, text, 256);
        if (*search->caption != text) return TRUE;
    }
    search->found = window;
    return FALSE;
}
} // namespace

HWND FindOwnWindow(const wchar_t* windowClass, const std::wstring& caption, HWND owner) {
    WindowSearch search{windowClass, &caption, owner, nullptr};
    EnumWindows(MatchOwnWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

DialogAnswerer::DialogAnswerer(std::wstring caption, std::function<void(HWND)> act, DWORD timeoutMs)
    : caption_(std::move(caption)), act_(std::move(act)), timeoutMs_(timeoutMs) {
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

DialogAnswerer::~DialogAnswerer() {
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
}

DWORD WINAPI DialogAnswerer::Run(void* param) {
    auto* self = static_cast<DialogAnswerer*>(param);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < self->timeoutMs_) {
        if (HWND dialog = FindOwnDialog(self->caption_)) {
            Sleep(200); // let it finish initialising
            EnumChildWindows(dialog, CollectStatic, reinterpret_cast<LPARAM>(&self->seenText_));
            self->act_(dialog);
            self->answered_ = true;
            return 0;
        }
        Sleep(50);
    }
    return 0;
}

void ClickButton(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

ClipboardHolder::ClipboardHolder(DWORD holdMs, std::wstring text)
    : holdMs_(holdMs), text_(std::move(text)), opened_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      release_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      thread_(CreateThread(nullptr, 0, Run, this, 0, nullptr)) {
    WaitForSingleObject(opened_, INFINITE);
}

ClipboardHolder::~ClipboardHolder() {
    Release();
    WaitForSingleObject(thread_, INFINITE);
    for (HANDLE h : {thread_, opened_, release_})
        CloseHandle(h);
}

void ClipboardHolder::Release() {
    SetEvent(release_);
}

DWORD WINAPI ClipboardHolder::Run(void* param) {
    auto* self = static_cast<ClipboardHolder*>(param);
    // An owner window of its own: Wine lets two openers without a window share the clipboard.
    HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    OpenClipboard(owner);
    if (!self->text_.empty()) SetClipboardText(self->text_);
    SetEvent(self->opened_);
    const ULONGLONG end = self->holdMs_ == INFINITE ? ~0ULL : GetTickCount64() + self->holdMs_;
    while (GetTickCount64() < end &&
           MsgWaitForMultipleObjects(1, &self->release_, FALSE, 10, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
    CloseClipboard();
    DestroyWindow(owner);
    return 0;
}
