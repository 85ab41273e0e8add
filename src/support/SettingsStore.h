#pragma once
// Named values per application in the registry: HKCU\Software\<company>\<product>, the main
// section being the key itself and every other section a subkey.
#include "Application.h"

#include <string>

#include <windows.h>

#include <vector>

class Form;

// Fits a stored normal rectangle to a desktop. It is in workspace coordinates, which a taskbar at
// the top or the left of the primary monitor moves by workspaceOffset from screen coordinates;
// workAreas are the monitors' work areas (screen coordinates). A rectangle wholly on them and not
// smaller than minimum stays as it is; any other is fitted to the work area nearest to it: larger
// than that area shrunk to it, smaller than minimum enlarged, off it moved onto it. The result is
// in workspace coordinates again.
RECT FitPlacement(const RECT& stored, POINT workspaceOffset, SIZE minimum, const std::vector<RECT>& workAreas);

class SettingsStore {
  public:
    explicit SettingsStore(const Application& app);

    // A value that is missing, or stored as another kind, reads as the default.
    bool GetBool(const std::wstring& section, const std::wstring& key, bool defaultValue) const;
    void SetBool(const std::wstring& section, const std::wstring& key, bool value);
    std::wstring GetString(const std::wstring& section, const std::wstring& key,
                           const std::wstring& defaultValue) const;
    void SetString(const std::wstring& section, const std::wstring& key, const std::wstring& value);

    // Position, size and whether maximised.
    void SaveWindowPlacement(const std::wstring& section, const std::wstring& key, const Form& form);
    // Leaves the window as it is when nothing is stored, or a value that cannot be a placement; any
    // other is fitted to today's desktop (FitPlacement).
    void LoadWindowPlacement(const std::wstring& section, const std::wstring& key, Form& form) const;

    const std::wstring& KeyPath() const { return keyPath_; }

  private:
    std::wstring SectionPath(const std::wstring& section) const;
    bool Query(const std::wstring& section, const std::wstring& key, DWORD type, void* data,
               DWORD size) const;
    void Store(const std::wstring& section, const std::wstring& key, DWORD type, const void* data,
               DWORD size);
    std::wstring keyPath_;
};
