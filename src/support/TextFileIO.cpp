#include "TextFileIO.h"

#include "Errors.h"
#include "Handles.h"
#include "ScopeExit.h"
#include "SupportFunctions.h"
#include "Text.h"

#include <string_view>

namespace {
WriteFileFunction g_writeFile = WriteFile;
UINT g_ansiCodePage = CP_ACP;
// How often a refused replace is tried again, 10 ms apart.
constexpr int kReplaceAttempts = 10;

void WriteAll(HANDLE file, const char* data, size_t size, const std::wstring& path) {
    while (size > 0) {
        DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!g_writeFile(file, data, chunk, &written, nullptr))
            ThrowLastError(L"Can't write", path);
        data += written;
        size -= written;
    }
}

// Unpaired surrogates come back as they were: a wide string holds them. An odd last byte is replaced.
std::wstring DecodeUtf16(std::string_view bytes, bool bigEndian, bool& replaced) {
    std::wstring text(bytes.size() / 2, L'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        auto lo = static_cast<unsigned char>(bytes[2 * i + (bigEndian ? 1 : 0)]);
        auto hi = static_cast<unsigned char>(bytes[2 * i + (bigEndian ? 0 : 1)]);
        text[i] = static_cast<wchar_t>(lo | (hi << 8));
    }
    if (bytes.size() % 2) {
        text += L'\uFFFD';
        replaced = true;
    }
    return text;
}

// UTF-8 with each invalid sequence (its longest valid beginning, or one byte) replaced by U+FFFD,
// as Unicode recommends and browsers do. Counts the valid multi-byte sequences and the replaced ones.
std::wstring DecodeUtf8(std::string_view bytes, size_t& multiByte, size_t& invalid) {
    std::wstring text;
    text.reserve(bytes.size());
    multiByte = invalid = 0;
    for (size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            text += static_cast<wchar_t>(lead);
            ++i;
            continue;
        }
        // The length of the sequence and the range of its second byte (no overlong forms, no
        // surrogates, nothing past U+10FFFF).
        size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) length = 2;
        else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        }
        char32_t code = length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        size_t taken = 1;
        while (length && taken < length && i + taken < bytes.size()) {
            const auto next = static_cast<unsigned char>(bytes[i + taken]);
            if (next < (taken == 1 ? low : 0x80) || next > (taken == 1 ? high : 0xBF)) break;
            code = (code << 6) | (next & 0x3F);
            ++taken;
        }
        i += taken;
        if (!length || taken < length) {
            text += L'\uFFFD';
            ++invalid;
            continue;
        }
        ++multiByte;
        if (code >= 0x10000) {
            text += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
            text += static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            text += static_cast<wchar_t>(code);
        }
    }
    return text;
}

std::wstring Decode(std::string_view bytes, bool& replaced) {
    replaced = false;
    size_t multiByte = 0, invalid = 0;
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        std::wstring text = DecodeUtf8(bytes.substr(3), multiByte, invalid);
        replaced = invalid > 0;
        return text;
    }
    if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE") return DecodeUtf16(bytes.substr(2), false, replaced);
    if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFE\xFF") return DecodeUtf16(bytes.substr(2), true, replaced);
    // Without a mark, as a careful editor guesses: UTF-8 when it is valid UTF-8, and also when its
    // valid multi-byte sequences outnumber the damaged ones at least two to one (a cut character in
    // a UTF-8 list). Text in the ANSI code page almost never holds a valid multi-byte sequence: an
    // accented letter there is a lone high byte, which is invalid UTF-8.
    std::wstring text = DecodeUtf8(bytes, multiByte, invalid);
    if (invalid == 0 || multiByte >= 2 * invalid) {
        replaced = invalid > 0;
        return text;
    }
    // Read as ANSI although it holds valid UTF-8 too, the guess may be wrong; with bytes that the
    // code page has no character for, it is damaged. Either way the file as it was is kept aside.
    std::wstring ansi;
    replaced = !DecodeCodePage(g_ansiCodePage, bytes, ansi) || multiByte > 0;
    return ansi;
}

bool IsHex(std::wstring_view text) {
    return !text.empty() && text.find_first_not_of(L"0123456789abcdefABCDEF") == std::wstring_view::npos;
}

bool IsDigits(std::wstring_view text) {
    return !text.empty() && text.find_first_not_of(L"0123456789") == std::wstring_view::npos;
}

// {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}
bool IsGuidText(std::wstring_view text) {
    if (text.size() != 38 || text.front() != L'{' || text.back() != L'}') return false;
    const size_t groups[] = {8, 4, 4, 4, 12};
    size_t at = 1;
    for (size_t length : groups) {
        if (!IsHex(text.substr(at, length))) return false;
        at += length;
        if (at < 37 && text[at++] != L'-') return false;
    }
    return true;
}

std::wstring FileNameOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Unique, so that nothing a crash left behind can stand in the way.
std::wstring TemporaryName(const std::wstring& path) {
    return path + L"." + esGetNewGUID() + L".tmp";
}
} // namespace

void SetWriteFileForTesting(WriteFileFunction writeFile) {
    g_writeFile = writeFile ? writeFile : WriteFile;
}

void SetAnsiCodePageForTesting(UINT codePage) {
    g_ansiCodePage = codePage;
}

bool IsTemporaryFileOf(const std::wstring& path, const std::wstring& fileName) {
    const std::wstring target = FileNameOf(path) + L".";
    const std::wstring_view name = fileName;
    if (name.size() <= target.size() + 4 || _wcsnicmp(name.data(), target.c_str(), target.size()) != 0 ||
        _wcsicmp(name.data() + name.size() - 4, L".tmp") != 0)
        return false;
    const std::wstring_view middle = name.substr(target.size(), name.size() - target.size() - 4);
    if (IsGuidText(middle)) return true;
    // Earlier versions named them <process id>-<counter>.
    const size_t dash = middle.find(L'-');
    return dash != std::wstring_view::npos && IsDigits(middle.substr(0, dash)) &&
           IsDigits(middle.substr(dash + 1));
}

void TextFileIO::Write(const std::wstring& path, const std::wstring& text) {
    // Replacing a file swaps directory entries, which a read-only mark alone would not stop.
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        ThrowWin32(ERROR_ACCESS_DENIED, L"Can't write \"" + path + L"\"");

    static const char kByteOrderMark[] = "\xEF\xBB\xBF";
    const std::string bytes = ToUtf8(text);
    const std::wstring temporary = TemporaryName(path);
    FileHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) ThrowLastError(L"Can't write", path);
    // Whatever fails from here on, the half-written temporary goes and the target stays as it was.
    ScopeExit removeTemporary([&] {
        file.Reset();
        DeleteFileW(temporary.c_str());
    });
    WriteAll(file.Get(), kByteOrderMark, 3, path);
    WriteAll(file.Get(), bytes.data(), bytes.size(), path);
    if (!FlushFileBuffers(file.Get())) ThrowLastError(L"Can't write", path);
    file.Reset();
    // A virus scanner, a sync client or a reader may hold the file open for a moment.
    for (int attempt = 0;
         !MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
         ++attempt) {
        const DWORD error = GetLastError();
        if (attempt == kReplaceAttempts ||
            (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION))
            ThrowWin32(error, L"Can't write \"" + path + L"\"");
        Sleep(10);
    }
    removeTemporary.Dismiss();
}

void TextFileIO::RemoveLeftovers(const std::wstring& path) {
    const std::wstring name = FileNameOf(path);
    if (name.empty()) return;
    const std::wstring folder = path.substr(0, path.size() - name.size());
    WIN32_FIND_DATAW data;
    FindHandle find(FindFirstFileW((path + L".*.tmp").c_str(), &data));
    if (!find) return;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsTemporaryFileOf(path, data.cFileName))
            DeleteFileW((folder + data.cFileName).c_str());
    } while (FindNextFileW(find.Get(), &data));
}

std::wstring TextFileIO::Read(const std::wstring& path, bool* replaced) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) ThrowLastError(L"Can't read", path);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size)) ThrowLastError(L"Can't read", path);
    if (size.QuadPart > 0x7FFFFFFF) throw AppError{E_OUTOFMEMORY, L"\"" + path + L"\" is too large to read."};
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        if (!ReadFile(file.Get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &read,
                      nullptr))
            ThrowLastError(L"Can't read", path);
        if (read == 0) break;
        done += read;
    }
    bytes.resize(done);
    bool anyReplaced = false;
    std::wstring text = Decode(bytes, anyReplaced);
    if (replaced) *replaced = anyReplaced;
    return text;
}

TextFileIO& TheTextFileIO() {
    static TextFileIO instance;
    return instance;
}
