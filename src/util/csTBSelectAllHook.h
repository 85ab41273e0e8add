#pragma once
// Gives one text box Ctrl+A: select the whole text, insert nothing.
#include "../support/Form.h"

#include <memory>

class csTBSelectAllHook final : private ITextBoxKeyEvents {
  public:
    csTBSelectAllHook() = default;
    csTBSelectAllHook(const csTBSelectAllHook&) = delete;
    csTBSelectAllHook& operator=(const csTBSelectAllHook&) = delete;

    TextBox* GetTextBox() const { return tb_; }
    // Attaches to the box (moving off any box held before); a null box changes nothing.
    bool Init(TextBox* textBox);

  private:
    void TB_KeyDown(int& keyCode, int& shift) override;
    void TB_KeyPress(int& keyAscii) override;

    bool suppressNextKeyPress_ = false;
    bool inited_ = false;
    std::unique_ptr<TextBox::KeySubscription> subscription_;
    TextBox* tb_ = nullptr;
};
