#pragma once
// Window subclassing: hands every message of one window to a callback before the window's own
// processing. A message the callback leaves alone is processed exactly as without the component.
#include "WindowSubclass.h"

#include <memory>

class Wyndrel;

class IWyndrelCallback {
  public:
    // A failure status is ignored by the component; the message still gets its normal processing
    // unless noDef was set.
    virtual HRESULT WindowProc(Wyndrel& wyndrelObject, HWND hWnd, UINT& uMsg, WPARAM& wParam, LPARAM& lParam,
                               LRESULT& retVal, bool& noDef) = 0;

  protected:
    ~IWyndrelCallback() = default;
};

class Wyndrel {
  public:
    Wyndrel() = default;
    Wyndrel(const Wyndrel&) = delete;
    Wyndrel& operator=(const Wyndrel&) = delete;

    // Null stops the calls; the window stays watched.
    void SetCallback(IWyndrelCallback* callback) { callback_ = callback; }
    // Non-null puts the window under watch (replacing the one watched before); null releases it.
    void SetHWnd(HWND window);

  private:
    IWyndrelCallback* callback_ = nullptr;
    std::unique_ptr<WindowSubclass> subclass_;
};
