#include "ClipboardReaders.h"

#include "../support/Handles.h"

#include <algorithm>
#include <new>
#include <optional>

struct ClipboardReaders::Shared {
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE work = CONDITION_VARIABLE_INIT;    // a read was asked for, or the set closed
    CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT; // a read finished
    HWND window = nullptr;
    UINT message = 0;
    ReadFunction read = nullptr;
    LookFunction look = nullptr;
    bool closed = false;
    DWORD listener = 0; // the listener's thread
    size_t readers = 0; // reader threads made
    // A read asked for that no reader has taken yet: one stands for every ask since, since it
    // reads the content that is there when it is taken.
    bool asked = false;
    struct Job {
        DWORD reader;
        DWORD sequence;
        ULONGLONG started;
    };
    std::vector<Job> running; // one a reader at work; reserved, so a reader never allocates here
    std::optional<DWORD> leftAlone;
    std::vector<std::wstring> finished;

    // What the listener's thread is started with; its starter waits until `ready` is set.
    struct ListenerStart {
        std::shared_ptr<Shared> shared;
        HANDLE ready;
        bool listening;
    };

    static bool Start(const std::shared_ptr<Shared>& shared, DWORD sequence);
    static DWORD WINAPI Read(void* param);
    static DWORD WINAPI Listen(void* param);
    static LRESULT CALLBACK Notice(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

namespace {
class ExclusiveLock {
  public:
    explicit ExclusiveLock(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&lock_); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

  private:
    SRWLOCK& lock_;
};

const wchar_t kListenerClass[] = L"QuenlitClipboardListener";
} // namespace

bool ClipboardReaders::Handover::MarkAndDeliver(std::wstring text, const std::function<bool()>& mark) {
    ExclusiveLock guard(shared_.lock);
    if (shared_.closed) return false;
    shared_.finished.reserve(shared_.finished.size() + 1); // nothing can fail once marked
    if (!mark()) return false;
    shared_.finished.push_back(std::move(text));
    PostMessageW(shared_.window, shared_.message, 0, 0);
    return true;
}

void ClipboardReaders::Handover::LeaveAlone(DWORD sequence) {
    ExclusiveLock guard(shared_.lock);
    shared_.leftAlone = sequence;
}

ClipboardReaders::ClipboardReaders(HWND window, UINT message, ReadFunction read, LookFunction look)
    : shared_(std::make_shared<Shared>()) {
    shared_->window = window;
    shared_->message = message;
    shared_->read = read;
    shared_->look = look;
    shared_->running.reserve(kMaxReaders);
}

ClipboardReaders::~ClipboardReaders() {
    Close();
}

bool ClipboardReaders::Start(DWORD sequence) {
    return Shared::Start(shared_, sequence);
}

bool ClipboardReaders::Shared::Start(const std::shared_ptr<Shared>& shared, DWORD sequence) {
    {
        ExclusiveLock guard(shared->lock);
        if (shared->closed || shared->leftAlone == sequence) return false;
        const ULONGLONG now = GetTickCount64();
        bool everyReaderWaitedLong = true;
        for (const Job& job : shared->running) {
            if (job.sequence == sequence) return false;
            everyReaderWaitedLong = everyReaderWaitedLong && now - job.started >= kPatienceMs;
        }
        shared->asked = true;
        if (shared->readers > shared->running.size()) {
            WakeConditionVariable(&shared->work); // a free reader takes it
            return true;
        }
        // Every reader is at work: a thread is made only while each has waited on its read for a
        // while; until then the read waits for the next free one.
        if (shared->readers == kMaxReaders || !everyReaderWaitedLong) return true;
        ++shared->readers;
    }
    auto* owner = new (std::nothrow) std::shared_ptr<Shared>(shared);
    KernelHandle thread(owner ? CreateThread(nullptr, 0, Read, owner, 0, nullptr) : nullptr);
    if (thread) return true;
    delete owner;
    ExclusiveLock guard(shared->lock);
    --shared->readers; // the read stays asked for: a later look makes the thread again
    return false;
}

DWORD WINAPI ClipboardReaders::Shared::Read(void* param) {
    // The set's state lives as long as its last thread: the window may be gone meanwhile.
    const std::shared_ptr<Shared> shared = *static_cast<std::shared_ptr<Shared>*>(param);
    delete static_cast<std::shared_ptr<Shared>*>(param);
    const DWORD self = GetCurrentThreadId();
    for (;;) {
        {
            ExclusiveLock guard(shared->lock);
            while (!shared->asked && !shared->closed)
                SleepConditionVariableSRW(&shared->work, &shared->lock, INFINITE, 0);
            if (shared->closed) return 0;
            shared->asked = false;
            const DWORD sequence = GetClipboardSequenceNumber();
            if (shared->leftAlone == sequence) {
                WakeAllConditionVariable(&shared->changed); // nothing is asked for any more
                continue;
            }
            shared->running.push_back({self, sequence, GetTickCount64()});
        }
        Handover handover(*shared);
        shared->read(handover);
        ExclusiveLock guard(shared->lock);
        std::erase_if(shared->running, [&](const Job& job) { return job.reader == self; });
        WakeAllConditionVariable(&shared->changed);
    }
}

bool ClipboardReaders::Listen() {
    KernelHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ready) return false;
    Shared::ListenerStart start{shared_, ready.Get(), false};
    DWORD id = 0;
    KernelHandle thread(CreateThread(nullptr, 0, Shared::Listen, &start, 0, &id));
    if (!thread) return false;
    // Listening before this returns: a copy made right after the window's load is heard.
    WaitForSingleObject(ready.Get(), INFINITE);
    if (!start.listening) return false;
    ExclusiveLock guard(shared_->lock);
    if (shared_->closed)
        PostThreadMessageW(id, WM_QUIT, 0, 0);
    else
        shared_->listener = id;
    return true;
}

DWORD WINAPI ClipboardReaders::Shared::Listen(void* param) {
    auto& start = *static_cast<ListenerStart*>(param);
    const std::shared_ptr<Shared> shared = start.shared;
    static const ATOM registered = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = Notice;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kListenerClass;
        return RegisterClassW(&windowClass);
    }();
    HWND window = registered ? CreateWindowExW(0, kListenerClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                               GetModuleHandleW(nullptr), nullptr)
                             : nullptr;
    if (window) SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&shared));
    const bool listening = window && AddClipboardFormatListener(window);
    start.listening = listening;
    SetEvent(start.ready); // the starter's: not touched from here on
    if (listening) {
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0)
            DispatchMessageW(&message);
        RemoveClipboardFormatListener(window);
    }
    if (window) DestroyWindow(window);
    return 0;
}

LRESULT CALLBACK ClipboardReaders::Shared::Notice(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_CLIPBOARDUPDATE) return DefWindowProcW(window, message, wParam, lParam);
    const auto* shared =
        reinterpret_cast<const std::shared_ptr<Shared>*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (shared && (*shared)->look()) Start(*shared, GetClipboardSequenceNumber());
    return 0;
}

std::vector<std::wstring> ClipboardReaders::TakeFinished() {
    std::vector<std::wstring> texts;
    ExclusiveLock guard(shared_->lock);
    texts.swap(shared_->finished);
    return texts;
}

bool ClipboardReaders::WaitIdle(DWORD milliseconds) {
    const ULONGLONG end = GetTickCount64() + milliseconds;
    ExclusiveLock guard(shared_->lock);
    while (shared_->asked || !shared_->running.empty()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return false;
        SleepConditionVariableSRW(&shared_->changed, &shared_->lock, static_cast<DWORD>(end - now), 0);
    }
    return true;
}

std::vector<std::wstring> ClipboardReaders::Close() {
    std::vector<std::wstring> texts;
    ExclusiveLock guard(shared_->lock);
    shared_->closed = true;
    shared_->asked = false;
    texts.swap(shared_->finished);
    WakeAllConditionVariable(&shared_->work);
    if (shared_->listener) PostThreadMessageW(shared_->listener, WM_QUIT, 0, 0);
    shared_->listener = 0;
    return texts;
}
