#include "modCommon.h"

#include "../support/Text.h"

#include <windows.h>
#include <shlwapi.h>

bool IsLinkText(const std::wstring& text, bool excludeFileURLs, bool acceptDoubleSlash) {
    // The platform's test reads up to a NUL; the NUL itself is refused below.
    if (PathIsURLW(text.c_str())) {
        if (excludeFileURLs && ToLower(text.substr(0, 7)) == L"file://") return false;
        return text.find_first_of(std::wstring_view(L"\n\r\t\0", 4)) == std::wstring::npos;
    }
    return acceptDoubleSlash && text.compare(0, 2, L"//") == 0;
}
