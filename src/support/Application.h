#pragma once
// The program's identity (title, product, company, version), its GUID and its data folder.
#include <windows.h>

#include <string>

// Names the single-instance guard and the marker clipboard format.
inline constexpr wchar_t kApplicationGuid[] = L"{3F0C9A6E-52D1-4B7E-9C2A-7E15D4B8A0F3}";

struct Application {
    std::wstring title;
    std::wstring product;
    std::wstring company;
    std::wstring version;
};

// The program-wide application object.
const Application& App();
HINSTANCE AppInstance();
// Tests run under an identity of their own, so that the settings they store are never the user's.
void SetAppForTesting(const Application& app);

// The per-user data folder, set once by start-up before the main window exists.
const std::wstring& DataFolder();
void SetDataFolder(const std::wstring& folder);
