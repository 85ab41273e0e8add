#include "MessageBox.h"

#include "Application.h"
#include "Form.h"

namespace {
MessageBoxHandler g_handler;
}

int MsgBox(const std::wstring& text, UINT type, const std::wstring& caption) {
    const std::wstring& title = caption.empty() ? App().title : caption;
    HWND owner = GetActiveWindow();
    Form::ModalLoop modal;
    if (g_handler) return g_handler(owner, text, title, type);
    return MessageBoxW(owner, text.c_str(), title.c_str(), type);
}

void SetMessageBoxHandler(MessageBoxHandler handler) {
    g_handler = std::move(handler);
}
