#pragma once
// Counts the heap allocations of this process (the global operator new is replaced where this is
// linked), so that a test or a benchmark can see work that allocates where it should not.
long HeapAllocations();
