// The file player's read thread against the render, end of file after end of file: the render
// waits only for what the player reports as buffered or read, as any caller would, and every
// frame of the material must come out, in order, on every channel.
#include "AudioFileFixtures.h"

#include "audio/ContextManual.h"
#include "audio/FilePlayerNode.h"

#include <cmath>
#include <gtest/gtest.h>
#include <thread>

namespace mirvo::audio {
namespace {

constexpr size_t kRate = 48000;
constexpr size_t kBlock = 512;
constexpr float kScale = 1.0f / 65536.0f;

TEST(FilePlayerStress, EveryFrameOfEveryChannelReachesTheEndOfTheFile)
{
    ContextManualRef context = ContextManual::create(kRate, kBlock, 2);
    constexpr size_t kFrames = 10000;
    for (int run = 0; run < 1000; ++run) {
        auto source = std::make_shared<test::RampSource>(kFrames, kRate, 0, 2, kScale);
        source->setupSampleRateConversion();
        auto player = context->makeNode(new FilePlayerNode(source, true));
        player->connect(context->getOutput());
        player->start();

        std::vector<float> left;
        std::vector<float> right;
        for (size_t block = 0; block < kFrames / kBlock + 4; ++block) {
            // The reader has what the next block needs, or has read the whole file.
            while (player->isEnabled() && player->getNumBufferedFrames() < kBlock &&
                   player->getReadPosition() < player->getNumFrames()) {
                std::this_thread::yield();
            }
            context->renderBlocks(1);
            const Buffer& rendered = context->getManualOutput()->getOutputBuffer();
            left.insert(left.end(), rendered.getChannel(0), rendered.getChannel(0) + kBlock);
            right.insert(right.end(), rendered.getChannel(1), rendered.getChannel(1) + kBlock);
        }
        player->disconnectAll();

        // Frame f holds f * scale on the left and (f + 0.5) * scale on the right; frame 0 of
        // the left channel is silence, so the left channel's frames start at 1.
        size_t firstRight = 0;
        while (firstRight < right.size() && right[firstRight] == 0.0f) {
            ++firstRight;
        }
        ASSERT_LE(firstRight + kFrames, right.size()) << "run " << run;
        for (size_t f = 0; f < kFrames; ++f) {
            ASSERT_EQ(std::lround(right[firstRight + f] / kScale - 0.5f), long(f)) << "run " << run;
            ASSERT_EQ(std::lround(left[firstRight + f] / kScale), long(f)) << "run " << run;
        }
        ASSERT_EQ(right[firstRight + kFrames], 0.0f) << "run " << run;
        ASSERT_TRUE(player->isEof()) << "run " << run;
    }
}

} // namespace
} // namespace mirvo::audio
