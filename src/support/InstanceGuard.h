#pragma once
// Lets one instance of the program run per user session.
#include "Handles.h"

#include <string>

class InstanceGuard {
  public:
    // True when no other instance runs under this name. When one does, its window comes forward.
    bool Check(const std::wstring& instanceName);
    // Marks the window that a later instance brings forward.
    void SetWindow(HWND window);

  private:
    std::wstring name_;
    KernelHandle mutex_;
};
