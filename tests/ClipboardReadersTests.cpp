#include "TestSupport.h"
#include "capture/ClipboardReaders.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

namespace {
// Reads that wait on an event each (a program that renders only when let), in the order they began.
constexpr int kReads = ClipboardReaders::kMaxReaders + 1;
HANDLE g_release[kReads];
std::atomic<int> g_begun{0}, g_delivered{0};

void WaitingRead(ClipboardReaders::Handover& handover) {
    const int n = g_begun++;
    WaitForSingleObject(g_release[n], 20000);
    if (handover.MarkAndDeliver(L"read " + std::to_wstring(n), [] { return true; })) ++g_delivered;
}

bool NothingToLookAt() {
    return false;
}

bool BegunWithin(int count, DWORD milliseconds) {
    for (DWORD waited = 0; g_begun < count && waited < milliseconds; waited += 10)
        Sleep(10);
    return g_begun >= count;
}
} // namespace

TEST(ClipboardReaders,
     AReadWaitsForAFreeReaderUntilEveryReaderWaitedLongFourAtMostAndNoneDeliversAfterClose) {
    for (HANDLE& event : g_release)
        event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ClipboardReaders readers(nullptr, WM_APP, WaitingRead, NothingToLookAt);
    for (int n = 0; n < kReads; ++n) {
        SCOPED_TRACE(testing::Message() << "read " << n);
        PutClipboardText(L"content " + std::to_wstring(n));
        const DWORD sequence = GetClipboardSequenceNumber();
        EXPECT_TRUE(readers.Start(sequence));
        if (n > 0) {
            EXPECT_FALSE(BegunWithin(n + 1, 300)) << "taken before the busy readers waited long";
            Sleep(ClipboardReaders::kPatienceMs);
            EXPECT_TRUE(readers.Start(sequence)); // the next tick's look
        }
        EXPECT_EQ(n < static_cast<int>(ClipboardReaders::kMaxReaders), BegunWithin(n + 1, 1000));
        if (n < static_cast<int>(ClipboardReaders::kMaxReaders)) {
            EXPECT_FALSE(readers.Start(sequence)) << "the content a reader reads";
        }
    }
    // They finish last first: that is the order they arrive in. The first to finish takes the
    // read that waited.
    std::wstring arrived;
    for (int n = ClipboardReaders::kMaxReaders - 1; n >= 0; --n) {
        SetEvent(g_release[n]);
        while (g_delivered < static_cast<int>(ClipboardReaders::kMaxReaders) - n)
            Sleep(10);
        for (const std::wstring& text : readers.TakeFinished())
            arrived += text + L";";
    }
    EXPECT_EQ(L"read 3;read 2;read 1;read 0;", arrived);
    EXPECT_TRUE(BegunWithin(kReads, 1000));
    EXPECT_FALSE(readers.WaitIdle(100));
    EXPECT_TRUE(readers.Close().empty());
    SetEvent(g_release[kReads - 1]);
    Sleep(200);
    EXPECT_EQ(static_cast<int>(ClipboardReaders::kMaxReaders), g_delivered.load())
        << "delivered after the close";
    EXPECT_FALSE(readers.Start(GetClipboardSequenceNumber() + 1));
    for (HANDLE event : g_release)
        CloseHandle(event);
}
