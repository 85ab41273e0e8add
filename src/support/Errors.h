#pragma once
// Failures, the program's error record, skip-and-continue steps and the callback boundary.
#include <windows.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>

// A failed operation: the failing status and a sentence for the user.
struct AppError {
    HRESULT number;
    std::wstring description;
};

std::wstring SystemMessage(DWORD code);
[[noreturn]] void ThrowWin32(DWORD code, const std::wstring& what);
// Throws for GetLastError(). Call it on the statement right after the failing call: it reads the
// code before any text is built, so its arguments are a literal and an existing string only.
[[noreturn]] void ThrowLastError(const wchar_t* what);
// The same, with a subject (a file, a font) named in quotes after what.
[[noreturn]] void ThrowLastError(const wchar_t* what, const std::wstring& subject);
std::wstring FormatErrorNumber(HRESULT number);

// The program's current error: filled by a skipped step, cleared by the error prompt.
struct ErrorRecord {
    HRESULT number = 0;
    std::wstring description;
    bool IsSet() const { return number != 0; }
    void Clear() {
        number = 0;
        description.clear();
    }
};
ErrorRecord& Err();

// Converts whatever is in flight into an error record; used inside catch blocks only.
ErrorRecord CurrentErrorAsRecord() noexcept;

// Runs one step; a failure is recorded in Err() and swallowed. True when the step succeeded.
template <class F> bool Step(F&& step) noexcept {
    try {
        step();
        return true;
    } catch (...) {
        ErrorRecord e = CurrentErrorAsRecord();
        Err().number = e.number;
        Err().description = std::move(e.description);
    }
    return false;
}

// An error that escaped a handler: the hook runs first (the main window saves its list),
// then the error is reported and the program ends (unless a test replaced the reporter).
void FatalError(HRESULT number, const std::wstring& description) noexcept;
void SetBeforeFatalExit(std::function<void()> hook);
// Replaces report-and-end (tests); the replacement may return, and then so does the boundary.
void SetFatalReporterForTesting(std::function<void(HRESULT, const std::wstring&)> reporter);

// Every Win32 callback runs its body through this: no exception unwinds through a Win32 frame.
template <class R, class F> R Guarded(R fallback, F&& body) noexcept {
    try {
        return body();
    } catch (...) {
        ErrorRecord e = CurrentErrorAsRecord();
        FatalError(e.number, e.description);
    }
    return fallback;
}
