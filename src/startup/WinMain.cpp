#include "modMain.h"

#include "../support/Errors.h"
#include "../support/Form.h"

#include <objbase.h>

#include <cstdlib>

#if defined(__GLIBCXX__)
// No exception escapes the program (every callback is guarded), so it needs none of the standard
// handler's name demangling for a console it does not have; that alone is a sixth of the program.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx
#endif

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    BeginProcess(showCommand);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    Form::SetQuitWhenLastFormCloses(true);
    Guarded(0, [] {
        Main();
        return 0;
    });
    if (Form::OpenCount() > 0) RunMessageLoop();
    CoUninitialize();
    return 0;
}
