// frmMain members: the VODE export.
#include "FileStamp.h"

#include "../mainwindow/frmMain.h"
#include "../support/ErrorPrompt.h"
#include "../support/SaveFileDialog.h"
#include "../support/SettingsStore.h"
#include "../support/SupportFunctions.h"
#include "../support/Text.h"
#include "../support/TextFileIO.h"

namespace {
const wchar_t kPathsSection[] = L"OFN Paths";
const wchar_t kLastFolderKey[] = L"Last open VODE directory";
} // namespace

std::wstring frmMain::ProposedVODEFileName(const SYSTEMTIME& moment) {
    return L"Quenlit " + FileStamp(moment) + L" " + ToUpper(esGetNewGUID()) + L".VODE";
}

std::wstring frmMain::GetSaveFileNameVODE() {
    SYSTEMTIME now;
    GetLocalTime(&now);

    SaveFileDialog dialog;
    dialog.initialFileName = ProposedVODEFileName(now);
    dialog.filter = L"VODE files|*.VODE|All files|*.*";
    dialog.filterIndex = 0;
    dialog.defaultExtension = L"VODE";
    dialog.owner = GetActiveWindow();
    SettingsStore store(App());
    dialog.initialDirectory = store.GetString(kPathsSection, kLastFolderKey, L"");
    if (!dialog.Show()) return {};
    store.SetString(kPathsSection, kLastFolderKey, esGetFilePath(dialog.fileName));
    return dialog.fileName;
}

void frmMain::SaveVODEFile() {
    Err().Clear();
    std::wstring fileName;
    Step([&] { fileName = GetSaveFileNameVODE(); });
    if (fileName.empty()) {
        Err().Clear();
        return;
    }
    // Assembled once, after the dialog has closed: a retry writes the very same content.
    std::wstring content;
    const bool assembled = Step([&] {
        SYSTEMTIME now;
        GetLocalTime(&now);
        content = L"Comp: " + esGetComputerName() + L"\r\nDate: " + esFormatDate2(now, 0, 0) + L" " +
                  esFormatTime2(now, 0, 0) + L"\r\n\r\n" + txtURLs.Text();
    });
    const std::wstring message = fileName + L"\r\n\r\nCan't save VODE file.";
    if (!assembled) {
        // Without its content a file would be written without the list: write nothing and say so.
        TheErrorPrompt().Show(Err(), MB_ICONERROR | MB_OK, message);
        return;
    }
    while (!Step([&] { TheTextFileIO().Write(fileName, content); })) {
        if (TheErrorPrompt().Show(Err(), MB_ICONERROR | MB_ABORTRETRYIGNORE, message) != IDRETRY) return;
    }
}
