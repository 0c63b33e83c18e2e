#include "audio/dsp/FrameRingBuffer.h"

#include <gtest/gtest.h>

#include <vector>

namespace mirvo::audio {
namespace {

// Sample of frame `frame` on channel `ch`: unique per pair, exact in float.
float sampleAt(size_t frame, size_t ch)
{
    return float(frame * 8 + ch);
}

// numFrames frames from `first` on, channel after channel.
std::vector<float> block(size_t first, size_t numFrames, size_t numChannels)
{
    std::vector<float> samples(numFrames * numChannels);
    for (size_t ch = 0; ch < numChannels; ++ch) {
        for (size_t frame = 0; frame < numFrames; ++frame) {
            samples[ch * numFrames + frame] = sampleAt(first + frame, ch);
        }
    }
    return samples;
}

TEST(FrameRingBuffer, CarriesFramesWhateverTheBlockSizesOnEachSideAcrossEveryWrap)
{
    constexpr size_t kChannels = 3;
    dsp::FrameRingBuffer ring(kChannels, 100);
    ASSERT_EQ(ring.getCapacity(), 100u);
    ASSERT_EQ(ring.getNumChannels(), kChannels);

    size_t written = 0;
    size_t read = 0;
    size_t mismatches = 0;
    // Writes of 7 .. 43 frames and reads of 5 .. 61 move the wrap to every offset of the ring.
    for (int round = 0; round < 400; ++round) {
        const size_t writeFrames = 7 + size_t(round * 13) % 37;
        if (ring.getAvailableWrite() >= writeFrames) {
            const std::vector<float> source = block(written, writeFrames, kChannels);
            ASSERT_TRUE(ring.write(source.data(), writeFrames, writeFrames));
            written += writeFrames;
        }
        const size_t readFrames = 5 + size_t(round * 17) % 57;
        if (ring.getAvailableRead() >= readFrames) {
            // Read into a block with a longer stride than its frame count, like a part of a
            // larger buffer.
            const size_t stride = readFrames + 3;
            std::vector<float> dest(stride * kChannels, -1.0f);
            ASSERT_TRUE(ring.read(dest.data(), stride, readFrames));
            for (size_t ch = 0; ch < kChannels; ++ch) {
                for (size_t frame = 0; frame < readFrames; ++frame) {
                    mismatches += dest[ch * stride + frame] != sampleAt(read + frame, ch);
                }
                mismatches += dest[ch * stride + readFrames] != -1.0f;
            }
            read += readFrames;
        }
        ASSERT_EQ(ring.getAvailableRead(), written - read);
        ASSERT_EQ(ring.getAvailableWrite(), 100 - (written - read));
    }
    EXPECT_GT(read, 1000u);
    EXPECT_EQ(mismatches, 0u);
}

TEST(FrameRingBuffer, RefusesAWholeWriteOrReadThatDoesNotFitAndMovesNothing)
{
    dsp::FrameRingBuffer ring(2, 10);
    const std::vector<float> six = block(0, 6, 2);
    ASSERT_TRUE(ring.write(six.data(), 6, 6));
    EXPECT_FALSE(ring.write(six.data(), 6, 5)) << "5 frames into 4 free slots";
    EXPECT_EQ(ring.getAvailableRead(), 6u);

    const std::vector<float> next = block(6, 4, 2);
    ASSERT_TRUE(ring.write(next.data(), 4, 4)) << "the ring holds exactly its capacity";
    EXPECT_EQ(ring.getAvailableWrite(), 0u);

    std::vector<float> dest(2 * 11, -1.0f);
    EXPECT_FALSE(ring.read(dest.data(), 11, 11));
    EXPECT_EQ(dest[0], -1.0f) << "a refused read copies nothing";
    ASSERT_TRUE(ring.read(dest.data(), 10, 10));
    EXPECT_EQ(dest[9], sampleAt(9, 0));
    EXPECT_EQ(dest[10 + 9], sampleAt(9, 1));

    ASSERT_TRUE(ring.write(six.data(), 6, 6));
    ring.clear();
    EXPECT_EQ(ring.getAvailableRead(), 0u);
    ring.resize(4, 32);
    EXPECT_EQ(ring.getNumChannels(), 4u);
    EXPECT_EQ(ring.getAvailableWrite(), 32u);

    dsp::FrameRingBuffer empty;
    EXPECT_EQ(empty.getAvailableWrite(), 0u);
    EXPECT_FALSE(empty.write(six.data(), 6, 1));
    EXPECT_EQ(empty.getAvailableRead(), 0u);
}

TEST(FrameRingBuffer, DiscardDropsTheOldestFramesAcrossTheWrapAndNoMoreThanAreQueued)
{
    dsp::FrameRingBuffer ring(2, 10);
    const std::vector<float> first = block(0, 8, 2);
    ASSERT_TRUE(ring.write(first.data(), 8, 8));
    std::vector<float> dest(2 * 8, -1.0f);
    ASSERT_TRUE(ring.read(dest.data(), 6, 6));
    // Frames 6 .. 13 queued, the last of them past the end of the storage.
    const std::vector<float> second = block(8, 6, 2);
    ASSERT_TRUE(ring.write(second.data(), 6, 6));

    EXPECT_EQ(ring.discard(5), 5u);
    EXPECT_EQ(ring.getAvailableRead(), 3u);
    EXPECT_EQ(ring.getAvailableWrite(), 7u);
    ASSERT_TRUE(ring.read(dest.data(), 3, 3));
    EXPECT_EQ(dest[0], sampleAt(11, 0)) << "the next read starts after the dropped frames";
    EXPECT_EQ(dest[3 + 2], sampleAt(13, 1));

    const std::vector<float> third = block(14, 4, 2);
    ASSERT_TRUE(ring.write(third.data(), 4, 4));
    EXPECT_EQ(ring.discard(9), 4u) << "only what is queued can be dropped";
    EXPECT_EQ(ring.getAvailableRead(), 0u);
    EXPECT_EQ(ring.discard(1), 0u);
    ASSERT_TRUE(ring.write(first.data(), 8, 8));
    ASSERT_TRUE(ring.read(dest.data(), 8, 8));
    EXPECT_EQ(dest[7], sampleAt(7, 0));

    dsp::FrameRingBuffer empty;
    EXPECT_EQ(empty.discard(3), 0u);
}

} // namespace
} // namespace mirvo::audio
