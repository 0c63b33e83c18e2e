#include "audio/dsp/RingBuffer.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace mirvo::audio::dsp {
namespace {

std::vector<float> ramp(size_t count, float start = 1.0f)
{
    std::vector<float> values(count);
    std::iota(values.begin(), values.end(), start);
    return values;
}

TEST(RingBuffer, AcceptsItsCapacityThenRefusesAWriteThatDoesNotFit)
{
    RingBuffer ring(8);
    EXPECT_EQ(ring.getSize(), 8u);
    EXPECT_EQ(ring.getAvailableWrite(), 8u);
    EXPECT_TRUE(ring.write(ramp(8).data(), 8));
    const float one = 1.0f;
    EXPECT_FALSE(ring.write(&one, 1));
    EXPECT_EQ(ring.getAvailableRead(), 8u);
    EXPECT_EQ(ring.getAvailableWrite(), 0u);
}

TEST(RingBuffer, WrapsAWriteAcrossTheEndAndKeepsTheOrder)
{
    RingBuffer ring(8);
    // Bring both indices to slot 6.
    std::vector<float> scratch(6);
    ASSERT_TRUE(ring.write(ramp(6).data(), 6));
    ASSERT_TRUE(ring.read(scratch.data(), 6));

    const std::vector<float> values = ramp(5, 10.0f);
    ASSERT_TRUE(ring.write(values.data(), 5));
    EXPECT_EQ(ring.getAvailableRead(), 5u);
    EXPECT_EQ(ring.getAvailableWrite(), 3u);

    std::vector<float> out(5);
    ASSERT_TRUE(ring.read(out.data(), 5));
    EXPECT_EQ(out, values);
    EXPECT_EQ(ring.getAvailableRead(), 0u);
}

TEST(RingBuffer, AWriteEndingOnTheLastSlotWrapsTheIndexToZero)
{
    RingBuffer ring(8);
    std::vector<float> scratch(9);
    // 9 slots: writing 9 in two goes (5 then 4) ends exactly at the last slot.
    ASSERT_TRUE(ring.write(ramp(5).data(), 5));
    ASSERT_TRUE(ring.read(scratch.data(), 5));
    ASSERT_TRUE(ring.write(ramp(4).data(), 4));
    // With the write index back at 0 and the read index at 5, 4 samples are queued and 4 fit.
    EXPECT_EQ(ring.getAvailableRead(), 4u);
    EXPECT_EQ(ring.getAvailableWrite(), 4u);
    ASSERT_TRUE(ring.write(ramp(4, 20.0f).data(), 4));
    ASSERT_TRUE(ring.read(scratch.data(), 8));
    EXPECT_EQ(std::vector<float>(scratch.begin(), scratch.begin() + 8),
              (std::vector<float>{1, 2, 3, 4, 20, 21, 22, 23}));
}

TEST(RingBuffer, RefusesAReadOfMoreThanIsQueuedAndLeavesEverythingAlone)
{
    RingBuffer ring(8);
    ASSERT_TRUE(ring.write(ramp(3).data(), 3));
    std::vector<float> out(4, -1.0f);
    EXPECT_FALSE(ring.read(out.data(), 4));
    EXPECT_EQ(out, std::vector<float>(4, -1.0f));
    EXPECT_EQ(ring.getAvailableRead(), 3u);
    ASSERT_TRUE(ring.read(out.data(), 3));
    EXPECT_EQ(out[2], 3.0f);
}

TEST(RingBuffer, AMovedRingTakesTheStorageAndStartsEmpty)
{
    RingBuffer source(8);
    ASSERT_TRUE(source.write(ramp(3).data(), 3));
    RingBuffer moved(std::move(source));
    EXPECT_EQ(moved.getSize(), 8u);
    EXPECT_EQ(moved.getAvailableRead(), 0u);
    EXPECT_EQ(source.getSize(), 0u);
    const float one = 1.0f;
    EXPECT_FALSE(source.write(&one, 1));

    // Rings kept in a vector survive its growth.
    std::vector<RingBuffer> rings;
    for (int i = 0; i < 5; ++i) {
        rings.emplace_back(16);
    }
    EXPECT_TRUE(rings[0].write(ramp(16).data(), 16));
}

TEST(RingBuffer, ClearEmptiesIt)
{
    RingBuffer ring(4);
    ASSERT_TRUE(ring.write(ramp(4).data(), 4));
    ring.clear();
    EXPECT_EQ(ring.getAvailableRead(), 0u);
    EXPECT_EQ(ring.getAvailableWrite(), 4u);
}

} // namespace
} // namespace mirvo::audio::dsp
