#pragma once
// Lets one instance of the program run per user session.
#include "Handles.h"

#include <string>

class InstanceGuard {
  public:
    using CreateMutexFunction = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, BOOL, LPCWSTR);
    // The system's call, unless a test shows what an elevated first instance looks like.
    explicit InstanceGuard(CreateMutexFunction createMutex = CreateMutexW) : createMutex_(createMutex) {}

    // True when no other instance runs under this name. When one does, its window comes forward.
    bool Check(const std::wstring& instanceName);
    // Marks the window that a later instance brings forward.
    void SetWindow(HWND window);

  private:
    CreateMutexFunction createMutex_;
    std::wstring name_;
    KernelHandle mutex_;
};
