#pragma once
#include <string>

class ClipboardText {
  public:
    // The clipboard's text, empty when it holds none. Opens and closes the clipboard itself,
    // waiting briefly while another program holds it open.
    std::wstring Read();
};

ClipboardText& TheClipboardText();
