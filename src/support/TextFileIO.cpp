#include "TextFileIO.h"

#include "Errors.h"
#include "Handles.h"
#include "ScopeExit.h"
#include "SupportFunctions.h"
#include "Text.h"

#include <string_view>

namespace {
WriteFileFunction g_writeFile = WriteFile;

void WriteAll(HANDLE file, const char* data, size_t size, const std::wstring& path) {
    while (size > 0) {
        DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!g_writeFile(file, data, chunk, &written, nullptr))
            ThrowLastError(L"Can't write \"" + path + L"\"");
        data += written;
        size -= written;
    }
}

std::wstring DecodeUtf16(std::string_view bytes, bool bigEndian) {
    std::wstring text(bytes.size() / 2, L'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        auto lo = static_cast<unsigned char>(bytes[2 * i + (bigEndian ? 1 : 0)]);
        auto hi = static_cast<unsigned char>(bytes[2 * i + (bigEndian ? 0 : 1)]);
        text[i] = static_cast<wchar_t>(lo | (hi << 8));
    }
    return text;
}

std::wstring Decode(std::string_view bytes) {
    std::wstring text;
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        if (!TryFromUtf8(bytes.substr(3), text)) text = FromAnsi(bytes.substr(3));
        return text;
    }
    if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE") return DecodeUtf16(bytes.substr(2), false);
    if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFE\xFF") return DecodeUtf16(bytes.substr(2), true);
    if (TryFromUtf8(bytes, text)) return text;
    return FromAnsi(bytes);
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
    if (!file) ThrowLastError(L"Can't write \"" + path + L"\"");
    // Whatever fails from here on, the half-written temporary goes and the target stays as it was.
    ScopeExit removeTemporary([&] {
        file.Reset();
        DeleteFileW(temporary.c_str());
    });
    WriteAll(file.Get(), kByteOrderMark, 3, path);
    WriteAll(file.Get(), bytes.data(), bytes.size(), path);
    if (!FlushFileBuffers(file.Get())) ThrowLastError(L"Can't write \"" + path + L"\"");
    file.Reset();
    if (!MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        ThrowLastError(L"Can't write \"" + path + L"\"");
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

std::wstring TextFileIO::Read(const std::wstring& path) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) ThrowLastError(L"Can't read \"" + path + L"\"");
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size)) ThrowLastError(L"Can't read \"" + path + L"\"");
    if (size.QuadPart > 0x7FFFFFFF) throw AppError{E_OUTOFMEMORY, L"\"" + path + L"\" is too large to read."};
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        if (!ReadFile(file.Get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &read,
                      nullptr))
            ThrowLastError(L"Can't read \"" + path + L"\"");
        if (read == 0) break;
        done += read;
    }
    bytes.resize(done);
    return Decode(bytes);
}

TextFileIO& TheTextFileIO() {
    static TextFileIO instance;
    return instance;
}
