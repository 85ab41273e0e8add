// frmMain members: the link list file.
#include "FileStamp.h"

#include "../mainwindow/frmMain.h"
#include "../support/Application.h"
#include "../support/ErrorPrompt.h"
#include "../support/Errors.h"
#include "../support/SupportFunctions.h"
#include "../support/TextFileIO.h"
#include "../util/modCreateComplexDirectory.h"

#include <algorithm>

namespace {
const wchar_t kURLsFile[] = L"URLs.TXT";
// While another program holds the list, a capture's save is tried again after these waits,
// doubling from the first: a held list of 100,000 links is not rewritten every two seconds.
constexpr ULONGLONG kFirstSaveRetryMs = 2000, kLastSaveRetryMs = 60000;
} // namespace

std::wstring frmMain::URLsFilePath() const {
    return esBuildFileName(DataFolder(), kURLsFile, 0);
}

void frmMain::LoadURLs() {
    Err().Clear();
    std::wstring path;
    bool exists = false;
    Step([&] { path = URLsFilePath(); });
    // What a crash in the middle of a save left behind goes before anything is written again.
    Step([&] { TheTextFileIO().RemoveLeftovers(path); });
    Step([&] { exists = esIsFileExist(path); });
    if (!exists) return;
    for (;;) {
        bool replaced = false;
        if (Step([&] { txtURLs.SetText(TheTextFileIO().Read(path, &replaced)); })) {
            // Damaged bytes read as U+FFFD: the file as it was is kept before a save replaces it.
            keepListFileAs_ = replaced ? L"damaged" : nullptr;
            return;
        }
        keepListFileAs_ = L"unread";
        if (TheErrorPrompt().Show(Err(), MB_ICONERROR | MB_RETRYCANCEL,
                                  path + L"\r\n\r\nCan't load URLs file.") != IDRETRY)
            return;
    }
}

// A file that could not be loaded, or only with damaged bytes replaced, is not the list the user
// sees: it is kept beside the list under a name of its own before a save replaces it.
void frmMain::KeepListFileAside(const std::wstring& path) {
    if (!keepListFileAs_) return;
    if (esIsFileExist(path)) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        const std::wstring backup = esBuildFileName(
            DataFolder(), L"URLs (" + std::wstring(keepListFileAs_) + L" " + FileStamp(now) + L").TXT");
        if (!MoveFileExW(path.c_str(), backup.c_str(), MOVEFILE_COPY_ALLOWED))
            ThrowLastError(L"Can't keep aside the list file", path);
    }
    keepListFileAs_ = nullptr;
}

namespace {
// A cleaning tool or a profile sync may remove the folder while the program runs.
void RecreateDataFolder() {
    if (!CreateComplexDirectory(DataFolder(), true))
        throw AppError{HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND),
                       L"The data folder \"" + DataFolder() + L"\" can't be created."};
}
} // namespace

bool frmMain::WriteURLs(const std::wstring* list) {
    Err().Clear();
    listUnsaved_ = !Step([&] {
        const std::wstring path = URLsFilePath();
        RecreateDataFolder();
        KeepListFileAside(path);
        TheTextFileIO().Write(path, list ? *list : txtURLs.Text());
    });
    return !listUnsaved_;
}

bool frmMain::SaveURLs(bool silent) {
    for (;;) {
        if (WriteURLs()) return true;
        // Silent or not, a refused save is tried again by the ticks, from 2 s on.
        saveRetryDelay_ = kFirstSaveRetryMs;
        saveRetryAt_ = TickCount() + saveRetryDelay_;
        if (silent) return true;
        std::wstring path;
        Step([&] { path = URLsFilePath(); });
        switch (TheErrorPrompt().Show(Err(), MB_ICONERROR | MB_ABORTRETRYIGNORE,
                                      path + L"\r\n\r\nCan't save URLs file.")) {
        case IDRETRY:
            continue;
        case IDIGNORE:
            return true;
        default:
            return false;
        }
    }
}

void frmMain::RetryRefusedSave() {
    if (!listUnsaved_ || TickCount() < saveRetryAt_) return;
    if (WriteURLs()) return;
    saveRetryDelay_ = std::min(saveRetryDelay_ * 2, kLastSaveRetryMs);
    saveRetryAt_ = TickCount() + saveRetryDelay_;
}
