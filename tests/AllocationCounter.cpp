#include "AllocationCounter.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> g_allocations{0};
std::atomic<bool> g_clearLastError{false};
} // namespace

void SetAllocationsClearLastError(bool clear) {
    g_clearLastError = clear;
}

long HeapAllocations() {
    return g_allocations;
}

void* operator new(size_t size) {
    ++g_allocations;
    if (g_clearLastError) SetLastError(ERROR_SUCCESS);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    if (g_clearLastError) SetLastError(ERROR_SUCCESS);
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    if (g_clearLastError) SetLastError(ERROR_SUCCESS);
    std::free(p);
}
