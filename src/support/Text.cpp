#include "Text.h"

#include <windows.h>

namespace {
std::string Narrow(UINT codePage, std::wstring_view text) {
    if (text.empty()) return {};
    int length = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                     nullptr, nullptr);
    std::string out(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), length, nullptr,
                        nullptr);
    return out;
}

bool Widen(UINT codePage, DWORD flags, std::string_view bytes, std::wstring& out) {
    if (bytes.empty()) {
        out.clear();
        return true;
    }
    int length =
        MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (length == 0) return false;
    std::wstring text(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), text.data(), length);
    out = std::move(text);
    return true;
}

std::wstring MapCase(std::wstring text, DWORD flag) {
    if (!text.empty())
        LCMapStringW(LOCALE_INVARIANT, flag, text.data(), static_cast<int>(text.size()), text.data(),
                     static_cast<int>(text.size()));
    return text;
}
} // namespace

std::string ToAnsi(std::wstring_view text) {
    return Narrow(CP_ACP, text);
}
std::string ToUtf8(std::wstring_view text) {
    return Narrow(CP_UTF8, text);
}

std::wstring FromAnsi(std::string_view text) {
    std::wstring out;
    Widen(CP_ACP, 0, text, out);
    return out;
}

bool TryFromUtf8(std::string_view bytes, std::wstring& out) {
    return Widen(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, out);
}

std::wstring ToUpper(std::wstring text) {
    return MapCase(std::move(text), LCMAP_UPPERCASE);
}
std::wstring ToLower(std::wstring text) {
    return MapCase(std::move(text), LCMAP_LOWERCASE);
}
