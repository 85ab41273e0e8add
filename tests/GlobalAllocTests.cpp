#include "capture/csGlobalAlloc.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(csGlobalAlloc, ClipboardFlagsAreMoveableDdeShareZeroInit) {
    EXPECT_EQ(0x2042u, csGlobalAlloc::Flags(false, true, false, false, false, true));
    EXPECT_EQ(0x0000u, csGlobalAlloc::Flags(true, false, false, false, false, false));
    EXPECT_EQ(0x0172u, csGlobalAlloc::Flags(false, false, true, true, true, true));
}

TEST(csGlobalAlloc, AllocLocksAZeroFilledBlockOfAtLeastTheSizeAsked) {
    csGlobalAlloc block;
    auto* p = static_cast<unsigned char*>(block.Alloc(42, false, true, false, false, false, true));
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(p, block.Ptr());
    EXPECT_NE(nullptr, block.hMemory());
    EXPECT_EQ(GlobalSize(block.hMemory()), block.BlockSize());
    EXPECT_GE(block.BlockSize(), 42u);
    for (int i = 0; i < 42; ++i)
        ASSERT_EQ(0, p[i]);
}

TEST(csGlobalAlloc, AllocAgainFreesTheOldBlock) {
    csGlobalAlloc block;
    ASSERT_NE(nullptr, block.Alloc(16, false, false, false, false, false, false));
    HGLOBAL first = block.hMemory();
    ASSERT_NE(nullptr, block.Alloc(32, false, false, false, false, false, false));
    // The old handle is no longer a block, unless the heap gave the same one out again.
    if (first != block.hMemory()) {
        EXPECT_EQ(0u, GlobalSize(first));
    }
}

TEST(csGlobalAlloc, FreeAndDetachOnAnEmptyObjectDoNothing) {
    csGlobalAlloc block;
    block.Free();
    EXPECT_EQ(nullptr, block.Detach());
    EXPECT_EQ(nullptr, block.hMemory());
    EXPECT_EQ(nullptr, block.Ptr());
    EXPECT_EQ(0u, block.BlockSize());
}

TEST(csGlobalAlloc, DetachHandsOverALiveUnlockedBlock) {
    HGLOBAL handed = nullptr;
    {
        csGlobalAlloc block;
        auto* p = static_cast<char*>(block.Alloc(64, false, true, false, false, false, true));
        ASSERT_NE(nullptr, p);
        strcpy(p, "kept");
        handed = block.Detach();
        ASSERT_NE(nullptr, handed);
        EXPECT_EQ(nullptr, block.hMemory());
        EXPECT_EQ(nullptr, block.Ptr());
        EXPECT_EQ(0u, block.BlockSize());
        EXPECT_EQ(0u, GlobalFlags(handed) & GMEM_LOCKCOUNT);
    }
    // The object is gone; the block is alive and ours.
    char* p = static_cast<char*>(GlobalLock(handed));
    ASSERT_NE(nullptr, p);
    EXPECT_STREQ("kept", p);
    GlobalUnlock(handed);
    EXPECT_EQ(nullptr, GlobalFree(handed));
}

TEST(csGlobalAlloc, FailedLockLeavesTheObjectEmpty) {
    // A zero-byte movable block is allocated discarded and cannot be locked.
    csGlobalAlloc block;
    EXPECT_EQ(nullptr, block.Alloc(0, false, false, false, false, false, false));
    EXPECT_EQ(nullptr, block.hMemory());
    EXPECT_EQ(nullptr, block.Ptr());
}

TEST(csGlobalAlloc, DestructionFreesTheBlock) {
    HGLOBAL handle = nullptr;
    {
        csGlobalAlloc block;
        ASSERT_NE(nullptr, block.Alloc(128, false, false, false, false, false, false));
        handle = block.hMemory();
        EXPECT_NE(0u, GlobalSize(handle));
    }
    EXPECT_EQ(0u, GlobalSize(handle));
}
