#pragma once
#include <string>

// Every DLL the process loads from now on comes from System32, also those the system's DLLs load
// for it: a DLL planted beside the program (a Downloads folder) never runs. The first thing the
// program does.
void RestrictDllLoadsToSystem32();
void Main();
void StartApplication();
// The data folder path, or empty when it cannot be created (the user has been told).
std::wstring GetDataFolder();
// The last folder name made from an application title: the prefix removed, in proper case.
std::wstring DataFolderName(const std::wstring& title);
