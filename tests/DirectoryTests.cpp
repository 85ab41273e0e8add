#include "TestSupport.h"
#include "support/Errors.h"
#include "support/Text.h"
#include "util/modCreateComplexDirectory.h"

#include <gtest/gtest.h>

#include <cwchar>

#include <set>

namespace {
// Calls seen through the seam. The fake world: what exists, and the n-th creation that fails.
std::vector<std::string> g_calls;
std::set<std::wstring> g_existing;
int g_failCreationNumber = 0;
int g_creations = 0;
bool g_passThrough = false;

DWORD WINAPI FakeAttributesW(LPCWSTR path) {
    g_calls.push_back("GetFileAttributesW " + std::string(path, path + wcslen(path)));
    if (g_passThrough) return GetFileAttributesW(path);
    return g_existing.count(path) ? FILE_ATTRIBUTE_DIRECTORY : INVALID_FILE_ATTRIBUTES;
}
DWORD WINAPI FakeAttributesA(LPCSTR path) {
    g_calls.push_back("GetFileAttributesA " + std::string(path));
    if (g_passThrough) return GetFileAttributesA(path);
    return INVALID_FILE_ATTRIBUTES;
}
BOOL WINAPI FakeCreateW(LPCWSTR path, LPSECURITY_ATTRIBUTES sa) {
    g_calls.push_back("CreateDirectoryW " + std::string(path, path + wcslen(path)));
    if (++g_creations == g_failCreationNumber) return FALSE;
    if (g_passThrough) return CreateDirectoryW(path, sa);
    g_existing.insert(path);
    return TRUE;
}
BOOL WINAPI FakeCreateA(LPCSTR path, LPSECURITY_ATTRIBUTES sa) {
    g_calls.push_back("CreateDirectoryA " + std::string(path));
    if (++g_creations == g_failCreationNumber) return FALSE;
    if (g_passThrough) return CreateDirectoryA(path, sa);
    return TRUE;
}
const DirectoryCalls kSeen{FakeAttributesA, FakeAttributesW, FakeCreateA, FakeCreateW};

struct CreateComplexDirectoryTest : ::testing::Test {
    void SetUp() override {
        g_calls.clear();
        g_existing.clear();
        g_failCreationNumber = g_creations = 0;
        g_passThrough = false;
    }
};

bool IsDirectory(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}
} // namespace

TEST_F(CreateComplexDirectoryTest, CreatesEveryMissingLevelOuterFirstOnRealFolders) {
    TempFolder folder;
    EXPECT_TRUE(CreateComplexDirectory(folder.File(L"a\\b\\c"), true));
    EXPECT_TRUE(IsDirectory(folder.File(L"a\\b\\c")));
    // All present: true, and nothing is created.
    g_passThrough = true;
    EXPECT_TRUE(CreateComplexDirectory(folder.File(L"a\\b\\c"), true, kSeen));
    for (const std::string& call : g_calls)
        EXPECT_EQ(0u, call.find("GetFileAttributesW")) << call;
}

TEST_F(CreateComplexDirectoryTest, SlashesDoubledAndTrailingBackslashesGiveTheSameLevels) {
    TempFolder folder;
    std::wstring messy = folder.Path() + L"/x//y\\\\\\z\\\\";
    EXPECT_TRUE(CreateComplexDirectory(messy, false));
    EXPECT_TRUE(IsDirectory(folder.File(L"x\\y\\z")));
}

TEST_F(CreateComplexDirectoryTest, DriveLettersKeepTheirCaseAndCallsGetTheRightForms) {
    EXPECT_TRUE(CreateComplexDirectory(L"c:\\one\\two", true, kSeen));
    EXPECT_EQ((std::vector<std::string>{
                  "GetFileAttributesW \\\\?\\c:\\one", "CreateDirectoryW \\\\?\\c:\\one",
                  "GetFileAttributesW \\\\?\\c:\\one\\two", "CreateDirectoryW \\\\?\\c:\\one\\two"}),
              g_calls);
    g_calls.clear();
    EXPECT_TRUE(CreateComplexDirectory(L"C:\\one", false, kSeen));
    EXPECT_EQ((std::vector<std::string>{"GetFileAttributesA C:\\one", "CreateDirectoryA C:\\one"}), g_calls);
}

TEST_F(CreateComplexDirectoryTest, NetworkPathsCreateBelowTheShareOnly) {
    EXPECT_TRUE(CreateComplexDirectory(L"\\\\server\\share\\a\\b", true, kSeen));
    EXPECT_EQ((std::vector<std::string>{"GetFileAttributesW \\\\?\\UNC\\server\\share\\a",
                                        "CreateDirectoryW \\\\?\\UNC\\server\\share\\a",
                                        "GetFileAttributesW \\\\?\\UNC\\server\\share\\a\\b",
                                        "CreateDirectoryW \\\\?\\UNC\\server\\share\\a\\b"}),
              g_calls);
    g_calls.clear();
    EXPECT_FALSE(CreateComplexDirectory(L"\\\\server\\share", true, kSeen));
    EXPECT_FALSE(CreateComplexDirectory(L"\\\\server", true, kSeen));
    EXPECT_FALSE(CreateComplexDirectory(L"\\\\", true, kSeen));
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(CreateComplexDirectoryTest, RootsEmptyAndForeignPathsAreRefusedWithoutACall) {
    EXPECT_FALSE(CreateComplexDirectory(L"", true, kSeen));
    EXPECT_FALSE(CreateComplexDirectory(L"C:\\", true, kSeen));
    EXPECT_FALSE(CreateComplexDirectory(L"C:/", true, kSeen));
    EXPECT_FALSE(CreateComplexDirectory(L"1:\\x", true, kSeen));
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(CreateComplexDirectoryTest, AFailedLevelStopsAndKeepsTheLevelsAbove) {
    g_failCreationNumber = 3;
    EXPECT_FALSE(CreateComplexDirectory(L"C:\\a\\b\\c\\d", true, kSeen));
    EXPECT_EQ(6u, g_calls.size()); // two levels made, the third refused, the fourth never tried
    EXPECT_TRUE(g_existing.count(L"\\\\?\\C:\\a\\b"));

    // A level that exists as a file, on real folders.
    TempFolder folder;
    WriteBytes(folder.File(L"file"), "x");
    EXPECT_FALSE(CreateComplexDirectory(folder.File(L"file\\below"), true));
    EXPECT_FALSE(IsDirectory(folder.File(L"file\\below")));
    // The last level a file: no folder there, so start-up must hear False, for both kinds of calls.
    EXPECT_FALSE(CreateComplexDirectory(folder.File(L"file"), true));
    EXPECT_FALSE(CreateComplexDirectory(folder.File(L"file"), false));
}

TEST_F(CreateComplexDirectoryTest, TheNarrowCallsRefuseALevelTheCodePageCannotHold) {
    if (GetACP() == CP_UTF8) GTEST_SKIP() << "the ANSI code page is UTF-8: it holds every character";
    TempFolder folder;
    // Best fit would make "Ābc" into "Abc" and report a folder that is not the one asked for.
    EXPECT_FALSE(CreateComplexDirectory(folder.File(L"\u0100bc"), false));
    EXPECT_FALSE(IsDirectory(folder.File(L"Abc")));
    EXPECT_FALSE(IsDirectory(folder.File(L"\u0100bc")));
    EXPECT_TRUE(CreateComplexDirectory(folder.File(L"\u0100bc"), true)); // the wide calls hold it
    // Every other 8-bit conversion refuses such a text instead of changing it.
    EXPECT_THROW(ToAnsi(L"\u0100bc"), AppError);
    EXPECT_EQ("Abc", ToAnsi(L"Abc"));
}
