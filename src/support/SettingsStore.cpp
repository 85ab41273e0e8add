#include "SettingsStore.h"

#include "Errors.h"
#include "Form.h"
#include "Handles.h"

#include <algorithm>
#include <vector>

namespace {
// What "Window placement" records.
struct StoredPlacement {
    RECT normal;
    UINT showCommand;
};

// A window smaller than this shows no useful part of its contents (pixels at 96 DPI).
constexpr int kMinimumWidth = 200, kMinimumHeight = 100;

// Where a stored placement goes today, in the workspace coordinates of WINDOWPLACEMENT: at least
// part of it on a monitor of today, else moved onto the nearest. False when it cannot be a window
// of this desktop: larger than all monitors together, or too small to use. In 64 bits: a stored
// rectangle may hold any numbers.
bool FitOntoNearestMonitor(const RECT& stored, RECT& fitted) {
    const long long width = static_cast<long long>(stored.right) - stored.left;
    const long long height = static_cast<long long>(stored.bottom) - stored.top;
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    if (width < MulDiv(kMinimumWidth, dpi, 96) || height < MulDiv(kMinimumHeight, dpi, 96) ||
        width > GetSystemMetrics(SM_CXVIRTUALSCREEN) || height > GetSystemMetrics(SM_CYVIRTUALSCREEN))
        return false;
    // Workspace coordinates leave out a taskbar at the top or the left of the primary monitor;
    // the monitors' work areas are in screen coordinates.
    MONITORINFO primary{sizeof(primary)};
    GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &primary);
    const LONG dx = primary.rcWork.left - primary.rcMonitor.left;
    const LONG dy = primary.rcWork.top - primary.rcMonitor.top;
    // A far-off position is pulled in first: still far off, but no longer near the limits of a LONG.
    constexpr long long kFar = 1LL << 28;
    const LONG left = static_cast<LONG>(std::clamp(stored.left + static_cast<long long>(dx), -kFar, kFar));
    const LONG top = static_cast<LONG>(std::clamp(stored.top + static_cast<long long>(dy), -kFar, kFar));
    RECT rc{left, top, left + static_cast<LONG>(width), top + static_cast<LONG>(height)};

    MONITORINFO mi{sizeof(mi)};
    GetMonitorInfoW(MonitorFromRect(&rc, MONITOR_DEFAULTTONEAREST), &mi);
    const RECT& area = mi.rcWork;
    RECT visible;
    if (!IntersectRect(&visible, &rc, &area) || visible.right - visible.left < 32 ||
        visible.bottom - visible.top < 32) {
        const LONG w = std::min(rc.right - rc.left, area.right - area.left);
        const LONG h = std::min(rc.bottom - rc.top, area.bottom - area.top);
        const LONG l = std::max(area.left, std::min(rc.left, area.right - w));
        const LONG t = std::max(area.top, std::min(rc.top, area.bottom - h));
        rc = RECT{l, t, l + w, t + h};
    }
    fitted = RECT{rc.left - dx, rc.top - dy, rc.right - dx, rc.bottom - dy};
    return true;
}
} // namespace

SettingsStore::SettingsStore(const Application& app)
    : keyPath_(L"Software\\" + app.company + L"\\" + app.product) {}

std::wstring SettingsStore::SectionPath(const std::wstring& section) const {
    return section.empty() ? keyPath_ : keyPath_ + L"\\" + section;
}

bool SettingsStore::Query(const std::wstring& section, const std::wstring& key, DWORD type, void* data,
                          DWORD size) const {
    // Only the type the value is stored in, and never expanded: Wine expands a REG_EXPAND_SZ
    // before it checks the type, into a buffer sized for the type asked for.
    const DWORD only = (type == REG_DWORD ? RRF_RT_REG_DWORD : RRF_RT_REG_BINARY) | RRF_NOEXPAND;
    DWORD storedSize = size;
    LSTATUS status =
        RegGetValueW(HKEY_CURRENT_USER, SectionPath(section).c_str(), key.c_str(), only, nullptr, data, &storedSize);
    return status == ERROR_SUCCESS && storedSize == size;
}

void SettingsStore::Store(const std::wstring& section, const std::wstring& key, DWORD type, const void* data,
                          DWORD size) {
    HKEY raw = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, SectionPath(section).c_str(), 0, nullptr, 0,
                                     KEY_SET_VALUE, nullptr, &raw, nullptr);
    if (status != ERROR_SUCCESS) ThrowWin32(status, L"Can't store the setting \"" + key + L"\"");
    RegKey sectionKey(raw);
    status = RegSetValueExW(sectionKey.Get(), key.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    if (status != ERROR_SUCCESS) ThrowWin32(status, L"Can't store the setting \"" + key + L"\"");
}

bool SettingsStore::GetBool(const std::wstring& section, const std::wstring& key, bool defaultValue) const {
    DWORD value = 0;
    if (!Query(section, key, REG_DWORD, &value, sizeof(value))) return defaultValue;
    if (value == 0) return false;
    if (value == 1 || value == 0xFFFFFFFF) return true;
    return defaultValue;
}

void SettingsStore::SetBool(const std::wstring& section, const std::wstring& key, bool value) {
    DWORD data = value ? 1 : 0;
    Store(section, key, REG_DWORD, &data, sizeof(data));
}

std::wstring SettingsStore::GetString(const std::wstring& section, const std::wstring& key,
                                      const std::wstring& defaultValue) const {
    DWORD type = 0, size = 0;
    const std::wstring path = SectionPath(section);
    if (RegGetValueW(HKEY_CURRENT_USER, path.c_str(), key.c_str(), RRF_RT_REG_SZ | RRF_NOEXPAND, &type, nullptr,
                     &size) != ERROR_SUCCESS)
        return defaultValue;
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegGetValueW(HKEY_CURRENT_USER, path.c_str(), key.c_str(), RRF_RT_REG_SZ | RRF_NOEXPAND, &type,
                     text.data(), &size) != ERROR_SUCCESS)
        return defaultValue;
    return text.data();
}

void SettingsStore::SetString(const std::wstring& section, const std::wstring& key,
                              const std::wstring& value) {
    Store(section, key, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void SettingsStore::SaveWindowPlacement(const std::wstring& section, const std::wstring& key,
                                        const Form& form) {
    WINDOWPLACEMENT wp{sizeof(wp)};
    if (!GetWindowPlacement(form.Handle(), &wp)) ThrowLastError(L"Can't read the window placement");
    StoredPlacement stored{wp.rcNormalPosition,
                           wp.showCmd == SW_SHOWMAXIMIZED || (wp.flags & WPF_RESTORETOMAXIMIZED)
                               ? static_cast<UINT>(SW_SHOWMAXIMIZED)
                               : static_cast<UINT>(SW_SHOWNORMAL)};
    Store(section, key, REG_BINARY, &stored, sizeof(stored));
}

void SettingsStore::LoadWindowPlacement(const std::wstring& section, const std::wstring& key,
                                        Form& form) const {
    StoredPlacement stored{};
    RECT normal;
    if (!Query(section, key, REG_BINARY, &stored, sizeof(stored)) || !FitOntoNearestMonitor(stored.normal, normal))
        return;
    const bool maximised = stored.showCommand == SW_SHOWMAXIMIZED;
    WINDOWPLACEMENT wp{sizeof(wp)};
    GetWindowPlacement(form.Handle(), &wp);
    wp.rcNormalPosition = normal;
    wp.flags = 0;
    // A window not shown yet keeps hidden; Show presents it in the stored state.
    const bool visible = IsWindowVisible(form.Handle()) != FALSE;
    wp.showCmd = visible ? (maximised ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL) : SW_HIDE;
    if (!SetWindowPlacement(form.Handle(), &wp)) ThrowLastError(L"Can't restore the window placement");
    form.SetShowCommand(maximised ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
}
