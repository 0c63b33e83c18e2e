// What the media controls read of the player every frame must not grow with the queue: a
// 30 000-file folder once made every frame copy every path in it.
#include "src/desktop/PlayerControls.h"

#include "audio/ContextManual.h"
#include "audio/FilePlayerNode.h"
#include "audio/SourceFile.h"
#include "src/Notices.h"
#include "src/player/Player.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>

#include <unistd.h>

namespace {

std::atomic<std::size_t> gAllocations{0};

} // namespace

// Every allocation of this test program is counted; the address sanitizer keeps allocation to
// itself, and the count is left to the plain build.
#ifndef __SANITIZE_ADDRESS__
void* operator new(std::size_t size)
{
    ++gAllocations;
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept
{
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}
#endif

namespace mirvo {
namespace {

namespace fs = std::filesystem;

// A mono 16-bit WAV file of a tenth of a second of silence at 48 kHz.
void writeWav(const fs::path& path)
{
    const auto put = [](std::ofstream& out, uint32_t value, int size) {
        for (int i = 0; i < size; ++i) {
            out.put(static_cast<char>((value >> (8 * i)) & 0xff));
        }
    };
    std::ofstream out(path, std::ios::binary);
    const uint32_t frames = 4800;
    out << "RIFF";
    put(out, 36 + 2 * frames, 4);
    out << "WAVEfmt ";
    put(out, 16, 4);
    put(out, 1, 2);
    put(out, 1, 2);
    put(out, 48000, 4);
    put(out, 96000, 4);
    put(out, 2, 2);
    put(out, 16, 2);
    out << "data";
    put(out, 2 * frames, 4);
    for (uint32_t frame = 0; frame < frames; ++frame) {
        put(out, 0, 2);
    }
}

TEST(PlayerControls, AFrameReadsThePlayerAtACostThatDoesNotGrowWithTheQueue)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "allocations are the address sanitizer's to count";
#endif
    const fs::path folder = fs::temp_directory_path() / ("mirvo-long-queue-" + std::to_string(getpid()));
    fs::create_directories(folder);
    writeWav(folder / "0.wav");
    constexpr int kTracks = 30000;
    for (int i = 1; i < kTracks; ++i) {
        fs::create_hard_link(folder / "0.wav", folder / (std::to_string(i) + ".wav"));
    }
    Notices notices;
    Player player(notices, true, false);
    const audio::ContextManualRef context = audio::ContextManual::create(48000, 512, 1);
    const std::vector<std::string> given = {folder.string()};
    const audio::SourceFileRef first = player.openFirst(given, 48000);
    auto node = context->makeNode(new audio::FilePlayerNode(first, false));
    node->connect(context->getOutput());
    context->enable();
    node->enable();
    player.setNode(node);
    player.started();
    player.finishLoading();
    ASSERT_EQ(player.getQueue().getTracks().size(), static_cast<std::size_t>(kTracks));
    ASSERT_NE(player.getTrack(), nullptr);

    std::optional<MediaTrack> shown;
    PlayerControls::stateOf(player, shown);
    const std::size_t before = gAllocations.load();
    constexpr int kFrames = 100;
    for (int frame = 0; frame < kFrames; ++frame) {
        const MediaState state = PlayerControls::stateOf(player, shown);
        EXPECT_TRUE(state.canGoNext);
    }
    // A copy of the queue would be tens of thousands a frame.
    EXPECT_LT(gAllocations.load() - before, static_cast<std::size_t>(10 * kFrames));
    context->disable();
    fs::remove_all(folder);
}

} // namespace
} // namespace mirvo
