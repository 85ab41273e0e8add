#pragma once
// Every modal message box of the program goes through here, so a test can answer them.
#include <windows.h>

#include <functional>
#include <string>

using MessageBoxHandler =
    std::function<int(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type)>;

// Caption defaults to the application title; owner is the thread's active window.
int MsgBox(const std::wstring& text, UINT type, const std::wstring& caption = {});
// Replaces the real box (tests); an empty handler restores it.
void SetMessageBoxHandler(MessageBoxHandler handler);
