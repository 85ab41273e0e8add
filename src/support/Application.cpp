#include "Application.h"

#include "Text.h"

#include <vector>

namespace {
std::wstring ModuleVersion() {
    wchar_t path[MAX_PATH];
    if (!GetModuleFileNameW(nullptr, path, MAX_PATH)) return L"0.0.0";
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    if (!size) return L"0.0.0";
    std::vector<BYTE> data(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(path, 0, size, data.data()) ||
        !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info)
        return L"0.0.0";
    return Decimal(HIWORD(info->dwFileVersionMS)) + L"." + Decimal(LOWORD(info->dwFileVersionMS)) + L"." +
           Decimal(HIWORD(info->dwFileVersionLS));
}

Application& TheApp() {
    static Application app{L"Tolvane - Quenlit", L"Quenlit", L"Pellomir", ModuleVersion(),
                           L"{3F0C9A6E-52D1-4B7E-9C2A-7E15D4B8A0F3}"};
    return app;
}
std::wstring g_dataFolder;
} // namespace

const Application& App() {
    return TheApp();
}

void SetAppForTesting(const Application& app) {
    TheApp() = app;
}

const std::wstring& DataFolder() {
    return g_dataFolder;
}

void SetDataFolder(const std::wstring& folder) {
    g_dataFolder = folder;
}

HINSTANCE AppInstance() {
    return GetModuleHandleW(nullptr);
}
