#include "ClipboardText.h"

#include "Errors.h"
#include "Handles.h"

#include <cwchar>

std::wstring ClipboardText::Read() {
    for (int attempt = 0;; ++attempt) {
        ClipboardLock clipboard(nullptr);
        if (!clipboard.IsOpen()) {
            if (attempt == 5)
                throw AppError{HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED),
                               L"The clipboard is in use by another program."};
            Sleep(10);
            continue;
        }
        return ReadOpened().value_or(std::wstring());
    }
}

std::optional<std::wstring> ClipboardText::ReadOpened() {
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT)) return std::wstring();
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (!data) return std::nullopt;
    GlobalLockGuard lock(data);
    if (!lock.Get()) return std::nullopt;
    // The block need not end in a NUL: read no further than its size.
    const size_t capacity = GlobalSize(data) / sizeof(wchar_t);
    const auto* text = static_cast<const wchar_t*>(lock.Get());
    return std::wstring(text, wcsnlen(text, capacity));
}

namespace {
ClipboardText* g_replacement = nullptr;
}

ClipboardText& TheClipboardText() {
    // Never destroyed: a reader may still be reading while the process ends.
    static ClipboardText* const instance = new ClipboardText;
    return g_replacement ? *g_replacement : *instance;
}

void SetClipboardTextForTesting(ClipboardText* replacement) {
    g_replacement = replacement;
}
