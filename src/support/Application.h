#pragma once
// The program's identity (title, product, company, version, GUID) and its data folder.
#include <windows.h>

#include <string>

struct Application {
    std::wstring title;
    std::wstring product;
    std::wstring company;
    std::wstring version;
    // Names the single-instance guard and the marker clipboard format.
    std::wstring guid;
};

// The program-wide application object.
const Application& App();
HINSTANCE AppInstance();
// Tests run under an identity of their own, so that neither the settings they store nor the
// clipboard content they tag is ever the user's.
void SetAppForTesting(const Application& app);

// The per-user data folder, set once by start-up before the main window exists.
const std::wstring& DataFolder();
void SetDataFolder(const std::wstring& folder);
