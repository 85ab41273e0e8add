#pragma once
#include <string>
#include <string_view>

// True when the text is a link worth collecting: it has URL form (the platform's test) with a
// scheme that begins with a letter and is followed by neither a blank nor a second colon ("Re:
// hello", "12:30", "std::vector" are no links), is not a file link when those are excluded, and
// holds no CR, LF, TAB or NUL but for one line break at its very end. A text that is not in URL
// form passes only when double-slash texts are accepted and it starts with "//".
bool IsLinkText(const std::wstring& text, bool excludeFileURLs, bool acceptDoubleSlash);

// The text without one line break (CR LF, LF or CR) at its very end: a spreadsheet's copied cell,
// an editor's whole line.
std::wstring_view WithoutFinalLineBreak(std::wstring_view text);
