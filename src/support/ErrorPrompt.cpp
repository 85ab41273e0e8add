#include "ErrorPrompt.h"

#include "MessageBox.h"

int ErrorPrompt::Show(ErrorRecord& error, UINT type, const std::wstring& message) {
    std::wstring text =
        message + L"\r\n\r\nError " + FormatErrorNumber(error.number) + L": " + error.description;
    error.Clear();
    return MsgBox(text, type);
}

ErrorPrompt& TheErrorPrompt() {
    static ErrorPrompt instance;
    return instance;
}
