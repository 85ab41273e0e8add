#pragma once
// Named values per application in the registry: HKCU\Software\<company>\<product>, the main
// section being the key itself and every other section a subkey.
#include "Application.h"

#include <string>

class Form;

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
    // Leaves the window as it is when nothing is stored; a placement off every monitor of today
    // is brought onto the nearest one.
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
