#include "InstanceGuard.h"

#include "Errors.h"

namespace {
struct Search {
    const wchar_t* property;
    HWND found;
};

BOOL CALLBACK FindMarked(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    if (!GetPropW(window, search->property)) return TRUE;
    search->found = window;
    return FALSE;
}
} // namespace

bool InstanceGuard::Check(const std::wstring& instanceName) {
    if (mutex_) return true; // this instance holds the name already
    name_ = instanceName;
    const std::wstring mutexName = L"Local\\" + instanceName;
    KernelHandle mutex(createMutex_(nullptr, FALSE, mutexName.c_str()));
    const DWORD error = GetLastError(); // before anything frees or builds a string
    // Access denied: the name exists, held by an instance we may not open (an elevated one).
    if (!mutex && error != ERROR_ACCESS_DENIED) ThrowWin32(error, L"Can't check for another instance");
    if (mutex && error != ERROR_ALREADY_EXISTS) {
        mutex_ = std::move(mutex);
        return true;
    }
    Search search{name_.c_str(), nullptr};
    EnumWindows(FindMarked, reinterpret_cast<LPARAM>(&search));
    if (search.found) {
        if (IsIconic(search.found)) ShowWindow(search.found, SW_RESTORE);
        SetForegroundWindow(search.found);
    }
    return false;
}

void InstanceGuard::SetWindow(HWND window) {
    if (!SetPropW(window, name_.c_str(), reinterpret_cast<HANDLE>(1)))
        ThrowLastError(L"Can't mark the window");
}
