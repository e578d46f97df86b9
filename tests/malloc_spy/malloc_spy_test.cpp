// The spy is the base of every allocation-failure and leak test, so its own contract is checked
// against the real task allocator.
#include "support/malloc_spy.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <cstring>
#include <thread>
#include <vector>

namespace {

TEST(MallocSpy, FailsExactlyTheArmedAllocationsOnTheArmingThread) {
    MallocSpy& spy = MallocSpy::Get();
    spy.FailAllocations(2);
    void* first = CoTaskMemAlloc(8);
    void* second = CoTaskMemAlloc(8);
    void* third = CoTaskMemAlloc(8);
    EXPECT_NE(nullptr, first);
    EXPECT_EQ(nullptr, second);
    EXPECT_NE(nullptr, third);
    EXPECT_EQ(1u, spy.FailuresDelivered());

    spy.FailAllocations(1, 2);
    void* otherThreadBlock = nullptr;
    std::thread([&] { otherThreadBlock = CoTaskMemAlloc(8); }).join();
    EXPECT_NE(nullptr, otherThreadBlock);
    EXPECT_EQ(nullptr, CoTaskMemAlloc(8));
    EXPECT_EQ(nullptr, CoTaskMemAlloc(8));
    void* afterRun = CoTaskMemAlloc(8);
    EXPECT_NE(nullptr, afterRun);
    EXPECT_EQ(2u, spy.FailuresDelivered());

    spy.FailAllocations(1);
    spy.Disarm();
    void* disarmed = CoTaskMemAlloc(8);
    EXPECT_NE(nullptr, disarmed);
    for (void* block : {first, third, otherThreadBlock, afterRun, disarmed}) {
        CoTaskMemFree(block);
    }
}

TEST(MallocSpy, CountsOnlyBlocksAllocatedOnTheMarkingThreadSinceTheMark) {
    MallocSpy& spy = MallocSpy::Get();
    void* beforeMark = CoTaskMemAlloc(16);
    spy.Mark();
    void* kept = CoTaskMemAlloc(16);
    void* freed = CoTaskMemAlloc(16);
    std::thread([] {
        CoTaskMemFree(CoTaskMemAlloc(4));
        CoTaskMemAlloc(4);
    }).join();
    CoTaskMemFree(freed);
    CoTaskMemFree(beforeMark);  // an older block does not offset a new one
    EXPECT_EQ(1u, spy.OutstandingSinceMark());
    EXPECT_EQ(2u, spy.AllocationsSinceMark());

    // A reallocation moves the block; freeing it at the new address clears it.
    void* moved = CoTaskMemRealloc(kept, 4096);
    ASSERT_NE(nullptr, moved);
    EXPECT_EQ(1u, spy.OutstandingSinceMark());
    CoTaskMemFree(moved);
    EXPECT_EQ(0u, spy.OutstandingSinceMark());
}

TEST(MallocSpy, ShowsEachBlockWithItsSizeJustBeforeItIsFreed) {
    std::vector<std::vector<BYTE>> seen;
    ScopedPreFreeHook hook([&](const void* block, SIZE_T size) {
        const BYTE* bytes = static_cast<const BYTE*>(block);
        seen.emplace_back(bytes, bytes + size);
    });
    auto* block = static_cast<char*>(CoTaskMemAlloc(5));
    ASSERT_NE(nullptr, block);
    memcpy(block, "abcde", 5);
    CoTaskMemFree(block);
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(std::vector<BYTE>({'a', 'b', 'c', 'd', 'e'}), seen[0]);
}

TEST(MallocSpy, SweepsEachAllocationFailingInTurnThenOneCleanRun) {
    std::vector<unsigned> failures;
    unsigned failingRuns = ForEachAllocationFailure([&](unsigned) {
        void* a = CoTaskMemAlloc(8);
        void* b = CoTaskMemAlloc(8);
        failures.push_back(MallocSpy::Get().FailuresDelivered());
        EXPECT_TRUE(a == nullptr || b == nullptr || MallocSpy::Get().FailuresDelivered() == 0);
        CoTaskMemFree(a);
        CoTaskMemFree(b);
    });
    EXPECT_EQ(2u, failingRuns);
    EXPECT_EQ(std::vector<unsigned>({1, 1, 0}), failures);
    void* afterSweep = CoTaskMemAlloc(1);  // disarmed afterwards
    EXPECT_NE(nullptr, afterSweep);
    CoTaskMemFree(afterSweep);
}

}  // namespace
