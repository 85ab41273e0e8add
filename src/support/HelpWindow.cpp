#include "HelpWindow.h"

#include "Application.h"
#include "Errors.h"
#include "Font.h"
#include "SupportFunctions.h"
#include "Text.h"

namespace {
const wchar_t kHelpClass[] = L"QuenlitHelp";
// This program's help window, while it is open: never another process's of the same class.
HWND g_helpWindow = nullptr;

// One font for the help text, kept while the program runs.
Font& HelpFont() {
    static Font font(L"Tahoma", 9, DEFAULT_CHARSET);
    return font;
}

LRESULT HelpMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: {
        HWND text = CreateWindowExW(
            0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
            0, 0, 0, 0, window, reinterpret_cast<HMENU>(1), AppInstance(), nullptr);
        if (!text) return -1;
        SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(HelpFont().Handle(WindowDpi(window))), FALSE);
        SetWindowTextW(text, HelpText().c_str());
        // Icons sized for the window's DPI, made again when it changes, as the main window's.
        asSetWindowResIconAll(window, L"A_MAIN");
        g_helpWindow = window;
        return 0;
    }
    case WM_DPICHANGED: {
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        SendMessageW(GetDlgItem(window, 1), WM_SETFONT,
                     reinterpret_cast<WPARAM>(HelpFont().Handle(LOWORD(wParam))), FALSE);
        SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_NCDESTROY:
        if (g_helpWindow == window) g_helpWindow = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_SIZE:
        MoveWindow(GetDlgItem(window, 1), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_SETFOCUS:
        SetFocus(GetDlgItem(window, 1));
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK HelpProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return Guarded(LRESULT{0}, [&] { return HelpMessage(window, message, wParam, lParam); });
}
} // namespace

std::wstring HelpText() {
    HRSRC resource = FindResourceW(AppInstance(), L"HELP_DOCUMENT", MAKEINTRESOURCEW(10)); // RT_RCDATA
    HGLOBAL loaded = resource ? LoadResource(AppInstance(), resource) : nullptr;
    const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (!bytes) ThrowLastError(L"Can't find the help document in the program");
    std::wstring text;
    if (!TryFromUtf8(std::string_view(bytes, SizeofResource(AppInstance(), resource)), text))
        throw AppError{E_FAIL, L"The help document in the program is damaged."};
    return text;
}

HWND TheHelpWindow() {
    return g_helpWindow;
}

HWND ShowHelpWindow() {
    if (g_helpWindow) {
        if (IsIconic(g_helpWindow)) ShowWindow(g_helpWindow, SW_RESTORE);
        SetForegroundWindow(g_helpWindow);
        return g_helpWindow;
    }
    static bool registered = false;
    if (!registered) {
        WNDCLASSEXW wc{sizeof(wc)};
        wc.lpfnWndProc = HelpProc;
        wc.hInstance = AppInstance();
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = kHelpClass;
        if (!RegisterClassExW(&wc)) ThrowLastError(L"Can't register the help window");
        registered = true;
    }
    const UINT dpi = WindowDpi(nullptr);
    HWND window = CreateWindowExW(0, kHelpClass, (App().product + L" Help").c_str(), WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, MulDiv(560, dpi, 96), MulDiv(520, dpi, 96),
                                  nullptr, nullptr, AppInstance(), nullptr);
    if (!window) ThrowLastError(L"Can't open the help window");
    ShowWindow(window, SW_SHOWNORMAL);
    return window;
}
