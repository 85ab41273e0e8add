#include "modMain.h"

#include "../support/Errors.h"
#include "../support/Form.h"

#include <objbase.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
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
