#pragma once
// Whole-file text reading and writing.
// Writes UTF-8 with a byte-order mark, the text exactly as given, through a temporary file in the
// same folder that replaces the target only when it is complete and flushed. Reads UTF-8 (with or
// without the mark), UTF-16 with a mark, and otherwise the ANSI code page.
#include <string>

class TextFileIO {
  public:
    void Write(const std::wstring& path, const std::wstring& text);
    std::wstring Read(const std::wstring& path);
};

// The program-wide instance.
TextFileIO& TheTextFileIO();
