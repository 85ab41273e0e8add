#pragma once
// Conversions between the program's wide text and 8-bit forms.
#include <string>
#include <string_view>

// Without best-fit mapping: false when a character has no place in the ANSI code page.
bool TryToAnsi(std::wstring_view text, std::string& out);
// Throws when a character has no place in the ANSI code page.
std::string ToAnsi(std::wstring_view text);
std::wstring FromAnsi(std::string_view text);
// Text in a code page (CP_ACP for the ANSI one); false when bytes had no character there (a cut
// double-byte character) and were replaced.
bool DecodeCodePage(unsigned codePage, std::string_view bytes, std::wstring& out);
std::string ToUtf8(std::wstring_view text);
// Strict: invalid UTF-8 gives false and leaves out untouched.
bool TryFromUtf8(std::string_view bytes, std::wstring& out);
std::wstring ToUpper(std::wstring text);
std::wstring ToLower(std::wstring text);
// A number in decimal or upper-case hexadecimal digits, zero-padded to at least width digits.
// (Not the printf family: its implementation alone would be a tenth of the program.)
std::wstring Decimal(unsigned long long value, size_t width = 0);
std::wstring Hex(unsigned long long value, size_t width = 0);
