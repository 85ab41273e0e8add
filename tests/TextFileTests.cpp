#include "TestSupport.h"
#include "support/Errors.h"
#include "support/TextFileIO.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace std::string_literals;

namespace {
bool NoTemporaryLeft(const TempFolder& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder.Path() + L"\\*.tmp").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return true;
    FindClose(find);
    return false;
}
} // namespace

TEST(TextFileIO, EveryAwkwardTextComesBackUnchanged) {
    TempFolder folder;
    TextFileIO io;
    std::wstring big;
    for (int i = 0; i < 100000; ++i)
        big += L"https://example.com/page/" + std::to_wstring(i) + L"\r\n";
    const std::wstring texts[] = {L"",
                                  L"\r",
                                  L"\n",
                                  L"\r\n",
                                  L"a\rb\nc\r\nd",
                                  L"https://a.example/\r\n",
                                  L"\uFEFFstarts with a mark",
                                  L"outside the BMP: \U0001F600 \U00010348",
                                  L"Кириллица и ÄÖÜ",
                                  L"nul\0inside"s,
                                  big};
    for (const std::wstring& text : texts) {
        io.Write(folder.File(L"URLs.TXT"), text);
        EXPECT_EQ(text, io.Read(folder.File(L"URLs.TXT"))) << text.size();
    }
    EXPECT_EQ("\xEF\xBB\xBF"
              "a\rb\nc\r\nd",
              (io.Write(folder.File(L"x.txt"), L"a\rb\nc\r\nd"), ReadBytes(folder.File(L"x.txt"))));
    EXPECT_TRUE(NoTemporaryLeft(folder));
}

TEST(TextFileIO, ReadsAnsiUtf16AndUtf8WithoutMark) {
    TempFolder folder;
    TextFileIO io;
    WriteBytes(folder.File(L"utf8.txt"), "caf\xC3\xA9");
    EXPECT_EQ(L"café", io.Read(folder.File(L"utf8.txt")));
    WriteBytes(folder.File(L"le.txt"), "\xFF\xFE"
                                       "a\0\x16\x04"s);
    EXPECT_EQ(L"aЖ", io.Read(folder.File(L"le.txt")));
    WriteBytes(folder.File(L"be.txt"), "\xFE\xFF\0a\x04\x16"s);
    EXPECT_EQ(L"aЖ", io.Read(folder.File(L"be.txt")));
    // Not UTF-8: the ANSI code page, never a failure.
    WriteBytes(folder.File(L"ansi.txt"), "caf\xE9");
    std::wstring ansi = io.Read(folder.File(L"ansi.txt"));
    EXPECT_EQ(4u, ansi.size());
    EXPECT_EQ(L"caf", ansi.substr(0, 3));
}

TEST(TextFileIO, AFailedWriteReportsAndLeavesTheOldFileIntact) {
    TempFolder folder;
    TextFileIO io;
    const std::wstring path = folder.File(L"URLs.TXT");
    io.Write(path, L"old");
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    try {
        io.Write(path, L"new");
        FAIL() << "a read-only file was replaced";
    } catch (const AppError& e) {
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), e.number);
        EXPECT_NE(std::wstring::npos, e.description.find(path));
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(L"old", io.Read(path));

    EXPECT_THROW(io.Write(folder.File(L"missing\\URLs.TXT"), L"x"), AppError);
    EXPECT_TRUE(NoTemporaryLeft(folder));
}

TEST(TextFileIO, ReadingAMissingOrLockedFileFails) {
    TempFolder folder;
    TextFileIO io;
    EXPECT_THROW(io.Read(folder.File(L"none.txt")), AppError);
    const std::wstring path = folder.File(L"locked.txt");
    io.Write(path, L"x");
    HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_THROW(io.Read(path), AppError);
    EXPECT_THROW(io.Write(path, L"y"), AppError);
    CloseHandle(lock);
    EXPECT_EQ(L"x", io.Read(path));
    EXPECT_TRUE(NoTemporaryLeft(folder));
}

namespace {
int g_writes = 0, g_failingWrite = 0;
BOOL WINAPI FailingWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                             LPOVERLAPPED overlapped) {
    if (++g_writes == g_failingWrite) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return WriteFile(file, data, size, written, overlapped);
}

} // namespace

TEST(TextFileIO, AWriteThatFailsHalfWayLeavesTheOldFileByteForByte) {
    TempFolder folder;
    TextFileIO io;
    const std::wstring path = folder.File(L"URLs.TXT");
    WriteBytes(path, "\xEF\xBB\xBFhttps://old.example/");
    for (int failing : {1, 2}) { // the mark, then the text
        g_writes = 0;
        g_failingWrite = failing;
        SetWriteFileForTesting(FailingWriteFile);
        try {
            io.Write(path, L"https://new.example/\r\nhttps://newer.example/");
            ADD_FAILURE() << "a failed write was reported as done";
        } catch (const AppError& e) {
            EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_DISK_FULL), e.number);
        }
        SetWriteFileForTesting(nullptr);
        EXPECT_EQ("\xEF\xBB\xBFhttps://old.example/", ReadBytes(path)) << failing;
        EXPECT_EQ(std::vector<std::wstring>{L"URLs.TXT"}, FileNames(folder.Path())) << failing;
    }
}

TEST(TextFileIO, LeftoversOfEarlierRunsNeitherBlockAWriteNorOutliveTheCleanUp) {
    TempFolder folder;
    TextFileIO io;
    const std::wstring path = folder.File(L"URLs.TXT");
    // Process ids repeat under Wine: names a killed run of this very process id could have left.
    for (int n = 1; n <= 300; ++n)
        WriteBytes(path + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(n) + L".tmp",
                   "x");
    WriteBytes(path + L".{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}.tmp", "half a list");
    const std::vector<std::wstring> keep = {
        L"URLs (unread 2026-01-02 03-04-05).TXT", L"URLs.TXT.notes.tmp", L"URLs.TXT.1-x.tmp",
        L"other.TXT.{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}.tmp", L"URLs.TXT.{0F1E2D3C}.tmp"};
    for (const std::wstring& name : keep)
        WriteBytes(folder.File(name), "the user's");
    io.Write(path, L"https://a.example/");
    EXPECT_EQ(L"https://a.example/", io.Read(path));

    io.RemoveLeftovers(path);
    std::vector<std::wstring> expected = keep;
    expected.push_back(L"URLs.TXT");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, FileNames(folder.Path()));
    EXPECT_TRUE(IsTemporaryFileOf(path, L"urls.txt.{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}.TMP"));
    EXPECT_FALSE(IsTemporaryFileOf(path, L"URLs.TXT.tmp"));
}

TEST(TextFileIO, DamagedBytesReadAsReplacementsAndTheReaderIsTold) {
    TempFolder folder;
    TextFileIO io;
    const std::wstring path = folder.File(L"URLs.TXT");
    const std::string link = "https://\xD0\xBF\xD1\x80\xD0\xB8\xD0\xBC\xD0\xB5\xD1\x80.\xD1\x80\xD1\x84/";
    struct Case {
        const char* what;
        std::string bytes;
        std::wstring text;
        bool replaced;
    };
    const Case cases[] = {
        {"mark, last character cut", "\xEF\xBB\xBF" + link + "\xD0", L"https://пример.рф/\uFFFD", true},
        {"mark, overlong and lone continuation", "\xEF\xBB\xBF" "a\xC0\xAF" "b\x80", L"a\uFFFD\uFFFDb\uFFFD", true},
        {"mark, truncated three-byte sequence inside", "\xEF\xBB\xBF" "a\xE2\x82" "b", L"a\uFFFDb", true},
        {"mark, beyond U+10FFFF and a surrogate", "\xEF\xBB\xBF\xF4\x90\x80\x80\xED\xA0\x80",
         L"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD", true},
        {"mark, outside the BMP", "\xEF\xBB\xBF\xF0\x9F\x98\x80", L"\U0001F600", false},
        {"mark, overlong three-byte slash", "\xEF\xBB\xBF\xE0\x80\xAF", L"\uFFFD\uFFFD\uFFFD", true},
        {"no mark, valid", link, L"https://пример.рф/", false},
        {"no mark, UTF-8 with its last character cut", link + "\xD0", L"https://пример.рф/\uFFFD", true},
        {"no mark, one character and a cut one", "\xD1\x8F.\xD1\x80\xD1\x84/\xD0", L"я.рф/\uFFFD", true},
        {"no mark, two characters per cut one: still UTF-8", "\xD1\x8F\xD1\x80\xD0", L"яр\uFFFD", true},
        {"UTF-16 LE, odd last byte", "\xFF\xFE" "a\0b"s, L"a\uFFFD", true},
        {"UTF-16 LE, unpaired surrogate kept", "\xFF\xFE" "a\0\x00\xD8"s, L"a\xD800", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteBytes(path, c.bytes);
        bool replaced = !c.replaced;
        EXPECT_EQ(c.text, io.Read(path, &replaced));
        EXPECT_EQ(c.replaced, replaced);
    }
    // ANSI text: its accented letters are lone high bytes, even beside accidental valid pairs. Read
    // so although it holds valid UTF-8 too, the file is kept aside like a damaged one.
    for (const auto& [ansi, heldUtf8] : {std::pair{"caf\xE9 na\xEFve"s, false}, {"caf\xE9, na\xEFve, \xC3\xA9"s, true},
                                         {"\xD1\x8F\xE9"s, true}}) {
        SCOPED_TRACE(ansi);
        WriteBytes(path, ansi);
        bool replaced = !heldUtf8;
        const std::wstring text = io.Read(path, &replaced);
        EXPECT_EQ(heldUtf8, replaced);
        EXPECT_EQ(ansi.size(), text.size());
        EXPECT_EQ(std::wstring::npos, text.find(L'\uFFFD'));
    }
    // An unpaired surrogate cannot be UTF-8: it is written as U+FFFD.
    io.Write(path, L"a\xD800z");
    EXPECT_EQ("\xEF\xBB\xBF" "a\xEF\xBF\xBDz", ReadBytes(path));
}
