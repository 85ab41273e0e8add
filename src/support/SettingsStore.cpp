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

// Keeps at least part of a placement on a monitor of today, moving it onto the nearest.
RECT FitOntoNearestMonitor(RECT rc) {
    MONITORINFO mi{sizeof(mi)};
    GetMonitorInfoW(MonitorFromRect(&rc, MONITOR_DEFAULTTONEAREST), &mi);
    RECT visible;
    if (IntersectRect(&visible, &rc, &mi.rcWork) && visible.right - visible.left >= 32 &&
        visible.bottom - visible.top >= 32)
        return rc;
    const RECT& area = mi.rcWork;
    LONG width = std::min(rc.right - rc.left, area.right - area.left);
    LONG height = std::min(rc.bottom - rc.top, area.bottom - area.top);
    LONG left = std::max(area.left, std::min(rc.left, area.right - width));
    LONG top = std::max(area.top, std::min(rc.top, area.bottom - height));
    return RECT{left, top, left + width, top + height};
}
} // namespace

SettingsStore::SettingsStore(const Application& app)
    : keyPath_(L"Software\\" + app.company + L"\\" + app.product) {}

std::wstring SettingsStore::SectionPath(const std::wstring& section) const {
    return section.empty() ? keyPath_ : keyPath_ + L"\\" + section;
}

bool SettingsStore::Query(const std::wstring& section, const std::wstring& key, DWORD type, void* data,
                          DWORD size) const {
    DWORD storedType = 0, storedSize = size;
    LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, SectionPath(section).c_str(), key.c_str(), RRF_RT_ANY,
                                  &storedType, data, &storedSize);
    return status == ERROR_SUCCESS && storedType == type && storedSize == size;
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
    if (RegGetValueW(HKEY_CURRENT_USER, path.c_str(), key.c_str(), RRF_RT_REG_SZ, &type, nullptr, &size) !=
        ERROR_SUCCESS)
        return defaultValue;
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegGetValueW(HKEY_CURRENT_USER, path.c_str(), key.c_str(), RRF_RT_REG_SZ, &type, text.data(),
                     &size) != ERROR_SUCCESS)
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
    if (!Query(section, key, REG_BINARY, &stored, sizeof(stored))) return;
    if (stored.normal.right <= stored.normal.left || stored.normal.bottom <= stored.normal.top) return;
    const bool maximised = stored.showCommand == SW_SHOWMAXIMIZED;
    WINDOWPLACEMENT wp{sizeof(wp)};
    GetWindowPlacement(form.Handle(), &wp);
    wp.rcNormalPosition = FitOntoNearestMonitor(stored.normal);
    wp.flags = 0;
    // A window not shown yet keeps hidden; Show presents it in the stored state.
    const bool visible = IsWindowVisible(form.Handle()) != FALSE;
    wp.showCmd = visible ? (maximised ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL) : SW_HIDE;
    if (!SetWindowPlacement(form.Handle(), &wp)) ThrowLastError(L"Can't restore the window placement");
    form.SetShowCommand(maximised ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
}
