// A stand-in for a DLL that a web page drops into a Downloads folder beside a program: it leaves a
// file beside itself when anything loads it.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (!length || length == MAX_PATH) return TRUE;
    wchar_t* name = wcsrchr(path, L'\\');
    if (!name || (name - path) + 16 >= MAX_PATH) return TRUE;
    lstrcpyW(name + 1, L"PLANTED-RAN.txt");
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return TRUE;
}
