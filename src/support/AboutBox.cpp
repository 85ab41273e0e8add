#include "AboutBox.h"

#include "Errors.h"
#include "Form.h"
#include "resource.h"

namespace {
struct AboutData {
    const Application* app;
    const std::wstring* extra;
    const std::wstring* credit;
};

INT_PTR AboutMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        const auto* data = reinterpret_cast<const AboutData*>(lParam);
        SetWindowTextW(dialog, (L"About " + data->app->product).c_str());
        SetDlgItemTextW(dialog, IDC_ABOUT_TITLE, data->app->title.c_str());
        std::wstring version = L"Version " + data->app->version;
        if (!data->extra->empty()) version += L"\r\n" + *data->extra;
        SetDlgItemTextW(dialog, IDC_ABOUT_VERSION, version.c_str());
        SetDlgItemTextW(dialog, IDC_ABOUT_COMPANY, (L"\u00A9 " + data->app->company).c_str());
        SetDlgItemTextW(dialog, IDC_ABOUT_CREDIT, data->credit->c_str());
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return Guarded(INT_PTR{FALSE}, [&] { return AboutMessage(dialog, message, wParam, lParam); });
}
} // namespace

void AboutBox::Show(HWND owner, const Application& app, const std::wstring& extraText,
                    const std::wstring& credit) {
    AboutData data{&app, &extraText, &credit};
    Form::ModalLoop modal;
    if (DialogBoxParamW(AppInstance(), MAKEINTRESOURCEW(IDD_ABOUT), owner, AboutProc,
                        reinterpret_cast<LPARAM>(&data)) == -1)
        ThrowLastError(L"Can't show the About box");
}

AboutBox& TheAboutBox() {
    static AboutBox instance;
    return instance;
}
