#include "TestSupport.h"
#include "startup/modMain.h"
#include "support/Application.h"
#include "support/Form.h"
#include "support/ScopeExit.h"
#include "support/SupportFunctions.h"

#include <gtest/gtest.h>

#include <shlobj.h>

namespace {
std::wstring AppData() {
    return esGetSpecialFolder(CSIDL_APPDATA);
}
std::wstring Company() {
    return AppData() + L"\\Pellomir";
}

bool IsDirectory(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

struct StartupTest : ::testing::Test {
    // Start-up works on the real data folder and settings key: only the sandbox's are the tests' own.
    void SetUp() override {
        if (!InTestSandbox())
            GTEST_SKIP() << "start-up uses the real data folder and settings key; it is tested only inside "
                            "the sandbox that ./quenlit test makes";
        SetAppForTesting(ShippedIdentity());
        RemoveTree(Company());
    }
    void TearDown() override {
        if (InTestSandbox()) RemoveTree(Company());
    }
};
} // namespace

// First of all: once this process has started the program, it is the first instance itself.
TEST_F(StartupTest, ASecondInstanceEndsSilentlyWithoutTouchingTheFolder) {
    HANDLE other = CreateMutexW(nullptr, FALSE, L"Local\\{3F0C9A6E-52D1-4B7E-9C2A-7E15D4B8A0F3}");
    ScriptedBoxes boxes({});
    Main();
    EXPECT_EQ(0, Form::OpenCount());
    EXPECT_FALSE(IsDirectory(Company()));
    EXPECT_TRUE(boxes.Seen().empty());
    CloseHandle(other);
}

TEST_F(StartupTest, BothFolderLevelsAreMadeWhenAbsentAndLeftWhenPresent) {
    ScriptedBoxes boxes({});
    const std::wstring expected = AppData() + L"\\Pellomir\\Quenlit";
    EXPECT_EQ(expected, GetDataFolder());
    EXPECT_TRUE(IsDirectory(expected));
    WriteBytes(expected + L"\\URLs.TXT", "kept");
    EXPECT_EQ(expected, GetDataFolder());
    EXPECT_EQ("kept", ReadBytes(expected + L"\\URLs.TXT"));
    EXPECT_TRUE(boxes.Seen().empty());
}

TEST_F(StartupTest, AFileInTheWayIsReportedAndNoWindowOpens) {
    WriteBytes(Company(), "not a folder");
    ScriptedBoxes boxes({IDOK});
    EXPECT_EQ(L"", GetDataFolder());
    ASSERT_EQ(1u, boxes.Seen().size());
    EXPECT_EQ(AppData() + L"\\Pellomir\\Quenlit\r\n\r\nНе удаётся создать или открыть каталог данных.",
              boxes.Seen()[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), boxes.Seen()[0].type);
    EXPECT_EQ(L"Tolvane - Quenlit", boxes.Seen()[0].caption);
    SetDataFolder(L"");
    StartApplication();
    EXPECT_EQ(0, Form::OpenCount());
    EXPECT_EQ(L"", DataFolder());
    DeleteFileW(Company().c_str());
}

TEST_F(StartupTest, TheFirstInstanceShowsTheWindowOverItsDataFolder) {
    ScriptedBoxes boxes({});
    Main();
    ASSERT_EQ(1, Form::OpenCount());
    EXPECT_EQ(AppData() + L"\\Pellomir\\Quenlit", DataFolder());
    HWND window = FindOwnWindow(L"QuenlitForm", L"Quenlit");
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(IsWindowVisible(window));
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, Form::OpenCount());
    EXPECT_EQ("\xEF\xBB\xBF", ReadBytes(DataFolder() + L"\\URLs.TXT"));
    EXPECT_TRUE(boxes.Seen().empty());
}

TEST_F(StartupTest, AProfileOutsideTheAnsiCodePageStillGetsItsDataFolderAndWindow) {
    if (GetACP() == CP_UTF8) GTEST_SKIP() << "the ANSI code page is UTF-8: it holds every path";
    // The roaming folder of a Cyrillic user name under a Western code page: only the wide calls reach it.
    const wchar_t kShellFolders[] =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    wchar_t saved[MAX_PATH] = {};
    DWORD size = sizeof(saved);
    RegGetValueW(HKEY_CURRENT_USER, kShellFolders, L"AppData",
                 RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, saved, &size);
    const std::wstring foreign = AppData() + L" Пользователь";
    RegSetKeyValueW(HKEY_CURRENT_USER, kShellFolders, L"AppData", REG_EXPAND_SZ, foreign.c_str(),
                    static_cast<DWORD>((foreign.size() + 1) * sizeof(wchar_t)));
    ScopeExit restore([&] {
        RegSetKeyValueW(HKEY_CURRENT_USER, kShellFolders, L"AppData", REG_EXPAND_SZ, saved,
                        static_cast<DWORD>((wcslen(saved) + 1) * sizeof(wchar_t)));
        RemoveTree(foreign);
    });
    ASSERT_EQ(foreign, AppData()) << "this system does not take the roaming folder from the registry";

    ScriptedBoxes boxes({});
    Main();
    EXPECT_TRUE(boxes.Seen().empty());
    ASSERT_EQ(1, Form::OpenCount());
    EXPECT_EQ(foreign + L"\\Pellomir\\Quenlit", DataFolder());
    EXPECT_TRUE(IsDirectory(DataFolder()));
    SendMessageW(FindOwnWindow(L"QuenlitForm", L"Quenlit"), WM_CLOSE, 0, 0);
    EXPECT_EQ(0, Form::OpenCount());
}

TEST(DllPlanting, AfterTheRestrictionADllBesideTheProgramIsNeverLoaded) {
    // A DLL dropped beside the program, under a name that is no system DLL's.
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    const std::wstring folder(exe, wcsrchr(exe, L'\\'));
    const std::wstring name = L"quenlit-planted-" + std::to_wstring(GetCurrentProcessId()) + L".dll";
    const std::wstring planted = folder + L"\\" + name;
    ASSERT_TRUE(CopyFileW((folder + L"\\planted\\version.dll").c_str(), planted.c_str(), FALSE));
    const std::wstring ran = folder + L"\\PLANTED-RAN.txt"; // what the planted DLL leaves when it runs
    ScopeExit remove([&] {
        DeleteFileW(planted.c_str());
        DeleteFileW(ran.c_str());
    });
    HMODULE before = LoadLibraryW(name.c_str());
    EXPECT_NE(nullptr, before); // without the restriction the program's folder comes first
    if (before) FreeLibrary(before);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(ran.c_str()));
    DeleteFileW(ran.c_str());
    BeginProcess(SW_SHOWNORMAL); // the program's first steps, as wWinMain takes them
    EXPECT_EQ(nullptr, LoadLibraryW(name.c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(ran.c_str()));
    HMODULE system = LoadLibraryW(L"version.dll"); // System32's own still loads
    EXPECT_NE(nullptr, system);
    if (system) FreeLibrary(system);
}
