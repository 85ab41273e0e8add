#pragma once
// Counts the heap allocations of this process (the global operator new is replaced where this is
// linked), so that a test or a benchmark can see work that allocates where it should not.
long HeapAllocations();
// While set, every allocation and release clears the thread's last error, as a heap that commits or
// returns a page may: code that builds a string between a failing call and GetLastError is caught.
void SetAllocationsClearLastError(bool clear);
