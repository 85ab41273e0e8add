#pragma once
// Sees a window's messages before the window's own procedure, for as long as this object lives
// and the window exists. It removes itself when the window is destroyed, so its owner never
// touches a handle that may already name another window.
#include <windows.h>

#include <functional>

class WindowSubclass {
  public:
    // True: the message is handled and gets result, without the window's own processing.
    // The handler may change wParam and lParam before the window sees them. It sees WM_NCDESTROY
    // too, once the watch has ended, and may then release this object.
    using Handler = std::function<bool(UINT message, WPARAM& wParam, LPARAM& lParam, LRESULT& result)>;

    // Throws when the window cannot be subclassed.
    WindowSubclass(HWND window, Handler handler);
    ~WindowSubclass();
    WindowSubclass(const WindowSubclass&) = delete;
    WindowSubclass& operator=(const WindowSubclass&) = delete;

    // The window watched; null once it is gone.
    HWND Window() const { return window_; }

  private:
    static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    void Detach();
    HWND window_;
    Handler handler_;
};
