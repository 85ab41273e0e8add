#include "AllocationCounter.h"
#include "TestSupport.h"
#include "startup/modMain.h"
#include "support/Errors.h"
#include "support/InstanceGuard.h"
#include "support/ScopeExit.h"
#include "support/TextFileIO.h"
#include "support/SupportFunctions.h"

#include <gtest/gtest.h>

#include <cwctype>

TEST(SupportFunctions, PathsAreJoinedWithSingleBackslashes) {
    EXPECT_EQ(L"C:\\Users\\a\\Pellomir\\Quenlit",
              esBuildFileName2({L"C:\\Users\\a", L"Pellomir", L"Quenlit", L"", L"", L"", L"", L"", L""}));
    EXPECT_EQ(L"C:\\data\\URLs.TXT", esBuildFileName(L"C:\\data\\", L"URLs.TXT"));
    EXPECT_EQ(L"C:\\Out", esGetFilePath(L"C:\\Out\\x.VODE"));
    EXPECT_EQ(L"C:\\", esGetFilePath(L"C:\\x.VODE"));
    EXPECT_EQ(L"", esGetFullFileName(L""));
    EXPECT_EQ(L"C:\\a\\c", esGetFullFileName(L"C:\\a\\b\\..\\c"));
}

TEST(SupportFunctions, FileExistenceIsAboutFilesOnly) {
    TempFolder folder;
    WriteBytes(folder.File(L"f"), "x");
    EXPECT_TRUE(esIsFileExist(folder.File(L"f")));
    EXPECT_FALSE(esIsFileExist(folder.Path()));
    EXPECT_FALSE(esIsFileExist(folder.File(L"none")));
}

TEST(SupportFunctions, NewGuidsAreDistinctAndFitInFileNames) {
    const std::wstring a = esGetNewGUID(), b = esGetNewGUID();
    EXPECT_NE(a, b);
    EXPECT_EQ(38u, a.size());
    EXPECT_EQ(std::wstring::npos, a.find_first_of(L"\\/:*?\"<>|"));
}

TEST(SupportFunctions, DateTimeAndComputerNameAreText) {
    SYSTEMTIME t{2026, 3, 6, 7, 21, 5, 3, 0};
    EXPECT_NE(std::wstring::npos, esFormatDate2(t).find(L"2026"));
    EXPECT_NE(std::wstring::npos, esFormatTime2(t).find(L"05"));
    EXPECT_FALSE(esGetComputerName().empty());
    EXPECT_TRUE(esIsHostWinNT());
}

TEST(SupportFunctions, DataFolderNameDropsThePrefixInAnyCaseAndUsesProperCase) {
    EXPECT_EQ(L"Quenlit", DataFolderName(L"Tolvane - Quenlit"));
    EXPECT_EQ(L"My Notes", DataFolderName(L"tolvane - my notes"));
    EXPECT_EQ(L"Ab", DataFolderName(L"TOLVANE - aTolvane - B"));
    // One pass: what a removal joins stays.
    EXPECT_EQ(L"Tolvane - Quenlit", DataFolderName(L"Tolvane Tolvane - - Quenlit"));
    EXPECT_EQ(L"One\tTwo", DataFolderName(L"ONE\ttwo"));
}

TEST(SupportFunctions, AddTextAppendsPast30000CharactersAndKeepsTheSelection) {
    HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_POPUP | ES_MULTILINE | ES_AUTOHSCROLL | ES_AUTOVSCROLL, 0,
                                0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, edit);
    std::wstring line(1000, L'x');
    for (int i = 0; i < 40; ++i)
        asTextBoxAddText(edit, line);
    EXPECT_EQ(40000, GetWindowTextLengthW(edit));
    SendMessageW(edit, EM_SETSEL, 5, 10);
    asTextBoxAddText(edit, L"\r\nend");
    DWORD start = 0, end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(5u, start);
    EXPECT_EQ(10u, end);
    std::wstring all(40006, L'\0');
    GetWindowTextW(edit, all.data(), 40006);
    EXPECT_EQ(L"\r\nend", all.substr(40000, 5));
    asTextBoxSelectAll(edit);
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(0u, start);
    EXPECT_EQ(40005u, end);
    DestroyWindow(edit);
}

TEST(SupportFunctions, RegisterAppPathRecordsTheProgram) {
    if (!InTestSandbox()) GTEST_SKIP() << "it writes the real App Paths key; it runs only in the sandbox of ./quenlit test";
    esRegisterAppPath();
    wchar_t path[MAX_PATH], stored[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring key =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + std::wstring(wcsrchr(path, L'\\') + 1);
    DWORD size = sizeof(stored);
    ASSERT_EQ(ERROR_SUCCESS,
              RegGetValueW(HKEY_CURRENT_USER, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, stored, &size));
    EXPECT_STREQ(path, stored);
    RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
}

TEST(Errors, StepRecordsAndSwallowsFailures) {
    Err().Clear();
    EXPECT_TRUE(Step([] {}));
    EXPECT_FALSE(Err().IsSet());
    EXPECT_FALSE(Step([] { throw AppError{E_ACCESSDENIED, L"denied"}; }));
    EXPECT_EQ(E_ACCESSDENIED, Err().number);
    EXPECT_EQ(L"denied", Err().description);
    EXPECT_FALSE(Step([] { throw std::bad_alloc(); }));
    EXPECT_EQ(E_OUTOFMEMORY, Err().number);
    // A guard whose test fails lets the guarded step run.
    bool stop = false;
    Step([&] { stop = (throw AppError{E_FAIL, L"test failed"}, true); });
    EXPECT_FALSE(stop);
    Err().Clear();
}

TEST(Errors, TheBoundaryReportsNumberAndDescriptionAfterTheHook) {
    std::vector<std::wstring> events;
    SetBeforeFatalExit([&] { events.push_back(L"saved"); });
    SetFatalReporterForTesting([&](HRESULT number, const std::wstring& description) {
        events.push_back(FormatErrorNumber(number) + L" " + description);
    });
    int result = Guarded(7, []() -> int { throw AppError{E_ACCESSDENIED, L"no way"}; });
    EXPECT_EQ(7, result);
    ASSERT_EQ(2u, events.size());
    EXPECT_EQ(L"saved", events[0]);
    EXPECT_EQ(L"0x80070005 no way", events[1]);
    Guarded(0, []() -> int { throw std::runtime_error("plain"); });
    EXPECT_EQ(L"0x80004005 plain", events.back());
    SetFatalReporterForTesting(nullptr);
}

namespace {
HANDLE WINAPI ExistingMutex(LPSECURITY_ATTRIBUTES, BOOL, LPCWSTR) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    SetLastError(ERROR_ALREADY_EXISTS);
    return mutex;
}
} // namespace

TEST(Errors, TheFailingCallsCodeIsReadBeforeAnyTextIsBuiltOrFreed) {
    SetAllocationsClearLastError(true);
    ScopeExit restore([] { SetAllocationsClearLastError(false); });
    TempFolder folder;
    try {
        TheTextFileIO().Read(folder.File(L"none.txt"));
        ADD_FAILURE() << "a missing file was read";
    } catch (const AppError& e) {
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), e.number) << e.description;
        EXPECT_NE(std::wstring::npos, e.description.find(folder.File(L"none.txt")));
    }
    // Two instances would overwrite each other's saves.
    EXPECT_FALSE(InstanceGuard(ExistingMutex).Check(L"{quenlit-test-existing}"));
}
