#pragma once
#include <optional>
#include <string>

class ClipboardText {
  public:
    virtual ~ClipboardText() = default;
    // The clipboard's text, empty when it holds none. Opens and closes the clipboard itself,
    // waiting briefly while another program holds it open.
    std::wstring Read();
    // The text of the clipboard that this thread holds open already; none when its owner did not
    // render the text it announced.
    virtual std::optional<std::wstring> ReadOpened();
};

ClipboardText& TheClipboardText();
// Stands in for the program-wide instance (tests watch when the text is read); null restores it.
void SetClipboardTextForTesting(ClipboardText* replacement);
