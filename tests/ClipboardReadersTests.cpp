#include "capture/ClipboardReaders.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

namespace {
// Reads that wait on an event each (a program that renders only when let), in the order they began.
constexpr int kReads = ClipboardReaders::kMaxReaders + 1;
HANDLE g_release[kReads];
std::atomic<int> g_begun{0}, g_marked{0};

ClipboardReaders::Read WaitingRead(ClipboardReaders::Handover& handover) {
    const int n = g_begun++;
    WaitForSingleObject(g_release[n], 20000);
    if (handover.Mark([] { return true; })) ++g_marked;
    return {ClipboardReaders::Outcome::Text, static_cast<DWORD>(n), L"read " + std::to_wstring(n)};
}
} // namespace

TEST(ClipboardReaders, FourReadersWaitAtOnceAFifthIsRefusedAndEachReadArrivesOnceAsItFinishes) {
    for (HANDLE& event : g_release)
        event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ClipboardReaders readers(nullptr, WM_APP);
    // Reads of new content up to the limit, each once the one before has waited its patience.
    for (DWORD sequence = 1; sequence <= ClipboardReaders::kMaxReaders; ++sequence) {
        EXPECT_TRUE(readers.Start(sequence, WaitingRead)) << sequence;
        EXPECT_FALSE(readers.Start(sequence, WaitingRead)) << "the same content twice";
        EXPECT_FALSE(readers.Start(sequence + 100, WaitingRead)) << "before the patience is up";
        while (g_begun < static_cast<int>(sequence))
            Sleep(10);
        Sleep(ClipboardReaders::kPatienceMs + 50);
    }
    EXPECT_FALSE(readers.Start(99, WaitingRead)) << "a fifth reader";
    EXPECT_EQ(static_cast<int>(ClipboardReaders::kMaxReaders), g_begun.load());
    // They finish last first: that is the order they arrive in.
    std::wstring arrived;
    for (int n = ClipboardReaders::kMaxReaders - 1; n >= 0; --n) {
        SetEvent(g_release[n]);
        while (g_marked < static_cast<int>(ClipboardReaders::kMaxReaders) - n)
            Sleep(10);
        Sleep(50);
        for (const ClipboardReaders::Read& read : readers.TakeFinished())
            arrived += read.text + L";";
    }
    EXPECT_EQ(L"read 3;read 2;read 1;read 0;", arrived);
    EXPECT_TRUE(readers.WaitIdle(1000));
    EXPECT_TRUE(readers.TakeFinished().empty());
    EXPECT_TRUE(readers.Start(99, WaitingRead)) << "room again";
    for (HANDLE event : g_release)
        SetEvent(event);
    Sleep(200); // the last reader lets go of its event
    for (HANDLE event : g_release)
        CloseHandle(event);
}
