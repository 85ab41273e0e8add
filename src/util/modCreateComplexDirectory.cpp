#include "modCreateComplexDirectory.h"

#include "../support/SupportFunctions.h"
#include "../support/Text.h"

#include <algorithm>
#include <vector>

namespace {
std::wstring TrimLeadingBackslashes(std::wstring path) {
    size_t first = path.find_first_not_of(L'\\');
    path.erase(0, first == std::wstring::npos ? path.size() : first);
    return path;
}

std::wstring TrimTrailingBackslashes(std::wstring path) {
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return path;
}

std::wstring CollapseBackslashes(std::wstring path) {
    path.erase(
        std::unique(path.begin(), path.end(), [](wchar_t a, wchar_t b) { return a == L'\\' && b == L'\\'; }),
        path.end());
    return path;
}

std::wstring AddLongPathPrefix(const std::wstring& path, bool isUNC) {
    return isUNC ? L"\\\\?\\UNC\\" + path.substr(2) : L"\\\\?\\" + path;
}

// A path that the ANSI code page cannot hold names no directory for the narrow calls.
bool IsDirExist(const std::wstring& path, bool isUNC, bool useWideCalls, const DirectoryCalls& calls) {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    std::string ansi;
    if (esIsHostWinNT() && useWideCalls)
        attributes = calls.getFileAttributesW(AddLongPathPrefix(path, isUNC).c_str());
    else if (TryToAnsi(path, ansi))
        attributes = calls.getFileAttributesA(ansi.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateDir(const std::wstring& path, bool isUNC, bool useWideCalls, const DirectoryCalls& calls) {
    if (esIsHostWinNT() && useWideCalls)
        return calls.createDirectoryW(AddLongPathPrefix(path, isUNC).c_str(), nullptr);
    std::string ansi;
    return TryToAnsi(path, ansi) && calls.createDirectoryA(ansi.c_str(), nullptr);
}
} // namespace

const DirectoryCalls& RealDirectoryCalls() {
    static const DirectoryCalls calls{GetFileAttributesA, GetFileAttributesW, CreateDirectoryA,
                                      CreateDirectoryW};
    return calls;
}

bool CreateComplexDirectory(const std::wstring& path, bool useWideCalls, const DirectoryCalls& calls) {
    std::wstring working = path;
    std::replace(working.begin(), working.end(), L'/', L'\\');
    working = esGetFullFileName(TrimTrailingBackslashes(working), -1);
    if (working.empty()) return false;

    std::wstring root;
    bool isUNC = false;
    if (working.compare(0, 2, L"\\\\") == 0) {
        working = TrimLeadingBackslashes(working);
        size_t i = working.find(L'\\');
        if (working.empty() || i == std::wstring::npos) return false;
        root = L"\\\\" + working.substr(0, i);
        working = TrimLeadingBackslashes(working.substr(i));
        size_t j = working.find(L'\\');
        if (j == std::wstring::npos) return false;
        root += L"\\" + working.substr(0, j);
        working = TrimLeadingBackslashes(working.substr(j));
        isUNC = true;
    } else {
        if (working.size() < 3) return false;
        const std::wstring head = ToUpper(working.substr(0, 3));
        if (head[0] < L'A' || head[0] > L'Z' || head[1] != L':' || head[2] != L'\\') return false;
        root = working.substr(0, 2);
        working = TrimLeadingBackslashes(working.substr(2));
    }
    working = CollapseBackslashes(working);

    std::vector<std::wstring> levels;
    for (size_t start = 0; !working.empty();) {
        size_t end = working.find(L'\\', start);
        levels.push_back(working.substr(start, end - start));
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    if (levels.empty()) return false;

    std::wstring current = root;
    for (const std::wstring& level : levels) {
        current += L"\\" + level;
        if (!IsDirExist(current, isUNC, useWideCalls, calls) &&
            !CreateDir(current, isUNC, useWideCalls, calls))
            return false;
    }
    return true;
}
