#pragma once
#include <string>

// The program's first steps, before anything else runs: every DLL the process loads from now on
// comes from System32, also those the system's DLLs load for it (a DLL planted beside the program
// in a Downloads folder never runs), and the show command Windows handed the program is kept for
// the first window (a shortcut set to "Minimized", start /min, the start at sign-in).
void BeginProcess(int showCommand);
void Main();
void StartApplication();
// The data folder path, or empty when it cannot be created (the user has been told).
std::wstring GetDataFolder();
// The last folder name made from an application title: the prefix removed, in proper case.
std::wstring DataFolderName(const std::wstring& title);
