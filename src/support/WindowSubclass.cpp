#include "WindowSubclass.h"

#include "Errors.h"

#include <commctrl.h>

WindowSubclass::WindowSubclass(HWND window, Handler handler) : window_(window), handler_(std::move(handler)) {
    if (!window_ || !SetWindowSubclass(window_, Proc, reinterpret_cast<UINT_PTR>(this),
                                       reinterpret_cast<DWORD_PTR>(this)))
        throw AppError{E_FAIL, L"Can't subclass the window."};
}

WindowSubclass::~WindowSubclass() {
    Detach();
}

void WindowSubclass::Detach() {
    if (window_) RemoveWindowSubclass(window_, Proc, reinterpret_cast<UINT_PTR>(this));
    window_ = nullptr;
}

LRESULT CALLBACK WindowSubclass::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                      DWORD_PTR data) {
    auto* self = reinterpret_cast<WindowSubclass*>(data);
    LRESULT result = 0;
    if (message == WM_NCDESTROY) {
        self->Detach();
        // The window's last message: the handler may let go of what belongs to it, this object included.
        Guarded(false, [&] { return self->handler_(message, wParam, lParam, result); });
        return DefSubclassProc(window, message, wParam, lParam);
    }
    const bool handled = Guarded(false, [&] { return self->handler_(message, wParam, lParam, result); });
    // Not self from here on: the handler may have released this object (a command can close the window).
    return handled ? result : DefSubclassProc(window, message, wParam, lParam);
}
