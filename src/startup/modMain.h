#pragma once
#include <string>

void Main();
void StartApplication();
// The data folder path, or empty when it cannot be created (the user has been told).
std::wstring GetDataFolder();
// The last folder name made from an application title: the prefix removed, in proper case.
std::wstring DataFolderName(const std::wstring& title);
