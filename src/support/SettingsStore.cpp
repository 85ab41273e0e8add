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

BOOL CALLBACK AddWorkArea(HMONITOR monitor, HDC, RECT*, LPARAM areas) {
    MONITORINFO mi{sizeof(mi)};
    if (GetMonitorInfoW(monitor, &mi)) reinterpret_cast<std::vector<RECT>*>(areas)->push_back(mi.rcWork);
    return TRUE;
}

// The work areas of the monitors, in screen coordinates.
std::vector<RECT> WorkAreas() {
    std::vector<RECT> areas;
    EnumDisplayMonitors(nullptr, nullptr, AddWorkArea, reinterpret_cast<LPARAM>(&areas));
    return areas;
}

long long Overlap(const RECT& a, const RECT& b) {
    RECT common;
    if (!IntersectRect(&common, &a, &b)) return 0;
    return static_cast<long long>(common.right - common.left) * (common.bottom - common.top);
}

long long DistanceSquared(const RECT& a, const RECT& b) {
    const long long dx = std::max({0LL, 0LL + b.left - a.right, 0LL + a.left - b.right});
    const long long dy = std::max({0LL, 0LL + b.top - a.bottom, 0LL + a.top - b.bottom});
    return dx * dx + dy * dy;
}

// As MonitorFromRect finds it: the area that holds most of the rectangle, else the closest.
RECT NearestArea(const RECT& rc, const std::vector<RECT>& areas) {
    return *std::min_element(areas.begin(), areas.end(), [&](const RECT& a, const RECT& b) {
        const long long overlapA = Overlap(rc, a), overlapB = Overlap(rc, b);
        if (overlapA != overlapB) return overlapA > overlapB;
        return DistanceSquared(rc, a) < DistanceSquared(rc, b);
    });
}
} // namespace

RECT FitPlacement(const RECT& stored, POINT workspaceOffset, SIZE minimum, const std::vector<RECT>& workAreas) {
    if (workAreas.empty()) return stored;
    // In 64 bits: a stored rectangle may hold any numbers. A far-off position is pulled in first:
    // still far off, but no longer near the limits of a LONG.
    const auto clampFar = [](long long v) { return static_cast<LONG>(std::clamp(v, -(1LL << 28), 1LL << 28)); };
    const LONG width = clampFar(static_cast<long long>(stored.right) - stored.left);
    const LONG height = clampFar(static_cast<long long>(stored.bottom) - stored.top);
    // Into screen coordinates, once.
    const LONG left = clampFar(static_cast<long long>(stored.left) + workspaceOffset.x);
    const LONG top = clampFar(static_cast<long long>(stored.top) + workspaceOffset.y);
    RECT rc{left, top, left + std::max(width, 1L), top + std::max(height, 1L)};
    const auto toWorkspace = [&](const RECT& r) {
        return RECT{r.left - workspaceOffset.x, r.top - workspaceOffset.y, r.right - workspaceOffset.x,
                    r.bottom - workspaceOffset.y};
    };
    // Wholly on the work areas (across two monitors, say) and not too small: kept as it is.
    long long covered = 0;
    for (const RECT& area : workAreas)
        covered += Overlap(rc, area);
    if (width >= minimum.cx && height >= minimum.cy && covered == static_cast<long long>(width) * height)
        return toWorkspace(rc);
    const RECT area = NearestArea(rc, workAreas);
    const LONG areaWidth = area.right - area.left, areaHeight = area.bottom - area.top;
    const LONG w = std::clamp(width, std::min(minimum.cx, areaWidth), areaWidth);
    const LONG h = std::clamp(height, std::min(minimum.cy, areaHeight), areaHeight);
    rc.right = rc.left + w;
    rc.bottom = rc.top + h;
    // Resized, or without a good part on the work area: the whole window onto it.
    RECT visible;
    if (w != width || h != height || !IntersectRect(&visible, &rc, &area) || visible.right - visible.left < 32 ||
        visible.bottom - visible.top < 32) {
        const LONG l = std::clamp(rc.left, area.left, area.right - w);
        const LONG t = std::clamp(rc.top, area.top, area.bottom - h);
        rc = RECT{l, t, l + w, t + h};
    }
    return toWorkspace(rc); // back into workspace coordinates, once
}

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
    // A value that cannot be a placement is none; any other is fitted to today's desktop.
    if (!Query(section, key, REG_BINARY, &stored, sizeof(stored)) || stored.normal.right <= stored.normal.left ||
        stored.normal.bottom <= stored.normal.top)
        return;
    // Workspace coordinates leave out a taskbar at the top or the left of the primary monitor; the
    // monitors' work areas are in screen coordinates.
    MONITORINFO primary{sizeof(primary)};
    GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &primary);
    const POINT offset{primary.rcWork.left - primary.rcMonitor.left, primary.rcWork.top - primary.rcMonitor.top};
    const UINT dpi = form.Dpi();
    const SIZE minimum{MulDiv(kMinimumWidth, static_cast<int>(dpi), 96), MulDiv(kMinimumHeight, static_cast<int>(dpi), 96)};
    const RECT normal = FitPlacement(stored.normal, offset, minimum, WorkAreas());
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
