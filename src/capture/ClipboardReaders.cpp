#include "ClipboardReaders.h"

#include "../support/Handles.h"

#include <algorithm>
#include <new>

struct ClipboardReaders::Shared {
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE work = CONDITION_VARIABLE_INIT;    // a read waits, or the readers should end
    CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT; // a read finished
    HWND window;
    UINT message;
    bool ending = false;
    size_t idle = 0;
    struct Running {
        std::uint64_t serial;
        DWORD sequence;
        ULONGLONG started;
    };
    std::vector<Running> running;
    struct Pending {
        std::uint64_t serial;
        ReadFunction read;
    };
    std::vector<Pending> pending;
    std::vector<Read> finished;
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
} // namespace

ClipboardReaders::ClipboardReaders(HWND window, UINT message) : shared_(std::make_shared<Shared>()) {
    shared_->window = window;
    shared_->message = message;
}

ClipboardReaders::~ClipboardReaders() {
    ExclusiveLock guard(shared_->lock);
    shared_->window = nullptr;
    shared_->ending = true;
    WakeAllConditionVariable(&shared_->work);
}

bool ClipboardReaders::Start(DWORD sequence, ReadFunction read) {
    const ULONGLONG now = GetTickCount64();
    const std::uint64_t serial = lastSerial_ + 1;
    {
        ExclusiveLock guard(shared_->lock);
        auto& running = shared_->running;
        if (running.size() >= kMaxReaders) return false;
        for (const Shared::Running& reader : running) {
            if (reader.sequence == sequence || now - reader.started < kPatienceMs) return false;
        }
        running.push_back({serial, sequence, now});
        shared_->pending.push_back({serial, read});
        lastSerial_ = serial;
        // A reader that is done with its last read takes it; a thread is made only while all read.
        if (shared_->idle > 0) {
            WakeConditionVariable(&shared_->work);
            return true;
        }
    }
    auto* owner = new (std::nothrow) std::shared_ptr<Shared>(shared_);
    KernelHandle thread(owner ? CreateThread(nullptr, 0, Run, owner, 0, nullptr) : nullptr);
    if (thread) return true;
    delete owner;
    ExclusiveLock guard(shared_->lock);
    std::erase_if(shared_->running, [&](const Shared::Running& reader) { return reader.serial == serial; });
    std::erase_if(shared_->pending, [&](const Shared::Pending& job) { return job.serial == serial; });
    return false;
}

DWORD WINAPI ClipboardReaders::Run(void* param) {
    const std::shared_ptr<Shared> shared = *static_cast<std::shared_ptr<Shared>*>(param);
    delete static_cast<std::shared_ptr<Shared>*>(param);
    // One thread reads capture after capture: only a read that waits on a slow program makes another.
    for (;;) {
        Shared::Pending job;
        {
            ExclusiveLock guard(shared->lock);
            ++shared->idle;
            while (shared->pending.empty() && !shared->ending)
                SleepConditionVariableSRW(&shared->work, &shared->lock, INFINITE, 0);
            --shared->idle;
            if (shared->pending.empty()) return 0;
            job = shared->pending.front();
            shared->pending.erase(shared->pending.begin());
        }
        std::wstring text = job.read();
        ExclusiveLock guard(shared->lock);
        std::erase_if(shared->running, [&](const Shared::Running& reader) { return reader.serial == job.serial; });
        if (shared->window) {
            shared->finished.push_back({job.serial, std::move(text)});
            PostMessageW(shared->window, shared->message, 0, 0);
        }
        WakeAllConditionVariable(&shared->changed);
    }
}

std::vector<ClipboardReaders::Read> ClipboardReaders::TakeFinished() {
    std::vector<Read> reads;
    {
        ExclusiveLock guard(shared_->lock);
        reads.swap(shared_->finished);
    }
    std::sort(reads.begin(), reads.end(), [](const Read& a, const Read& b) { return a.serial < b.serial; });
    return reads;
}

bool ClipboardReaders::WaitIdle(DWORD milliseconds) {
    const ULONGLONG end = GetTickCount64() + milliseconds;
    ExclusiveLock guard(shared_->lock);
    while (!shared_->running.empty()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return false;
        SleepConditionVariableSRW(&shared_->changed, &shared_->lock, static_cast<DWORD>(end - now), 0);
    }
    return true;
}
