#include "SupportFunctions.h"

#include "Errors.h"
#include "Font.h"
#include "Handles.h"
#include "HelpWindow.h"
#include "Text.h"
#include "WindowSubclass.h"

#include <objbase.h>
#include <shlobj.h>

#include <memory>
#include <vector>

void esRegisterAppPath() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (!length || length == MAX_PATH) return;
    const wchar_t* name = wcsrchr(path, L'\\');
    std::wstring key = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
    key += name ? name + 1 : path;
    HKEY raw = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegKey appKey(raw);
    RegSetValueExW(appKey.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                   (length + 1) * sizeof(wchar_t));
}

namespace {
// The size of a system metric at a DPI (GetSystemMetricsForDpi where the system has it).
int MetricForDpi(int metric, UINT dpi) {
    using Fn = int(WINAPI*)(int, UINT);
    static const auto forDpi = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetSystemMetricsForDpi")));
    if (forDpi) return forDpi(metric, dpi);
    // Older systems give the metric for the system DPI.
    return MulDiv(GetSystemMetrics(metric), static_cast<int>(dpi), static_cast<int>(WindowDpi(nullptr)));
}

// The icons a window got from asSetWindowResIconAll: made for its DPI, made again when the DPI
// changes, freed with the window.
struct WindowIcons {
    static constexpr const wchar_t* kProperty = L"Quenlit.WindowIcons";
    std::wstring resourceName;
    IconHandle big, small;
    std::unique_ptr<WindowSubclass> watch;

    void Apply(HWND window, UINT dpi) {
        // Not shared: a shared icon is the one cached for the first size asked, whatever the size.
        auto load = [&](int metric) {
            const int size = MetricForDpi(metric, dpi);
            IconHandle icon(static_cast<HICON>(
                LoadImageW(GetModuleHandleW(nullptr), resourceName.c_str(), IMAGE_ICON, size, size, 0)));
            if (!icon) ThrowLastError(L"Can't load the icon", resourceName);
            return icon;
        };
        IconHandle newBig = load(SM_CXICON), newSmall = load(SM_CXSMICON);
        SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(newBig.Get()));
        SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(newSmall.Get()));
        big = std::move(newBig); // the icons shown before are freed only now
        small = std::move(newSmall);
    }
};
} // namespace

void asSetWindowResIconAll(HWND window, const std::wstring& resourceName) {
    auto* icons = static_cast<WindowIcons*>(GetPropW(window, WindowIcons::kProperty));
    if (!icons) {
        auto fresh = std::make_unique<WindowIcons>();
        WindowIcons* self = fresh.get();
        fresh->watch = std::make_unique<WindowSubclass>(window, [self, window](UINT message, WPARAM& wParam,
                                                                               LPARAM&, LRESULT&) {
            if (message == WM_DPICHANGED) {
                self->Apply(window, LOWORD(wParam));
            } else if (message == WM_NCDESTROY) {
                RemovePropW(window, WindowIcons::kProperty);
                delete self; // the window owned it
            }
            return false;
        });
        if (!SetPropW(window, WindowIcons::kProperty, self)) ThrowLastError(L"Can't keep the window's icons");
        icons = fresh.release();
    }
    icons->resourceName = resourceName;
    icons->Apply(window, WindowDpi(window));
}

void asCenterFormEx(HWND window) {
    RECT rc;
    if (!GetWindowRect(window, &rc)) ThrowLastError(L"Can't centre the window");
    MONITORINFO mi{sizeof(mi)};
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &mi);
    const RECT& area = mi.rcWork;
    int width = rc.right - rc.left, height = rc.bottom - rc.top;
    int left = area.left + ((area.right - area.left) - width) / 2;
    int top = area.top + ((area.bottom - area.top) - height) / 2;
    SetWindowPos(window, nullptr, left > area.left ? left : area.left, top > area.top ? top : area.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::wstring esGetSpecialFolder(int csidl) {
    wchar_t path[MAX_PATH];
    HRESULT hr = SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path);
    if (FAILED(hr))
        throw AppError{hr, L"Can't find the special folder " + Decimal(static_cast<unsigned>(csidl)) + L"."};
    return path;
}

std::wstring esBuildFileName2(std::initializer_list<std::wstring_view> parts) {
    std::wstring path;
    for (std::wstring_view part : parts) {
        if (part.empty()) continue;
        if (!path.empty() && path.back() != L'\\' && part.front() != L'\\') path += L'\\';
        if (!path.empty() && path.back() == L'\\' && part.front() == L'\\') part.remove_prefix(1);
        path += part;
    }
    return path;
}

std::wstring esBuildFileName(const std::wstring& folder, const std::wstring& fileName, int) {
    return esBuildFileName2({folder, fileName});
}

bool esIsFileExist(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring esGetFilePath(const std::wstring& fullName) {
    size_t slash = fullName.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return {};
    std::wstring folder = fullName.substr(0, slash);
    if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
    return folder;
}

std::wstring esGetFullFileName(const std::wstring& path, int) {
    if (path.empty()) return {};
    DWORD length = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (!length) ThrowLastError(L"Can't resolve the path", path);
    std::wstring full(length, L'\0');
    length = GetFullPathNameW(path.c_str(), length, full.data(), nullptr);
    full.resize(length);
    return full;
}

bool esIsHostWinNT() {
    // Windows 9x sets the high bit of the version word.
    return (GetVersion() & 0x80000000u) == 0;
}

std::wstring esGetComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &length)) ThrowLastError(L"Can't read the computer's name");
    return std::wstring(name, length);
}

namespace {
template <class Format> std::wstring FormatMoment(Format format, const SYSTEMTIME& moment, DWORD flags) {
    wchar_t text[128];
    int length = format(LOCALE_USER_DEFAULT, flags, &moment, nullptr, text, 128);
    if (!length) ThrowLastError(L"Can't format the date and time");
    return std::wstring(text, static_cast<size_t>(length - 1));
}
} // namespace

std::wstring esFormatDate2(const SYSTEMTIME& moment, int, int) {
    return FormatMoment(GetDateFormatW, moment, DATE_SHORTDATE);
}

std::wstring esFormatTime2(const SYSTEMTIME& moment, int, int) {
    return FormatMoment(GetTimeFormatW, moment, 0);
}

std::wstring esGetNewGUID() {
    GUID guid;
    HRESULT hr = CoCreateGuid(&guid);
    if (FAILED(hr)) throw AppError{hr, L"Can't make a new GUID."};
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

void esOpenReadMeFile(int) {
    ShowHelpWindow();
}

void asTextBoxAddText(HWND edit, const std::wstring& text) {
    const int length = GetWindowTextLengthW(edit);
    DWORD start = 0, end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const bool caretAtEnd = start == end && static_cast<int>(end) == length;
    if (static_cast<size_t>(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0)) < length + text.size())
        SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);
    SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(length), static_cast<LPARAM>(length));
    SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    const bool appended = GetWindowTextLengthW(edit) == length + static_cast<int>(text.size());
    // A caret waiting at the end follows the list, so the newest link is in view.
    if (!caretAtEnd) SendMessageW(edit, EM_SETSEL, start, end);
    if (!appended) throw AppError{E_OUTOFMEMORY, L"The text box cannot hold more text."};
}

void asTextBoxSelectAll(HWND edit) {
    if (!IsWindow(edit)) throw AppError{E_HANDLE, L"The text box is gone."};
    SendMessageW(edit, EM_SETSEL, 0, -1);
}

namespace {
BOOL(WINAPI* g_beep)(DWORD, DWORD) = Beep;
}

void SetBeepForTesting(BOOL(WINAPI* beep)(DWORD, DWORD)) {
    g_beep = beep ? beep : Beep;
}

void asBeep(DWORD frequency, DWORD milliseconds) {
    g_beep(frequency, milliseconds);
}
