#include "Form.h"

#include "Application.h"
#include "Errors.h"
#include "ScopeExit.h"

#include <commctrl.h>

#include <cmath>
#include <utility>

namespace {
const wchar_t kFormClass[] = L"QuenlitForm";

ATOM RegisterFormClass(WNDPROC proc) {
    static ATOM atom = 0;
    if (atom) return atom;
    WNDCLASSEXW wc{sizeof(wc)};
    wc.lpfnWndProc = proc;
    wc.hInstance = AppInstance();
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kFormClass;
    atom = RegisterClassExW(&wc);
    if (!atom) ThrowLastError(L"Can't register the window class");
    return atom;
}

int ToPixels(double twips, double twipsPerPixel) {
    return static_cast<int>(std::lround(twips / twipsPerPixel));
}

Form* FormFromWindow(HWND window) {
    HWND root = GetAncestor(window, GA_ROOT);
    if (!root) return nullptr;
    wchar_t name[32];
    if (!GetClassNameW(root, name, 32) || lstrcmpW(name, kFormClass) != 0) return nullptr;
    return reinterpret_cast<Form*>(GetWindowLongPtrW(root, GWLP_USERDATA));
}
} // namespace

// --- TextBox ---------------------------------------------------------------

void TextBox::Create(HWND parent, int id, double left, double top, double width, double height) {
    const double tpp = 1440.0 / WindowDpi(parent);
    handle_ =
        CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE |
                            ES_AUTOHSCROLL | ES_AUTOVSCROLL | ES_WANTRETURN,
                        ToPixels(left, tpp), ToPixels(top, tpp), ToPixels(width, tpp), ToPixels(height, tpp),
                        parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), AppInstance(), nullptr);
    if (!handle_) ThrowLastError(L"Can't create the text box");
    // The default limit (30,000 characters) would silently drop appends to a long list.
    SendMessageW(handle_, EM_SETLIMITTEXT, 0, 0);
}

int TextBox::TextLength() const {
    return GetWindowTextLengthW(handle_);
}

std::wstring TextBox::Text() const {
    std::wstring text(static_cast<size_t>(TextLength()) + 1, L'\0');
    int length = GetWindowTextW(handle_, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(length));
    return text;
}

void TextBox::SetText(const std::wstring& text) {
    // The box would end the text there: refused before the box is touched.
    if (text.find(L'\0') != std::wstring::npos)
        throw AppError{HRESULT_FROM_WIN32(ERROR_INVALID_DATA),
                       L"The text holds a NUL character, which a text box cannot show."};
    if (!SetWindowTextW(handle_, text.c_str())) ThrowLastError(L"Can't put the text into the text box");
    if (TextLength() != static_cast<int>(text.size()))
        throw AppError{E_OUTOFMEMORY, L"The text box cannot hold the whole text."};
}

void TextBox::SetFont(std::shared_ptr<Font> font) {
    font_ = std::move(font);
    RefreshFont();
}

void TextBox::RefreshFont() {
    if (font_ && handle_)
        SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font_->Handle(WindowDpi(handle_))), TRUE);
}

void TextBox::Move(double left, double top, double width, double height) {
    if (width < 0 || height < 0) throw AppError{E_INVALIDARG, L"Invalid procedure call or argument."};
    const double tpp = 1440.0 / WindowDpi(handle_);
    if (!MoveWindow(handle_, ToPixels(left, tpp), ToPixels(top, tpp), ToPixels(width, tpp),
                    ToPixels(height, tpp), TRUE))
        ThrowLastError(L"Can't move the text box");
}

TextBox::KeySubscription::KeySubscription(TextBox& box, ITextBoxKeyEvents& sink)
    : subclass_(box.Handle(), [&sink](UINT message, WPARAM& wParam, LPARAM&, LRESULT& result) {
          // Setting the key or the character to 0 cancels it for the control.
          int code = static_cast<int>(wParam);
          if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN) {
              int shift = ShiftState();
              sink.TB_KeyDown(code, shift);
          } else if (message == WM_CHAR) {
              sink.TB_KeyPress(code);
          } else {
              return false;
          }
          wParam = static_cast<WPARAM>(code);
          result = 0;
          return code == 0;
      }) {}

// --- Timer -----------------------------------------------------------------

Timer::~Timer() {
    if (enabled_ && IsWindow(owner_)) KillTimer(owner_, id_);
}

void Timer::Create(Form& owner, UINT_PTR id, UINT interval, std::function<void()> tick) {
    owner.timers_.push_back(this);
    owner_ = owner.Handle();
    id_ = id;
    interval_ = interval;
    tick_ = std::move(tick);
    SetEnabled(true);
}

void Timer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    if (enabled) {
        if (!SetTimer(owner_, id_, interval_, nullptr)) ThrowLastError(L"Can't start the timer");
    } else {
        KillTimer(owner_, id_);
    }
    enabled_ = enabled;
}

void Timer::Fire() {
    if (enabled_ && tick_) tick_();
}

// --- Form ------------------------------------------------------------------

int ShiftState() {
    return (GetKeyState(VK_SHIFT) < 0 ? 1 : 0) | (GetKeyState(VK_CONTROL) < 0 ? 2 : 0) |
           (GetKeyState(VK_MENU) < 0 ? 4 : 0);
}

Form::Form(std::wstring caption, int clientWidthTwips, int clientHeightTwips, std::shared_ptr<Font> font)
    : caption_(std::move(caption)), clientWidthTwips_(clientWidthTwips),
      clientHeightTwips_(clientHeightTwips), font_(std::move(font)) {}

Form::~Form() {
    if (handle_) {
        SetWindowLongPtrW(handle_, GWLP_USERDATA, 0);
        DestroyWindow(handle_);
        Destroyed();
    }
}

void Form::Load() {
    if (handle_) return;
    RegisterFormClass(WndProc);
    // Loading from the first message on: the size messages of creation find no controls yet, and
    // a close waits for the end of the load (its prompts included).
    loading_ = true;
    ModalLoop loadingLoop;
    ScopeExit loaded([this] { loading_ = false; });
    HWND window = CreateWindowExW(0, kFormClass, caption_.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 400, 300, nullptr, nullptr, AppInstance(), this);
    if (!window) ThrowLastError(L"Can't create the window");
    ++openCount_;
    openForms_.push_back(this);
    // The designed client size, at the DPI of the monitor the window is on.
    RECT outer, inner;
    GetWindowRect(window, &outer);
    GetClientRect(window, &inner);
    const double tpp = TwipsPerPixel();
    SetWindowPos(window, nullptr, 0, 0,
                 ToPixels(clientWidthTwips_, tpp) + (outer.right - outer.left) - inner.right,
                 ToPixels(clientHeightTwips_, tpp) + (outer.bottom - outer.top) - inner.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    CreateControls();
    Form_Load();
}

Form::ModalLoop::~ModalLoop() {
    if (--modalLoops_ > 0) return;
    for (Form* form : openForms_) {
        if (std::exchange(form->closeDeferred_, false)) PostMessageW(form->handle_, WM_CLOSE, 0, 0);
    }
}

namespace {
bool IsMinimized(int showCommand) {
    return showCommand == SW_SHOWMINIMIZED || showCommand == SW_MINIMIZE || showCommand == SW_SHOWMINNOACTIVE ||
           showCommand == SW_FORCEMINIMIZE;
}
} // namespace

void Form::Show() {
    Load();
    if (!handle_) return;
    if (!IsWindowVisible(handle_) && IsMinimized(std::exchange(startShowCommand_, SW_SHOWNORMAL))) {
        // Out of the way, on the taskbar; a restore brings the placement that Show would have shown.
        WINDOWPLACEMENT wp{sizeof(wp)};
        GetWindowPlacement(handle_, &wp);
        wp.showCmd = SW_SHOWMINNOACTIVE;
        wp.flags = showCommand_ == SW_SHOWMAXIMIZED ? WPF_RESTORETOMAXIMIZED : 0;
        SetWindowPlacement(handle_, &wp);
        return;
    }
    if (!IsWindowVisible(handle_)) ShowWindow(handle_, showCommand_);
    SetForegroundWindow(handle_);
}

UINT Form::CloseNowMessage() {
    static const UINT message = RegisterWindowMessageW((App().guid + L" close now").c_str());
    return message;
}

bool Form::Unload() {
    if (!handle_ || unloading_) return false;
    bool cancel = false;
    unloading_ = true;
    {
        ScopeExit unloaded([this] { unloading_ = false; });
        Form_Unload(cancel);
    }
    if (cancel) return false;
    DestroyWindow(handle_);
    return true;
}

UINT Form::Dpi() const {
    return WindowDpi(handle_);
}

double Form::ScaleWidth() const {
    RECT rc{};
    GetClientRect(handle_, &rc);
    return rc.right * TwipsPerPixel();
}

double Form::ScaleHeight() const {
    RECT rc{};
    GetClientRect(handle_, &rc);
    return rc.bottom * TwipsPerPixel();
}

bool Form::PreviewKey(MSG& msg) {
    if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
    Form* form = FormFromWindow(msg.hwnd);
    if (!form) return false;
    int keyCode = static_cast<int>(msg.wParam);
    int shift = ShiftState();
    Guarded(0, [&] {
        form->Form_KeyDown(keyCode, shift);
        return 0;
    });
    if (keyCode == 0) return true;
    msg.wParam = static_cast<WPARAM>(keyCode);
    return false;
}

void Form::Destroyed() {
    handle_ = nullptr;
    --openCount_;
    std::erase(openForms_, this);
    if (quitWhenLastFormCloses_ && openCount_ == 0) PostQuitMessage(0);
}

LRESULT CALLBACK Form::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* form = static_cast<Form*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        form->handle_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<Form*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!form) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        form->Destroyed();
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return Guarded(LRESULT{0}, [&] { return form->HandleMessage(message, wParam, lParam); });
}

LRESULT Form::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    const bool insideLoop = modalLoops_ > 0;
    if (message == CloseNowMessage() && message != 0) {
        if (insideLoop || unloading_ || !Form_PrepareCloseNow()) return 2;
        if (wParam != 0 && static_cast<LONG>(GetTickCount() - static_cast<DWORD>(wParam)) >= 0) {
            // Read or prepared too late (a loaded machine): the sender has told its user that
            // nothing was changed.
            Form_CloseNowCancelled();
            return 2;
        }
        ReplyMessage(1); // the sender waits for the process to end, not for this handler
        Unload();
        return 1;
    }
    switch (message) {
    case WM_CLOSE:
        // Another program's close (taskkill, an installer) may arrive inside a modal loop.
        if (insideLoop) closeDeferred_ = true;
        else Unload();
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // Logging off or shutting down: the list is saved like at any close.
        if (!wParam) return 0;
        if (insideLoop) Form_EndSession();
        else Unload();
        return 0;
    case WM_SIZE:
        if (!loading_) Form_Resize();
        return 0;
    case WM_TIMER:
        for (Timer* timer : timers_) {
            if (timer->Id() == wParam) timer->Fire();
        }
        return 0;
    case WM_DPICHANGED: {
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(handle_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        Form_DpiChanged();
        Form_Resize();
        return 0;
    }
    case WM_SETFOCUS:
        if (HWND first = GetWindow(handle_, GW_CHILD)) SetFocus(first);
        return 0;
    default:
        if (message >= WM_APP && message <= 0xBFFF) {
            Form_AppMessage(message);
            return 0;
        }
        return DefWindowProcW(handle_, message, wParam, lParam);
    }
}

// --- Message loop ----------------------------------------------------------

namespace {
void Dispatch(MSG& msg) {
    if (Form::PreviewKey(msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}
} // namespace

void RunMessageLoop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        Dispatch(msg);
}

void DoEvents() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        Dispatch(msg);
    }
}
