#include "Errors.h"

#include "Application.h"
#include "Text.h"

namespace {
std::function<void()> g_beforeFatalExit;
std::function<void(HRESULT, const std::wstring&)> g_fatalReporter;
} // namespace

std::wstring SystemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length ? std::wstring(buffer, length) : L"System error " + Decimal(code) + L".";
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return text;
}

void ThrowWin32(DWORD code, const std::wstring& what) {
    throw AppError{HRESULT_FROM_WIN32(code), what + L": " + SystemMessage(code)};
}

void ThrowLastError(const wchar_t* what) {
    const DWORD code = GetLastError();
    ThrowWin32(code ? code : ERROR_GEN_FAILURE, what);
}

void ThrowLastError(const wchar_t* what, const std::wstring& subject) {
    const DWORD code = GetLastError();
    ThrowWin32(code ? code : ERROR_GEN_FAILURE, what + (L" \"" + subject + L"\""));
}

std::wstring FormatErrorNumber(HRESULT number) {
    return L"0x" + Hex(static_cast<unsigned long>(number), 8);
}

ErrorRecord& Err() {
    static ErrorRecord record;
    return record;
}

ErrorRecord CurrentErrorAsRecord() noexcept {
    try {
        throw;
    } catch (const AppError& e) {
        return {e.number, e.description};
    } catch (const std::bad_alloc&) {
        return {E_OUTOFMEMORY, L"Out of memory."};
    } catch (const std::exception& e) {
        return {E_FAIL, FromAnsi(e.what())};
    } catch (...) {
        return {E_UNEXPECTED, L"Unexpected failure."};
    }
}

void SetBeforeFatalExit(std::function<void()> hook) {
    g_beforeFatalExit = std::move(hook);
}

void SetFatalReporterForTesting(std::function<void(HRESULT, const std::wstring&)> reporter) {
    g_fatalReporter = std::move(reporter);
}

void FatalError(HRESULT number, const std::wstring& description) noexcept {
    if (g_beforeFatalExit) {
        auto hook = std::move(g_beforeFatalExit); // never twice, even if the hook itself fails
        try {
            hook();
        } catch (...) {
        }
    }
    if (g_fatalReporter) {
        try {
            g_fatalReporter(number, description);
        } catch (...) {
        }
        return;
    }
    std::wstring text = L"The program has met an error it cannot recover from and will close.\r\n\r\n"
                        L"Error " +
                        FormatErrorNumber(number) + L": " + description;
    MessageBoxW(nullptr, text.c_str(), App().title.c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
    ExitProcess(static_cast<UINT>(number));
}
