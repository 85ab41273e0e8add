#pragma once
#include <windows.h>

// The marker clipboard format's identifier; 0 until the main window registers it.
UINT MarkerFormat();

// The capture cycle opens the clipboard through this (tests count the openings); null restores
// the system's OpenClipboard.
void SetOpenClipboardForTesting(BOOL(WINAPI* open)(HWND));
