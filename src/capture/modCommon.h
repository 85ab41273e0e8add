#pragma once
#include <string>

// True when the text is a link worth collecting: it has URL form (the platform's test), is not a
// file link when those are excluded, and holds no CR, LF, TAB or NUL. A text that is not in URL
// form passes only when double-slash texts are accepted and it starts with "//".
bool IsLinkText(const std::wstring& text, bool excludeFileURLs, bool acceptDoubleSlash);
