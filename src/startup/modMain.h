#pragma once
#include <string>

// Names the single-instance guard and the marker clipboard format.
inline constexpr wchar_t kApplicationGuid[] = L"{3F0C9A6E-52D1-4B7E-9C2A-7E15D4B8A0F3}";

// The per-user data folder, set once by start-up before the main window exists.
const std::wstring& DataFolder();
void SetDataFolder(const std::wstring& folder);

void Main();
void StartApplication();
// The data folder path, or empty when it cannot be created (the user has been told).
std::wstring GetDataFolder();
// The last folder name made from an application title: the prefix removed, in proper case.
std::wstring DataFolderName(const std::wstring& title);
