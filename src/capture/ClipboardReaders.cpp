#include "ClipboardReaders.h"

#include "../support/Handles.h"

#include <algorithm>
#include <new>

struct ClipboardReaders::Shared {
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
    HWND window;
    UINT message;
    struct Running {
        std::uint64_t serial;
        DWORD sequence;
        ULONGLONG started;
    };
    std::vector<Running> running;
    std::vector<Read> finished;
};

struct ClipboardReaders::Job {
    std::shared_ptr<Shared> shared;
    std::uint64_t serial;
    ReadFunction read;
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
}

bool ClipboardReaders::Start(DWORD sequence, ReadFunction read) {
    const ULONGLONG now = GetTickCount64();
    {
        ExclusiveLock guard(shared_->lock);
        auto& running = shared_->running;
        if (running.size() >= kMaxReaders) return false;
        for (const Shared::Running& reader : running) {
            if (reader.sequence == sequence || now - reader.started < kPatienceMs) return false;
        }
        running.push_back({lastSerial_ + 1, sequence, now});
    }
    auto* job = new (std::nothrow) Job{shared_, ++lastSerial_, read};
    KernelHandle thread(job ? CreateThread(nullptr, 0, Run, job, 0, nullptr) : nullptr);
    if (thread) return true;
    delete job;
    ExclusiveLock guard(shared_->lock);
    std::erase_if(shared_->running, [&](const Shared::Running& reader) { return reader.serial == lastSerial_; });
    return false;
}

DWORD WINAPI ClipboardReaders::Run(void* param) {
    std::unique_ptr<Job> job(static_cast<Job*>(param));
    std::wstring text = job->read();
    Shared& shared = *job->shared;
    ExclusiveLock guard(shared.lock);
    std::erase_if(shared.running, [&](const Shared::Running& reader) { return reader.serial == job->serial; });
    if (shared.window) {
        shared.finished.push_back({job->serial, std::move(text)});
        PostMessageW(shared.window, shared.message, 0, 0);
    }
    WakeAllConditionVariable(&shared.changed);
    return 0;
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
