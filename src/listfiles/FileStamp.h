#pragma once
#include "../support/Text.h"

#include <windows.h>

#include <string>

// A moment as text that sorts by time and fits in a file name: 2026-03-07 21-05-03.
inline std::wstring FileStamp(const SYSTEMTIME& moment) {
    return Decimal(moment.wYear, 4) + L"-" + Decimal(moment.wMonth, 2) + L"-" + Decimal(moment.wDay, 2) + L" " +
           Decimal(moment.wHour, 2) + L"-" + Decimal(moment.wMinute, 2) + L"-" + Decimal(moment.wSecond, 2);
}
