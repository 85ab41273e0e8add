// Quenlit as an earlier version behaves towards a set-up: its main window knows no close request
// (it answers 0), and with "box" on its command line it shows a box, during which a close is carried
// out only once the box is closed. With "prompt" its close asks first, as its save prompt did.
#include <windows.h>

#include <cwchar>

namespace {
bool g_boxOpen = false, g_closeLater = false, g_promptAtClose = false;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_APP:
        g_boxOpen = true;
        MessageBoxW(window, L"A box of an earlier Quenlit.", L"Earlier Quenlit", MB_OK);
        g_boxOpen = false;
        if (g_closeLater) DestroyWindow(window);
        return 0;
    case WM_CLOSE:
        if (g_boxOpen) {
            g_closeLater = true;
        } else {
            if (g_promptAtClose) MessageBoxW(window, L"Save the list before closing?", L"Earlier Quenlit", MB_OK);
            DestroyWindow(window);
        }
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"QuenlitForm";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, L"QuenlitForm", L"Quenlit", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 400, 300,
                                  nullptr, nullptr, instance, nullptr);
    if (wcsstr(commandLine, L"box")) PostMessageW(window, WM_APP, 0, 0);
    g_promptAtClose = wcsstr(commandLine, L"prompt") != nullptr;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
