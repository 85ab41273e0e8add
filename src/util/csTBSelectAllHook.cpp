#include "csTBSelectAllHook.h"

#include "../support/SupportFunctions.h"

bool csTBSelectAllHook::Init(TextBox* textBox) {
    if (!textBox) return false;
    subscription_.reset();
    ITextBoxKeyEvents& events = *this;
    subscription_ = std::make_unique<TextBox::KeySubscription>(*textBox, events);
    tb_ = textBox;
    inited_ = true;
    return true;
}

void csTBSelectAllHook::TB_KeyDown(int& keyCode, int& shift) {
    if (!inited_ || keyCode != 'A' || shift != 2) return;
    asTextBoxSelectAll(tb_->Handle());
    keyCode = 0;
    shift = 0;
    suppressNextKeyPress_ = true;
}

void csTBSelectAllHook::TB_KeyPress(int& keyAscii) {
    if (inited_ && suppressNextKeyPress_) {
        keyAscii = 0;
        suppressNextKeyPress_ = false;
    }
}
