#pragma once
#include <windows.h>

#include <cwchar>
#include <string>

// A moment as text that sorts by time and fits in a file name: 2026-03-07 21-05-03.
inline std::wstring FileStamp(const SYSTEMTIME& moment) {
    wchar_t stamp[32];
    swprintf(stamp, 32, L"%04u-%02u-%02u %02u-%02u-%02u", moment.wYear, moment.wMonth, moment.wDay,
             moment.wHour, moment.wMinute, moment.wSecond);
    return stamp;
}
