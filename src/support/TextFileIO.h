#pragma once
// Whole-file text reading and writing.
// Writes UTF-8 with a byte-order mark, the text exactly as given, through a temporary file in the
// same folder (named <file>.<GUID>.tmp) that replaces the target only when it is complete and
// flushed. Reads UTF-8 (with or without the mark), UTF-16 with a mark, and otherwise the ANSI
// code page; content never makes a read fail.
// A damaged sequence reads as U+FFFD, and the reader is told, so that the original can be kept.
// An unpaired surrogate (which only broken text on the clipboard brings) is written as U+FFFD:
// UTF-8 cannot hold it, and the file stays valid UTF-8 for every other program.
#include <windows.h>

#include <string>

class TextFileIO {
  public:
    void Write(const std::wstring& path, const std::wstring& text);
    // replaced: set when a byte of the file could not be decoded and U+FFFD stands in its place,
    // or when a file without a mark was read in the ANSI code page although it held valid UTF-8.
    std::wstring Read(const std::wstring& path, bool* replaced = nullptr);
    // Removes the temporaries that a crash in the middle of writing this file left beside it,
    // and nothing else.
    void RemoveLeftovers(const std::wstring& path);
};

// The program-wide instance.
TextFileIO& TheTextFileIO();

// True when fileName is one of the temporaries that writing path makes (this version's or an
// earlier one's).
bool IsTemporaryFileOf(const std::wstring& path, const std::wstring& fileName);

// Replaces the system's WriteFile for the writes of the file contents (tests: a write that fails
// half-way); null restores it.
using WriteFileFunction = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
void SetWriteFileForTesting(WriteFileFunction writeFile);
// Reads files without a mark in this code page instead of the ANSI one (tests: a double-byte
// code page); CP_ACP restores it.
void SetAnsiCodePageForTesting(UINT codePage);
