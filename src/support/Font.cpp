#include "Font.h"

#include "Errors.h"

#include <cmath>

void Font::SetName(std::wstring name) {
    name_ = std::move(name);
    handle_.Reset();
}

void Font::SetSize(double points) {
    points_ = points;
    handle_.Reset();
}

void Font::SetCharset(BYTE charset) {
    charset_ = charset;
    handle_.Reset();
}

HFONT Font::Handle(UINT dpi) {
    if (handle_ && handleDpi_ == dpi) return handle_.Get();
    LOGFONTW lf{};
    lf.lfHeight = -static_cast<LONG>(std::lround(points_ * dpi / 72.0));
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = charset_;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    lstrcpynW(lf.lfFaceName, name_.c_str(), LF_FACESIZE);
    HFONT font = CreateFontIndirectW(&lf);
    if (!font) ThrowLastError(L"Can't create the font", name_);
    handle_.Reset(font);
    handleDpi_ = dpi;
    return font;
}

UINT WindowDpi(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow && window) {
        if (UINT dpi = getDpiForWindow(window)) return dpi;
    }
    HDC screen = GetDC(nullptr);
    UINT dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);
    return dpi ? dpi : 96;
}
