#include "audio/Buffer.h"
#include "audio/BufferDynamic.h"
#include "audio/BufferSpectral.h"

#include <gtest/gtest.h>

namespace mirvo::audio {
namespace {

TEST(Buffer, LaysChannelsOutOneAfterAnotherAndStartsSilent)
{
    Buffer buffer(4, 3);
    EXPECT_EQ(buffer.getNumFrames(), 4u);
    EXPECT_EQ(buffer.getNumChannels(), 3u);
    EXPECT_EQ(buffer.getSize(), 12u);
    EXPECT_EQ(buffer.getChannel(2), buffer.getData() + 8);
    for (size_t i = 0; i < buffer.getSize(); ++i) {
        EXPECT_EQ(buffer[i], 0.0f);
    }
    buffer.getChannel(1)[3] = 5.0f;
    EXPECT_EQ(buffer[7], 5.0f);
    buffer.zero();
    EXPECT_EQ(buffer[7], 0.0f);
}

TEST(Buffer, DefaultsToOneEmptyChannel)
{
    Buffer buffer;
    EXPECT_EQ(buffer.getNumFrames(), 0u);
    EXPECT_EQ(buffer.getNumChannels(), 1u);
}

TEST(BufferDynamic, ShrinkingKeepsTheStorageAndGrowingBackAllocatesNothing)
{
    BufferDynamic buffer(512, 2);
    const float* storage = buffer.getData();
    buffer.setNumFrames(100);
    EXPECT_EQ(buffer.getNumFrames(), 100u);
    EXPECT_EQ(buffer.getAllocatedSize(), 1024u);
    buffer.setNumFrames(512);
    EXPECT_EQ(buffer.getAllocatedSize(), 1024u);
    EXPECT_EQ(buffer.getData(), storage);
    // The channel stride follows the current frame count.
    buffer.setNumFrames(100);
    EXPECT_EQ(buffer.getChannel(1), storage + 100);
}

TEST(BufferDynamic, GrowsToTheLargestShapeAskedFor)
{
    BufferDynamic buffer;
    EXPECT_EQ(buffer.getAllocatedSize(), 0u);
    buffer.setSize(256, 4);
    EXPECT_EQ(buffer.getAllocatedSize(), 1024u);
    buffer.setSize(512, 1);
    EXPECT_EQ(buffer.getAllocatedSize(), 1024u);
    buffer.setNumChannels(3);
    EXPECT_EQ(buffer.getAllocatedSize(), 1536u);
    EXPECT_EQ(buffer.getSize(), 1536u);
}

TEST(BufferSpectral, HoldsHalfTheFftSizeInTwoChannels)
{
    BufferSpectral spectral(2048);
    EXPECT_EQ(spectral.getNumChannels(), 2u);
    EXPECT_EQ(spectral.getNumFrames(), 1024u);
    EXPECT_EQ(spectral.getImag(), spectral.getReal() + 1024);
    EXPECT_EQ(BufferSpectral().getNumChannels(), 2u);
}

} // namespace
} // namespace mirvo::audio
