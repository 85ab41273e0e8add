#pragma once
// The help document: a text resource shown in a window of its own beside the program.
#include <windows.h>

#include <string>

// Opens the help window, or brings it forward when it is open already; returns at once.
HWND ShowHelpWindow();
// This program's help window, or null while none is open.
HWND TheHelpWindow();
// The help document's text, as shipped in the program's resources.
std::wstring HelpText();
