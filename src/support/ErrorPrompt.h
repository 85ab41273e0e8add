#pragma once
// A modal box with a message, an empty line and the current error's number and description.
#include "Errors.h"

#include <string>

class ErrorPrompt {
  public:
    // type: the message-box buttons and icon (MB_ICONERROR | MB_RETRYCANCEL, ...). Returns the
    // button pressed (IDRETRY, ...) and clears the error record.
    int Show(ErrorRecord& error, UINT type, const std::wstring& message);
};

ErrorPrompt& TheErrorPrompt();
