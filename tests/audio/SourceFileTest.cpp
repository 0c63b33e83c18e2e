// The bookkeeping of SourceFile (rates, lengths, seeks, converting reads, whole-file loads) on
// a scripted decoder, the choice of decoder, the converter, and the two real decoders on
// files made at test time.
#include "AudioFileFixtures.h"

#include "audio/Exception.h"
#include "audio/dsp/Converter.h"
#include "audio/ffmpeg/SourceFileFfmpeg.h"
#include "audio/vorbis/SourceFileOggVorbis.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace mirvo::audio;
using namespace mirvo::audio::test;

namespace {

constexpr float kSampleTolerance = 1e-6f;

size_t readToEnd(SourceFile& source, size_t blockFrames)
{
    Buffer block(blockFrames, source.getNumChannels());
    size_t total = 0;
    for (size_t got; (got = source.read(&block)) > 0;) {
        total += got;
    }
    return total;
}

} // namespace

TEST(SourceFile, ExtensionIsTheTextAfterTheLastDotOfTheFileName)
{
    EXPECT_EQ(fileExtension("/music/a.b/track.ogg"), "ogg");
    EXPECT_EQ(fileExtension("track.OGG"), "OGG");
    EXPECT_EQ(fileExtension("/music/a.b/track"), "");
    EXPECT_EQ(fileExtension("/music/.."), "");
    EXPECT_EQ(fileExtension("."), "");
    EXPECT_EQ(fileExtension("archive.tar.oga"), "oga");
}

TEST(SourceFile, OnlyTheExactExtensionOggChoosesTheVorbisDecoder)
{
    if (!commandExists("oggenc")) {
        GTEST_SKIP() << "oggenc is not installed";
    }
    TempDir dir;
    const std::string vorbis = makeVorbis(dir, "tone.ogg", 44100, 2, 4410);
    for (const std::string name : {"upper.OGG", "sound.oga", "noextension"}) {
        std::filesystem::copy_file(vorbis, dir.file(name));
        auto source = loadPath(dir.file(name));
        EXPECT_NE(dynamic_cast<SourceFileFfmpeg*>(source.get()), nullptr) << name;
    }
    EXPECT_NE(dynamic_cast<SourceFileOggVorbis*>(loadPath(vorbis).get()), nullptr);
}

TEST(SourceFile, ConversionSetsTheOutputLengthAndSeeksInFileFrames)
{
    RampSource source(44100, 44100, 48000);
    source.setupSampleRateConversion();
    EXPECT_EQ(source.getNumFrames(), 48000u);
    EXPECT_EQ(source.getFileNumFrames(), 44100u);
    EXPECT_EQ(source.getSampleRate(), 48000u);
    EXPECT_TRUE(source.hasConverter());

    source.seek(24000);
    ASSERT_EQ(source.mSeeks.size(), 1u);
    EXPECT_EQ(source.mSeeks[0], 22050u);
    EXPECT_EQ(source.getReadPosition(), 24000u);

    source.seek(48000);
    EXPECT_EQ(source.mSeeks.size(), 1u);
    EXPECT_EQ(source.getReadPosition(), 24000u);
}

TEST(SourceFile, EqualOrUnspecifiedRateNeedsNoConverter)
{
    for (size_t rate : {size_t(0), size_t(44100)}) {
        RampSource source(1000, 44100, rate);
        source.setupSampleRateConversion();
        EXPECT_FALSE(source.hasConverter());
        EXPECT_EQ(source.getSampleRate(), 44100u);
        EXPECT_EQ(source.getNumFrames(), 1000u);
    }
}

TEST(SourceFile, PlainReadStopsAtTheBlockLimitAndTheEndAndLeavesTheRestOfTheBuffer)
{
    RampSource source(5000, 48000, 0);
    source.setupSampleRateConversion();
    Buffer block(8192, 2);
    block.getChannel(0)[4096] = -7.0f;
    EXPECT_EQ(source.read(&block), 4096u);
    EXPECT_FLOAT_EQ(block.getChannel(1)[4095], 4095.5f);
    EXPECT_EQ(block.getChannel(0)[4096], -7.0f);
    EXPECT_EQ(source.read(&block), 904u);
    EXPECT_FLOAT_EQ(block.getChannel(0)[903], 4999.0f);
    EXPECT_EQ(block.getChannel(0)[904], 904.0f) << "left from the first read";
    EXPECT_EQ(source.read(&block), 0u);
}

TEST(SourceFile, ConvertingReadsReachTheEndOfTheFileWhicheverWayTheRatesDiffer)
{
    struct Case {
        size_t fileFrames, native, output;
    };
    for (const Case c : {Case{44100, 44100, 48000}, Case{48000, 48000, 44100}, Case{96000, 96000, 8000},
                         Case{8000, 8000, 96000}}) {
        RampSource source(c.fileFrames, c.native, c.output);
        source.setupSampleRateConversion();
        const size_t total = readToEnd(source, 512);
        EXPECT_NEAR(double(total), double(source.getNumFrames()), 2.0) << c.native << " -> " << c.output;
        EXPECT_EQ(source.mFilePos, c.fileFrames) << "every file frame was read";
    }
}

TEST(SourceFile, ConvertingReadsIntoATinyBufferDoNotEndEarly)
{
    RampSource source(4410, 44100, 48000);
    source.setupSampleRateConversion();
    EXPECT_NEAR(double(readToEnd(source, 1)), 4800.0, 2.0);
}

TEST(SourceFile, ConvertingReadEndsWhenTheFileHoldsLessThanItsLength)
{
    RampSource source(44100, 44100, 48000);
    source.mRealFrames = 10000;
    source.setupSampleRateConversion();
    const size_t total = readToEnd(source, 1024);
    EXPECT_NEAR(double(total), 10000.0 * 48000 / 44100, 2.0);
}

TEST(SourceFile, LoadBufferRestartsFromTheFirstFrameEveryTime)
{
    for (size_t rate : {size_t(0), size_t(48000)}) {
        RampSource source(30000, 44100, rate);
        source.setupSampleRateConversion();
        Buffer block(700, 2);
        source.read(&block);
        const BufferRef first = source.loadBuffer();
        const BufferRef second = source.loadBuffer();
        ASSERT_EQ(first->getNumFrames(), source.getNumFrames());
        EXPECT_EQ(first->getSize(), second->getSize());
        for (size_t i = 0; i < first->getSize(); ++i) {
            ASSERT_EQ((*first)[i], (*second)[i]) << "sample " << i;
        }
        EXPECT_EQ(source.getReadPosition(), source.getNumFrames());
        if (rate == 0) {
            EXPECT_FLOAT_EQ(first->getChannel(1)[29999], 29999.5f);
        }
    }
}

TEST(SourceFile, LoadBufferOfAShortFileStopsAndLeavesSilenceAtTheEnd)
{
    RampSource source(20000, 44100, 48000);
    source.mRealFrames = 5000;
    source.setupSampleRateConversion();
    const BufferRef buffer = source.loadBuffer();
    EXPECT_EQ(buffer->getNumFrames(), source.getNumFrames());
    EXPECT_EQ(buffer->getChannel(0)[buffer->getNumFrames() - 1], 0.0f);
}

TEST(Converter, KeepsItsHistoryBetweenCallsAndForgetsItOnClear)
{
    const size_t frames = 4096;
    Buffer input(frames, 1);
    for (size_t i = 0; i < frames; ++i) {
        input.getChannel(0)[i] = float(std::sin(0.05 * double(i)));
    }
    auto whole = dsp::Converter::create(44100, 48000, 1, 1, frames);
    Buffer wholeOut(whole->getDestMaxFramesPerBlock(), 1);
    const auto [usedWhole, producedWhole] = whole->convert(&input, &wholeOut);
    EXPECT_EQ(usedWhole, frames);

    auto halves = dsp::Converter::create(44100, 48000, 1, 1, frames);
    Buffer half(frames / 2, 1);
    Buffer halvesOut(halves->getDestMaxFramesPerBlock(), 1);
    std::copy(input.getChannel(0), input.getChannel(0) + frames / 2, half.getChannel(0));
    const size_t firstCount = halves->convert(&half, &halvesOut).second;
    Buffer rest(halves->getDestMaxFramesPerBlock(), 1);
    std::copy(input.getChannel(0) + frames / 2, input.getChannel(0) + frames, half.getChannel(0));
    const size_t secondCount = halves->convert(&half, &rest).second;
    ASSERT_EQ(firstCount + secondCount, producedWhole);
    std::copy(rest.getChannel(0), rest.getChannel(0) + secondCount, halvesOut.getChannel(0) + firstCount);
    for (size_t i = 0; i < producedWhole; ++i) {
        ASSERT_NEAR(halvesOut.getChannel(0)[i], wholeOut.getChannel(0)[i], kSampleTolerance) << i;
    }

    // After clear the converter starts afresh: the same input gives the same output again.
    halves->clear();
    Buffer again(halves->getDestMaxFramesPerBlock(), 1);
    const size_t againCount = halves->convert(&input, &again).second;
    ASSERT_EQ(againCount, producedWhole);
    for (size_t i = 0; i < againCount; ++i) {
        ASSERT_NEAR(again.getChannel(0)[i], wholeOut.getChannel(0)[i], kSampleTolerance) << i;
    }
}

TEST(Converter, NeverWritesPastTheDestinationAndDeliversTheRestLater)
{
    auto converter = dsp::Converter::create(8000, 48000, 2, 2, 1000);
    EXPECT_EQ(converter->getDestMaxFramesPerBlock(), 6000u);
    Buffer input(1000, 2);
    std::fill(input.getData(), input.getData() + input.getSize(), 0.25f);
    // A destination of 100 frames inside a larger block whose tail must stay untouched.
    Buffer dest(100, 2);
    const auto [used, produced] = converter->convert(&input, &dest);
    EXPECT_EQ(used, 1000u);
    EXPECT_LE(produced, 100u);
    Buffer empty(0, 2);
    size_t total = produced;
    for (size_t got; (got = converter->convert(&empty, &dest).second) > 0;) {
        EXPECT_LE(got, 100u);
        total += got;
    }
    EXPECT_NEAR(double(total), 6000.0, 16.0);
}

TEST(SourceFileFfmpeg, ResamplesInsideAndReportsTheFileFormat)
{
    TempDir dir;
    const std::string path = makeTone(dir, "tone.wav", 44100, 2, 44100);
    auto source = loadPath(path, 48000);
    EXPECT_EQ(source->getNumChannels(), 2u);
    EXPECT_EQ(source->getSampleRateNative(), 44100u);
    EXPECT_EQ(source->getSampleRate(), 48000u);
    EXPECT_EQ(source->getNumFrames(), 48000u);
    EXPECT_EQ(source->getFileNumFrames(), 44100u);
    const auto channels = readAll(*source, 777);
    EXPECT_NEAR(double(channels[0].size()), 48000.0, 2.0);
}

TEST(SourceFileFfmpeg, ResamplesAToneWithoutAClickAtTheFramesJoins)
{
    // Files without a channel layout (a WAV with a plain format header) once had their
    // resampler rebuilt for every decoded frame: its tail and a fresh start every 1024 frames.
    TempDir dir;
    auto source = loadPath(makeTone(dir, "tone.wav", 44100, 1, 3 * 44100), 48000);
    const auto samples = readAll(*source, 4096)[0];
    EXPECT_NEAR(double(samples.size()), 3.0 * 48000, 2.0);
    // A 300 Hz sine of amplitude 0.5 bends by at most 0.5 (2 pi 300 / 48000)^2 a frame; 16-bit
    // rounding and the resampler's ripple add far less than a click would.
    constexpr float kMaxBend = 0.003f;
    float worst = 0.0f;
    for (size_t i = 100; i + 100 < samples.size(); ++i) {
        worst = std::max(worst, std::abs(samples[i + 1] - 2.0f * samples[i] + samples[i - 1]));
    }
    EXPECT_LT(worst, kMaxBend);
}

TEST(SourceFileFfmpeg, SeeksToTheExactFrame)
{
    TempDir dir;
    for (const std::string name : {"tone.wav", "tone.flac", "tone.mp3", "tone.m4a"}) {
        const std::string path = makeTone(dir, name, 44100, 2, 3 * 44100);
        auto source = loadPath(path);
        const auto whole = readAll(*source, 4096);
        for (size_t target : {size_t(0), size_t(12345), size_t(90001)}) {
            source->seek(target);
            Buffer block(2048, 2);
            ASSERT_EQ(source->read(&block), 2048u) << name;
            ASSERT_LT(target + 2048, whole[0].size());
            float worst = 0.0f;
            for (size_t ch = 0; ch < 2; ++ch) {
                for (size_t i = 0; i < 2048; ++i) {
                    worst = std::max(worst, std::abs(block.getChannel(ch)[i] - whole[ch][target + i]));
                }
            }
            // Lossy codecs decode the frames around a seek point slightly differently.
            const float tolerance = name == "tone.mp3" || name == "tone.m4a" ? 2e-3f : 1e-6f;
            EXPECT_LT(worst, tolerance) << name << " at " << target;
        }
    }
}

TEST(SourceFileOggVorbis, ReadsPastTheEndReturnTheRestThenNothing)
{
    if (!commandExists("oggenc")) {
        GTEST_SKIP() << "oggenc is not installed";
    }
    TempDir dir;
    auto source = loadPath(makeVorbis(dir, "tone.ogg", 22050, 1, 5000));
    EXPECT_EQ(source->getNumFrames(), 5000u);
    Buffer block(4096, 1);
    EXPECT_EQ(source->read(&block), 4096u);
    EXPECT_EQ(source->read(&block), 904u);
    EXPECT_EQ(source->read(&block), 0u);
    EXPECT_EQ(source->read(&block), 0u);
}

TEST(SourceFileOggVorbis, MetaDataListsTheVendorThenTheComments)
{
    if (!commandExists("oggenc")) {
        GTEST_SKIP() << "oggenc is not installed";
    }
    TempDir dir;
    auto plain = loadPath(makeVorbis(dir, "plain.ogg", 8000, 1, 800));
    const std::string text = plain->getMetaData();
    EXPECT_EQ(text.rfind("encoded by: ", 0), 0u);
    EXPECT_NE(text.find("\ncomments: \n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 11), "comments: \n");

    auto tagged = loadPath(makeVorbis(dir, "tagged.ogg", 8000, 1, 800, {"ARTIST=Mirvo", "TITLE=Tone"}));
    const std::string taggedText = tagged->getMetaData();
    EXPECT_NE(taggedText.find("\ncomments: \nARTIST=Mirvo\nTITLE=Tone\n"), std::string::npos) << taggedText;
}

TEST(SourceFileOggVorbis, ConvertsThroughTheConverterToTheGraphRate)
{
    if (!commandExists("oggenc")) {
        GTEST_SKIP() << "oggenc is not installed";
    }
    TempDir dir;
    auto source = loadPath(makeVorbis(dir, "tone.ogg", 44100, 2, 44100), 48000);
    EXPECT_EQ(source->getNumFrames(), 48000u);
    EXPECT_EQ(source->getFileNumFrames(), 44100u);
    const BufferRef first = source->loadBuffer();
    const BufferRef second = source->loadBuffer();
    ASSERT_EQ(first->getNumFrames(), 48000u);
    for (size_t i = 0; i < first->getSize(); ++i) {
        ASSERT_EQ((*first)[i], (*second)[i]) << i;
    }
    // A 300 Hz tone at half scale survives the conversion.
    float peak = 0.0f;
    for (size_t i = 1000; i < 47000; ++i) {
        peak = std::max(peak, std::abs(first->getChannel(0)[i]));
    }
    EXPECT_NEAR(peak, 0.5f, 0.02f);
}
