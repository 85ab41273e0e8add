// Holds a file open without sharing until it is ended, as an editor or a virus scanner may: nobody
// can write, rename or delete it meanwhile. Prints "held" once it holds it.
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    HANDLE file = CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    std::puts("held");
    std::fflush(stdout);
    for (;;) Sleep(INFINITE); // the handle goes with the process
}
