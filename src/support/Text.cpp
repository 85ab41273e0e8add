#include "Text.h"

#include "Errors.h"

#include <windows.h>

namespace {
// Throws when the conversion fails: an empty result would pass for an empty text.
std::string Narrow(UINT codePage, DWORD flags, std::wstring_view text, BOOL* usedDefault) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    int length = WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0, nullptr, usedDefault);
    std::string out(static_cast<size_t>(length), '\0');
    if (length == 0 || WideCharToMultiByte(codePage, flags, text.data(), size, out.data(), length, nullptr,
                                           nullptr) != length)
        ThrowLastError(L"Can't convert the text");
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

std::wstring Digits(unsigned long long value, unsigned base, size_t width) {
    std::wstring digits;
    do {
        digits.insert(digits.begin(), L"0123456789ABCDEF"[value % base]);
        value /= base;
    } while (value != 0);
    if (digits.size() < width) digits.insert(0, width - digits.size(), L'0');
    return digits;
}

std::wstring MapCase(std::wstring text, DWORD flag) {
    if (!text.empty())
        LCMapStringW(LOCALE_INVARIANT, flag, text.data(), static_cast<int>(text.size()), text.data(),
                     static_cast<int>(text.size()));
    return text;
}
} // namespace

bool TryToAnsi(std::wstring_view text, std::string& out) {
    // Where the ANSI code page is UTF-8 it holds everything (and takes neither flag nor default).
    if (GetACP() == CP_UTF8) {
        out = Narrow(CP_UTF8, 0, text, nullptr);
        return true;
    }
    // No best fit: "Ā" must not quietly become "A" and name another file.
    BOOL usedDefault = FALSE;
    std::string ansi = Narrow(CP_ACP, WC_NO_BEST_FIT_CHARS, text, &usedDefault);
    if (usedDefault) return false;
    out = std::move(ansi);
    return true;
}

std::string ToAnsi(std::wstring_view text) {
    std::string out;
    if (!TryToAnsi(text, out))
        throw AppError{HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION),
                       L"The text holds characters that the ANSI code page cannot hold."};
    return out;
}

std::string ToUtf8(std::wstring_view text) {
    return Narrow(CP_UTF8, 0, text, nullptr);
}

std::wstring FromAnsi(std::string_view text) {
    std::wstring out;
    Widen(CP_ACP, 0, text, out);
    return out;
}

bool DecodeCodePage(unsigned codePage, std::string_view bytes, std::wstring& out) {
    if (Widen(codePage, MB_ERR_INVALID_CHARS, bytes, out)) return true;
    Widen(codePage, 0, bytes, out);
    return false;
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

std::wstring Decimal(unsigned long long value, size_t width) {
    return Digits(value, 10, width);
}
std::wstring Hex(unsigned long long value, size_t width) {
    return Digits(value, 16, width);
}
