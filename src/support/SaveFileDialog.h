#pragma once
// The system's Save As dialog, with the overwrite prompt.
#include <windows.h>

#include <functional>
#include <string>

class SaveFileDialog {
  public:
    std::wstring fileName; // out: the confirmed full path
    HWND owner = nullptr;
    std::wstring filter; // "Description|*.ext|..."
    int filterIndex = 0;
    std::wstring initialFileName;
    std::wstring initialDirectory;
    std::wstring defaultExtension; // without the dot

    // True when the user confirmed a name, false when cancelled; a failing dialog throws.
    bool Show();
};

// Replaces the real dialog (tests): the handler fills fileName and answers as Show would.
void SetSaveFileDialogHandler(std::function<bool(SaveFileDialog&)> handler);
