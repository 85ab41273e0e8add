#include "SaveFileDialog.h"

#include "Errors.h"
#include "Form.h"
#include "Text.h"

#include <commdlg.h>

#include <algorithm>
#include <vector>

namespace {
std::function<bool(SaveFileDialog&)> g_handler;
}

void SetSaveFileDialogHandler(std::function<bool(SaveFileDialog&)> handler) {
    g_handler = std::move(handler);
}

bool SaveFileDialog::Show() {
    if (g_handler) return g_handler(*this);
    std::wstring filterPairs = filter + L"||";
    std::replace(filterPairs.begin(), filterPairs.end(), L'|', L'\0');
    std::vector<wchar_t> buffer(32768, L'\0');
    initialFileName.copy(buffer.data(), std::min(initialFileName.size(), buffer.size() - 1));

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filterPairs.c_str();
    ofn.nFilterIndex = static_cast<DWORD>(filterIndex);
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrInitialDir = initialDirectory.empty() ? nullptr : initialDirectory.c_str();
    ofn.lpstrDefExt = defaultExtension.empty() ? nullptr : defaultExtension.c_str();
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_EXPLORER;
    Form::ModalLoop modal;
    if (GetSaveFileNameW(&ofn)) {
        fileName = buffer.data();
        return true;
    }
    if (DWORD error = CommDlgExtendedError())
        throw AppError{E_FAIL, L"The Save As dialog failed (code " + Decimal(error) + L")."};
    return false;
}
