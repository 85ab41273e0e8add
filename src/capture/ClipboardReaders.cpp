#include "ClipboardReaders.h"

#include "../support/Handles.h"

#include <algorithm>
#include <new>

struct ClipboardReaders::Shared {
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE work = CONDITION_VARIABLE_INIT;    // a read waits, or the set closed
    CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT; // a read finished
    HWND window;
    UINT message;
    bool closed = false;
    size_t idleReaders = 0;
    // Reads started and not finished yet: queued, or under way on a reader.
    struct Job {
        std::uint64_t serial;
        DWORD sequence;
        ULONGLONG started;
        ReadFunction read;
    };
    std::vector<Job> jobs;
    std::vector<Job> queued;
    std::vector<Read> finished;
};

namespace {
class ExclusiveLock {
  public:
    // held: the caller has acquired it already, and this object releases it.
    explicit ExclusiveLock(SRWLOCK& lock, bool held = false) : lock_(lock) {
        if (!held) AcquireSRWLockExclusive(&lock_);
    }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&lock_); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

  private:
    SRWLOCK& lock_;
};
} // namespace

bool ClipboardReaders::Handover::Mark(const std::function<bool()>& mark) {
    AcquireSRWLockExclusive(&shared_.lock);
    if (!shared_.closed && mark()) {
        locked_ = true; // released once the read is delivered
        return true;
    }
    ReleaseSRWLockExclusive(&shared_.lock);
    return false;
}

ClipboardReaders::ClipboardReaders(HWND window, UINT message) : shared_(std::make_shared<Shared>()) {
    shared_->window = window;
    shared_->message = message;
}

ClipboardReaders::~ClipboardReaders() {
    Close();
}

bool ClipboardReaders::Start(DWORD sequence, ReadFunction read) {
    const ULONGLONG now = GetTickCount64();
    const std::uint64_t serial = lastSerial_ + 1;
    {
        ExclusiveLock guard(shared_->lock);
        auto& jobs = shared_->jobs;
        if (shared_->closed || jobs.size() >= kMaxReaders) return false;
        for (const Shared::Job& job : jobs) {
            if (job.sequence == sequence || now - job.started < kPatienceMs) return false;
        }
        jobs.push_back({serial, sequence, now, read});
        shared_->queued.push_back(jobs.back());
        lastSerial_ = serial;
        // A reader that is done with its last read takes it; a thread is made only while all read.
        if (shared_->idleReaders > 0) {
            WakeConditionVariable(&shared_->work);
            return true;
        }
    }
    auto* owner = new (std::nothrow) std::shared_ptr<Shared>(shared_);
    KernelHandle thread(owner ? CreateThread(nullptr, 0, Run, owner, 0, nullptr) : nullptr);
    if (thread) return true;
    delete owner;
    ExclusiveLock guard(shared_->lock);
    const auto isThisJob = [&](const Shared::Job& job) { return job.serial == serial; };
    std::erase_if(shared_->jobs, isThisJob);
    std::erase_if(shared_->queued, isThisJob);
    return false;
}

DWORD WINAPI ClipboardReaders::Run(void* param) {
    // The set's state lives as long as its last reader: the window may be gone meanwhile.
    const std::shared_ptr<Shared> shared = *static_cast<std::shared_ptr<Shared>*>(param);
    delete static_cast<std::shared_ptr<Shared>*>(param);
    // One thread reads capture after capture: only a read that waits on a slow program makes another.
    for (;;) {
        Shared::Job job{};
        {
            ExclusiveLock guard(shared->lock);
            ++shared->idleReaders;
            while (shared->queued.empty() && !shared->closed)
                SleepConditionVariableSRW(&shared->work, &shared->lock, INFINITE, 0);
            --shared->idleReaders;
            if (shared->closed) return 0;
            job = shared->queued.front();
            shared->queued.erase(shared->queued.begin());
        }
        Handover handover(*shared);
        Read read = job.read(handover);
        ExclusiveLock guard(shared->lock, handover.locked_);
        std::erase_if(shared->jobs, [&](const Shared::Job& done) { return done.serial == job.serial; });
        if (!shared->closed) {
            shared->finished.push_back(std::move(read));
            PostMessageW(shared->window, shared->message, 0, 0);
        }
        WakeAllConditionVariable(&shared->changed);
    }
}

std::vector<ClipboardReaders::Read> ClipboardReaders::TakeFinished() {
    std::vector<Read> reads;
    ExclusiveLock guard(shared_->lock);
    reads.swap(shared_->finished);
    return reads;
}

bool ClipboardReaders::WaitIdle(DWORD milliseconds) {
    const ULONGLONG end = GetTickCount64() + milliseconds;
    ExclusiveLock guard(shared_->lock);
    while (!shared_->jobs.empty()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return false;
        SleepConditionVariableSRW(&shared_->changed, &shared_->lock, static_cast<DWORD>(end - now), 0);
    }
    return true;
}

std::vector<ClipboardReaders::Read> ClipboardReaders::Close() {
    std::vector<Read> reads;
    ExclusiveLock guard(shared_->lock);
    shared_->closed = true;
    shared_->queued.clear();
    reads.swap(shared_->finished);
    WakeAllConditionVariable(&shared_->work);
    return reads;
}
