#include "modMain.h"

#include "../mainwindow/frmMain.h"
#include "../support/Application.h"
#include "../support/Form.h"
#include "../support/InstanceGuard.h"
#include "../support/MessageBox.h"
#include "../support/SupportFunctions.h"
#include "../support/Text.h"
#include "../util/modCreateComplexDirectory.h"

#include <commctrl.h>
#include <shlobj.h>

#include <memory>

namespace {
std::unique_ptr<InstanceGuard> g_instanceGuard;
std::unique_ptr<frmMain> g_mainWindow;

bool IsWordSeparator(wchar_t c) {
    return c == L' ' || (c >= L'\t' && c <= L'\r') || c == L'\0';
}
} // namespace

void BeginProcess(int showCommand) {
    // Looked up at run time: Windows 7 without its update lacks it.
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    const auto set = reinterpret_cast<SetDirectories>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (set) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
    Form::SetStartShowCommand(showCommand);
}

void Main() {
    esRegisterAppPath();
    InitCommonControls();
    if (!esIsInIDE()) {
        if (HWND owner = esGetThunderMainHandle()) asSetWindowResIconAll(owner, L"A_MAIN");
    }
    StartApplication();
}

void StartApplication() {
    if (!g_instanceGuard) g_instanceGuard = std::make_unique<InstanceGuard>();
    if (!g_instanceGuard->Check(App().guid)) return;
    SetDataFolder(GetDataFolder());
    if (DataFolder().empty()) return;
    g_mainWindow = std::make_unique<frmMain>();
    g_mainWindow->Show();
    if (g_mainWindow->IsLoaded()) g_instanceGuard->SetWindow(g_mainWindow->Handle());
}

std::wstring DataFolderName(const std::wstring& title) {
    const std::wstring prefix = L"tolvane - ";
    std::wstring name = ToLower(title), lowered = name;
    // One pass from left to right: what two removals join is not removed again.
    for (size_t at = 0; (at = lowered.find(prefix, at)) != std::wstring::npos;) {
        name.erase(at, prefix.size());
        lowered.erase(at, prefix.size());
    }
    bool wordStart = true;
    for (wchar_t& c : name) {
        if (wordStart) c = ToUpper(std::wstring(1, c))[0];
        wordStart = IsWordSeparator(c);
    }
    return name;
}

std::wstring GetDataFolder() {
    const std::wstring name = DataFolderName(App().title);
    const std::wstring base = esGetSpecialFolder(CSIDL_APPDATA);
    const std::wstring path = esBuildFileName2({base, App().company, name, L"", L"", L"", L"", L"", L""});
    // Wide calls: a profile path outside the ANSI code page is beyond the narrow ones.
    if (CreateComplexDirectory(path, true)) return path;
    MsgBox(path + L"\r\n\r\nНе удаётся создать или открыть каталог данных.", MB_OK | MB_ICONERROR);
    return {};
}
