#pragma once
// Owns one global memory block at a time, locked from Alloc until Free or Detach.
#include <windows.h>

class csGlobalAlloc {
  public:
    csGlobalAlloc() = default;
    csGlobalAlloc(const csGlobalAlloc&) = delete;
    csGlobalAlloc& operator=(const csGlobalAlloc&) = delete;
    ~csGlobalAlloc() { Free(); }

    // Frees any block held, then allocates and locks a new one. The locked address, or null.
    void* Alloc(SIZE_T blockSize, bool fixed, bool ddeShare, bool discardable, bool noCompact, bool noDiscard,
                bool zeroInit);
    void Free();
    // Hands the block over, unlocked; the caller owns it from now on. Null when none is held.
    HGLOBAL Detach();

    HGLOBAL hMemory() const { return handle_; }
    void* Ptr() const { return ptr_; }
    // The size the system reports, which may exceed the size asked for.
    SIZE_T BlockSize() const { return handle_ ? GlobalSize(handle_) : 0; }

    static UINT Flags(bool fixed, bool ddeShare, bool discardable, bool noCompact, bool noDiscard,
                      bool zeroInit);

  private:
    void Unlock(const wchar_t* operation);
    HGLOBAL handle_ = nullptr;
    void* ptr_ = nullptr;
};
