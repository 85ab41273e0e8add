#pragma once
// A font object shared by reference, as the list switches between two of them.
#include "Handles.h"

#include <string>

class Font {
  public:
    // What a new font object has until its properties are set.
    Font() = default;
    Font(std::wstring name, double points, BYTE charset)
        : name_(std::move(name)), points_(points), charset_(charset) {}

    const std::wstring& Name() const { return name_; }
    double Size() const { return points_; }
    BYTE Charset() const { return charset_; }
    void SetName(std::wstring name);
    void SetSize(double points);
    void SetCharset(BYTE charset);

    // The GDI font for a window at this DPI; kept until a property or the DPI changes.
    HFONT Handle(UINT dpi);

  private:
    std::wstring name_ = L"MS Sans Serif";
    double points_ = 8;
    BYTE charset_ = DEFAULT_CHARSET;
    FontHandle handle_;
    UINT handleDpi_ = 0;
};

// The DPI a window is shown at (the system DPI where per-window DPI is not known).
UINT WindowDpi(HWND window);
