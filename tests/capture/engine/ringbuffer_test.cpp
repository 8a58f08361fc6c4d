// The byte ring between the delivery thread and the encoder.

#include <gtest/gtest.h>

#include <numeric>
#include <thread>
#include <vector>

#include "ringbuffer.h"
#include "semaphore.h"

using capdev::CRingBuffer;

TEST(RingBufferTest, WrapsAroundAndKeepsOrder) {
    CRingBuffer ring(10);
    std::vector<uint8_t> in(7);
    std::iota(in.begin(), in.end(), 1);
    uint8_t out[16];
    uint32_t got = 0;
    ASSERT_EQ(0, ring.Push(in.data(), 7));
    ASSERT_EQ(0, ring.Pop(out, 5, &got));
    EXPECT_EQ(5u, got);
    ASSERT_EQ(0, ring.Push(in.data(), 7));  // crosses the end of the storage
    EXPECT_EQ(9u, ring.Count());
    ASSERT_EQ(0, ring.Pop(out, 16, &got));
    ASSERT_EQ(9u, got);
    const std::vector<uint8_t> expected{6, 7, 1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(expected, std::vector<uint8_t>(out, out + got));
    EXPECT_EQ(-1, ring.Pop(out, 16, &got));
    EXPECT_EQ(0u, got);
    EXPECT_EQ(0u, ring.DroppedBytes());
}

TEST(RingBufferTest, OverflowDropsTheExcessAndCountsIt) {
    CRingBuffer ring(8);
    std::vector<uint8_t> in(6, 0xAB);
    uint32_t dropped = 99;
    EXPECT_EQ(0, ring.Push(in.data(), 6, &dropped));
    EXPECT_EQ(0u, dropped);
    EXPECT_EQ(0, ring.Push(in.data(), 6, &dropped));  // 2 fit, 4 dropped
    EXPECT_EQ(4u, dropped);
    EXPECT_EQ(-1, ring.Push(in.data(), 6, &dropped));  // full: all dropped
    EXPECT_EQ(6u, dropped);
    EXPECT_EQ(10u, ring.DroppedBytes());
    EXPECT_EQ(8u, ring.Count());
}

TEST(RingBufferTest, ConcurrentProducerAndConsumerLoseNothing) {
    CRingBuffer ring(1000);
    capdev::CSemaphore ready(0, 100);
    constexpr uint32_t kTotal = 200000;
    std::thread producer([&] {
        uint8_t block[97];
        uint32_t next = 0;
        while (next < kTotal) {
            const uint32_t n = std::min<uint32_t>(sizeof block, kTotal - next);
            if (ring.Count() + n > ring.Capacity()) {
                std::this_thread::yield();
                continue;
            }
            for (uint32_t i = 0; i < n; ++i)
                block[i] = static_cast<uint8_t>((next + i) % 251);
            ring.Push(block, n);
            next += n;
            ready.Release(1);
        }
    });
    uint32_t seen = 0;
    bool inOrder = true;
    uint8_t out[64];
    while (seen < kTotal) {
        ready.Wait();
        uint32_t got = 0;
        while (ring.Pop(out, sizeof out, &got) == 0) {
            for (uint32_t i = 0; i < got; ++i)
                inOrder = inOrder && out[i] == static_cast<uint8_t>((seen + i) % 251);
            seen += got;
        }
    }
    producer.join();
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(kTotal, seen);
    EXPECT_EQ(0u, ring.DroppedBytes());
}

TEST(SemaphoreTest, ReleaseAboveTheMaximumFailsAsAWhole) {
    capdev::CSemaphore sem(0, 100);
    EXPECT_TRUE(sem.Release(95));
    EXPECT_FALSE(sem.Release(10));
    EXPECT_TRUE(sem.Release(5));
    EXPECT_FALSE(sem.Release(1));
    int taken = 0;
    while (sem.TryWait())
        ++taken;
    EXPECT_EQ(100, taken);
}
