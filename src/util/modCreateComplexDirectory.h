#pragma once
// Creates a whole directory path, on a drive or a network share, in one call.
#include <windows.h>

#include <string>

// The kernel32 calls the creation makes; a test can watch the exact paths they receive.
struct DirectoryCalls {
    DWORD(WINAPI* getFileAttributesA)(LPCSTR);
    DWORD(WINAPI* getFileAttributesW)(LPCWSTR);
    BOOL(WINAPI* createDirectoryA)(LPCSTR, LPSECURITY_ATTRIBUTES);
    BOOL(WINAPI* createDirectoryW)(LPCWSTR, LPSECURITY_ATTRIBUTES);
};
const DirectoryCalls& RealDirectoryCalls();

// True when every level below the root exists as a directory at the end. With useWideCalls on an
// NT host the wide calls get long-path forms (\\?\C:\..., \\?\UNC\server\share\...); otherwise the
// narrow calls get the plain path in the ANSI code page.
bool CreateComplexDirectory(const std::wstring& path, bool useWideCalls,
                            const DirectoryCalls& calls = RealDirectoryCalls());
