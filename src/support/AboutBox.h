#pragma once
#include "Application.h"

class AboutBox {
  public:
    // Modal: returns when the user closes the box.
    void Show(HWND owner, const Application& app, const std::wstring& extraText, const std::wstring& credit);
};

AboutBox& TheAboutBox();
