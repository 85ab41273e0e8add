#pragma once
// The plain support functions. Each returns its value and throws AppError when it fails.
#include <windows.h>

#include <initializer_list>
#include <string>
#include <string_view>

// Records the program's path under the per-user App Paths key; a refused write is not a failure.
void esRegisterAppPath();
// This program never runs inside a development environment.
inline bool esIsInIDE() {
    return false;
}
// The framework keeps no hidden owner window, so there is none to give an icon.
inline HWND esGetThunderMainHandle() {
    return nullptr;
}
// Large and small icons from the named icon resource, sized for the window's DPI.
void asSetWindowResIconAll(HWND window, const std::wstring& resourceName);
// Centres the window on the work area of its monitor.
void asCenterFormEx(HWND window);
// Nothing to fix: the framework's text box needs no container window.
inline void asFixUserControlsContainerWindow() {}

std::wstring esGetSpecialFolder(int csidl);
// The non-empty parts joined with single backslashes.
std::wstring esBuildFileName2(std::initializer_list<std::wstring_view> parts);
std::wstring esBuildFileName(const std::wstring& folder, const std::wstring& fileName, int flags = 0);
bool esIsFileExist(const std::wstring& path);
// The folder part of a full file name ("C:\" for a file in a drive root).
std::wstring esGetFilePath(const std::wstring& fullName);
// The absolute form of the path; the empty path gives the empty string.
std::wstring esGetFullFileName(const std::wstring& path, int flags = -1);
bool esIsHostWinNT();
std::wstring esGetComputerName();
// Date and time texts in the user's locale.
std::wstring esFormatDate2(const SYSTEMTIME& moment, int format = 0, int flags = 0);
std::wstring esFormatTime2(const SYSTEMTIME& moment, int format = 0, int flags = 0);
// A new GUID in its braced text form, which is usable in a file name.
std::wstring esGetNewGUID();
// Opens the help document that ships inside the program.
void esOpenReadMeFile(int flags = 0);

// Appends at the end of a multi-line edit control, leaving the user's selection as it was.
void asTextBoxAddText(HWND edit, const std::wstring& text);
void asTextBoxSelectAll(HWND edit);
void asBeep(DWORD frequency, DWORD milliseconds);
// Replaces the system's Beep (tests hear what reaches it); null restores it.
void SetBeepForTesting(BOOL(WINAPI* beep)(DWORD, DWORD));
