#include "modCommon.h"

#include "../support/Text.h"

#include <windows.h>
#include <shlwapi.h>

std::wstring_view WithoutFinalLineBreak(std::wstring_view text) {
    if (text.ends_with(L"\r\n"))
        text.remove_suffix(2);
    else if (text.ends_with(L'\n') || text.ends_with(L'\r'))
        text.remove_suffix(1);
    return text;
}

namespace {
bool IsAsciiLetter(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

// The platform calls any text a URL that starts with letters or digits and a colon.
bool HasLinkScheme(std::wstring_view line) {
    const size_t colon = line.find(L':');
    if (colon == std::wstring_view::npos || !IsAsciiLetter(line[0])) return false;
    if (colon + 1 == line.size()) return true;
    const wchar_t next = line[colon + 1];
    return next != L':' && next != L' ' && next != L'\u00A0' && next != L'\u3000';
}
} // namespace

bool IsLinkText(const std::wstring& text, bool excludeFileURLs, bool acceptDoubleSlash) {
    const std::wstring line(WithoutFinalLineBreak(text));
    // The platform's test reads up to a NUL; the NUL itself is refused below.
    if (PathIsURLW(line.c_str())) {
        if (excludeFileURLs && ToLower(line.substr(0, 7)) == L"file://") return false;
        return HasLinkScheme(line) &&
               line.find_first_of(std::wstring_view(L"\n\r\t\0", 4)) == std::wstring::npos;
    }
    return acceptDoubleSlash && text.compare(0, 2, L"//") == 0;
}
