// Another program's dialogs, open while the suites run: a "Save As" box and one titled like the
// program's prompts. It ends as soon as any of them is answered, so a test that acted on a window
// of another process is seen.
#include <windows.h>

namespace {
DWORD WINAPI ShowBox(void* caption) {
    MessageBoxW(nullptr, L"Another program's dialog: no test may answer it.", static_cast<const wchar_t*>(caption),
                MB_OKCANCEL);
    return 0;
}
} // namespace

int main() {
    static const wchar_t* const captions[] = {L"Save As", L"Tolvane - Quenlit"};
    HANDLE threads[2];
    for (int i = 0; i < 2; ++i)
        threads[i] = CreateThread(nullptr, 0, ShowBox, const_cast<wchar_t*>(captions[i]), 0, nullptr);
    WaitForMultipleObjects(2, threads, FALSE, INFINITE);
    return 1;
}
