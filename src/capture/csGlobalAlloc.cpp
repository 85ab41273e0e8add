#include "csGlobalAlloc.h"
#include "../support/Text.h"

#include <string>

namespace {
// A development trace only: never shown to the user, never changes a result.
void Trace(const std::wstring& text) {
    OutputDebugStringW((L"csGlobalAlloc" + text + L"\n").c_str());
}
} // namespace

UINT csGlobalAlloc::Flags(bool fixed, bool ddeShare, bool discardable, bool noCompact, bool noDiscard,
                          bool zeroInit) {
    return (fixed ? GMEM_FIXED : GMEM_MOVEABLE) | (ddeShare ? GMEM_DDESHARE : 0) |
           (discardable ? GMEM_DISCARDABLE : 0) | (noCompact ? GMEM_NOCOMPACT : 0) |
           (noDiscard ? GMEM_NODISCARD : 0) | (zeroInit ? GMEM_ZEROINIT : 0);
}

void* csGlobalAlloc::Alloc(SIZE_T blockSize, bool fixed, bool ddeShare, bool discardable, bool noCompact,
                           bool noDiscard, bool zeroInit) {
    Free();
    handle_ = GlobalAlloc(Flags(fixed, ddeShare, discardable, noCompact, noDiscard, zeroInit), blockSize);
    if (!handle_) return nullptr;
    ptr_ = GlobalLock(handle_);
    if (!ptr_) Free();
    return ptr_;
}

void csGlobalAlloc::Unlock(const wchar_t* operation) {
    SetLastError(ERROR_SUCCESS);
    // Zero is also the normal answer once the lock count reaches zero; only an error code says failure.
    if (!GlobalUnlock(handle_)) {
        DWORD error = GetLastError();
        if (error != ERROR_SUCCESS)
            Trace(std::wstring(operation) + L" ==> GlobalUnlock() failed! Err code: " + Decimal(error));
    }
    ptr_ = nullptr;
}

void csGlobalAlloc::Free() {
    if (ptr_) Unlock(L"::Free()");
    if (handle_) {
        if (GlobalFree(handle_)) Trace(L"::Free() ==> GlobalFree() failed!");
        handle_ = nullptr;
    }
}

HGLOBAL csGlobalAlloc::Detach() {
    if (ptr_) Unlock(L"::Detach()");
    HGLOBAL handle = handle_;
    handle_ = nullptr;
    return handle;
}
