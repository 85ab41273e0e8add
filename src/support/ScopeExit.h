#pragma once
// Runs a clean-up when the scope ends, however it ends.
#include <utility>

template <class F> class ScopeExit {
  public:
    explicit ScopeExit(F cleanup) : cleanup_(std::move(cleanup)) {}
    ~ScopeExit() {
        if (active_) cleanup_();
    }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    // The work succeeded: nothing to clean up.
    void Dismiss() { active_ = false; }

  private:
    F cleanup_;
    bool active_ = true;
};
