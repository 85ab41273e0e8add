#include "Wyndrel.h"

void Wyndrel::SetHWnd(HWND window) {
    subclass_.reset();
    if (!window) return;
    subclass_ = std::make_unique<WindowSubclass>(
        window, [this, window](UINT message, WPARAM& wParam, LPARAM& lParam, LRESULT& result) {
            if (!callback_) return false;
            bool noDef = false;
            callback_->WindowProc(*this, window, message, wParam, lParam, result, noDef);
            return noDef;
        });
}
