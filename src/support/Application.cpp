#include "Application.h"

#include "Text.h"

#include <cstring>

namespace {
// Read from the program's own version resource in place: the version library is no DLL that
// Windows takes from System32 only, and one planted beside the program would run inside it.
std::wstring ModuleVersion() {
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC resource = FindResourceW(self, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
    HGLOBAL loaded = resource ? LoadResource(self, resource) : nullptr;
    const auto* bytes = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    const DWORD size = bytes ? SizeofResource(self, resource) : 0;
    // VS_VERSIONINFO holds its fixed part after its key, on a 32-bit boundary.
    for (DWORD at = 0; at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
        VS_FIXEDFILEINFO info;
        memcpy(&info, bytes + at, sizeof(info));
        if (info.dwSignature != VS_FFI_SIGNATURE) continue;
        return Decimal(HIWORD(info.dwFileVersionMS)) + L"." + Decimal(LOWORD(info.dwFileVersionMS)) + L"." +
               Decimal(HIWORD(info.dwFileVersionLS));
    }
    return L"0.0.0";
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
