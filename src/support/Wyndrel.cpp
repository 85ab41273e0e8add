#include "Wyndrel.h"

#include "Errors.h"

#include <commctrl.h>

Wyndrel::~Wyndrel() {
    SetHWnd(nullptr);
}

void Wyndrel::SetHWnd(HWND window) {
    if (window_ && IsWindow(window_))
        RemoveWindowSubclass(window_, SubclassProc, reinterpret_cast<UINT_PTR>(this));
    window_ = nullptr;
    if (!window) return;
    if (!SetWindowSubclass(window, SubclassProc, reinterpret_cast<UINT_PTR>(this),
                           reinterpret_cast<DWORD_PTR>(this)))
        throw AppError{E_FAIL, L"Can't subclass the window."};
    window_ = window;
}

LRESULT CALLBACK Wyndrel::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR data) {
    auto* self = reinterpret_cast<Wyndrel*>(data);
    LRESULT retVal = 0;
    bool noDef = false;
    if (self->callback_) {
        Guarded(S_OK, [&] {
            return self->callback_->WindowProc(*self, window, message, wParam, lParam, retVal, noDef);
        });
    }
    // The object may be gone from here on (a command can close the window and release it).
    if (noDef) return retVal;
    return DefSubclassProc(window, message, wParam, lParam);
}
