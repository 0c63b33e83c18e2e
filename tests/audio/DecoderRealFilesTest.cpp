// The decoders against real files: files that Debian packages ship (made by others, with the
// quirks of real encoders and taggers) and files encoded here in many formats. Each decode is
// compared with an independent decode by the ffmpeg command-line tool.
#include "AudioFileFixtures.h"

#include "audio/Exception.h"
#include "audio/ffmpeg/SourceFileFfmpeg.h"
#include "audio/vorbis/SourceFileOggVorbis.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>

using namespace mirvo::audio;
using namespace mirvo::audio::test;

namespace {

// Two float decoders of the same stream agree to well within this.
constexpr float kIndependentDecodeTolerance = 1e-4f;

bool exists(const std::string& path)
{
    return std::filesystem::is_regular_file(path);
}

std::vector<char> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Interleaved float samples of the first audio stream, as the ffmpeg tool decodes them. Files
// for the Vorbis decoder are decoded with libvorbis there as well; FFmpeg reports errors for
// some packets of real Ogg files yet writes the whole stream, so only its output counts.
std::vector<float> independentDecode(const TempDir& dir, const std::string& path)
{
    const std::string raw = dir.file("reference.f32");
    const std::string decoder = fileExtension(path) == "ogg" ? "-c:a libvorbis " : "";
    run("ffmpeg -nostdin -y " + decoder + "-i " + quote(path) + " -map 0:a:0 -c:a pcm_f32le -f f32le " +
        quote(raw));
    const std::vector<char> bytes = readFile(raw);
    if (bytes.empty()) {
        ADD_FAILURE() << "ffmpeg could not decode " << path;
    }
    std::vector<float> samples(bytes.size() / sizeof(float));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
    return samples;
}

struct Expected {
    size_t channels;
    size_t sampleRate;
};

// Decodes path at its own rate to the end and checks it against the ffmpeg tool's decode.
void expectMatchesIndependentDecode(const std::string& path, Expected expected)
{
    TempDir dir;
    auto source = loadPath(path);
    EXPECT_EQ(source->getNumChannels(), expected.channels) << path;
    EXPECT_EQ(source->getSampleRateNative(), expected.sampleRate) << path;
    const auto ours = readAll(*source, 4096);
    const std::vector<float> reference = independentDecode(dir, path);
    const size_t channels = ours.size();
    ASSERT_GT(ours[0].size(), 0u) << path;
    if (ours[0].size() == source->getNumFrames()) {
        // Reading stops at the container's stated length, which may end inside the last
        // decoded frame (an MP4 edit list); the tool writes that frame whole.
        ASSERT_LE(ours[0].size() * channels, reference.size()) << path;
        ASSERT_LT(reference.size() - ours[0].size() * channels, 2048 * channels) << path;
    } else {
        ASSERT_EQ(ours[0].size() * channels, reference.size()) << path << ": frame counts differ";
    }
    float worst = 0.0f;
    for (size_t frame = 0; frame < ours[0].size(); ++frame) {
        for (size_t ch = 0; ch < channels; ++ch) {
            worst = std::max(worst, std::abs(ours[ch][frame] - reference[frame * channels + ch]));
        }
    }
    EXPECT_LT(worst, kIndependentDecodeTolerance) << path;
    // The stated length is close to what the file holds (it is exact for most formats).
    EXPECT_NEAR(double(source->getNumFrames()), double(ours[0].size()), 0.01 * double(ours[0].size()) + 2048)
        << path;
}

#define SKIP_UNLESS_EXISTS(path)                                                                             \
    if (!exists(path)) {                                                                                     \
        GTEST_SKIP() << (path) << " is missing; install the package that ships it (scripts/packages.txt)";   \
    }

const std::string kForensics = "/usr/share/forensics-samples/original-files/";

} // namespace

TEST(DecoderRealFiles, AlsaSpeakerTestVoicesAreMono48k)
{
    const std::string path = "/usr/share/sounds/alsa/Front_Center.wav";
    SKIP_UNLESS_EXISTS(path);
    expectMatchesIndependentDecode(path, {1, 48000});
}

TEST(DecoderRealFiles, FreedesktopThemeSoundsAtEveryRate)
{
    const std::string dir = "/usr/share/sounds/freedesktop/stereo/";
    struct Sound {
        const char* name;
        Expected expected;
    };
    const Sound sounds[] = {{"phone-outgoing-busy.oga", {1, 8000}},
                            {"service-login.oga", {2, 22050}},
                            {"bell.oga", {2, 44100}},
                            {"audio-channel-front-left.oga", {1, 48000}},
                            {"camera-shutter.oga", {2, 96000}}};
    for (const Sound& sound : sounds) {
        const std::string path = dir + sound.name;
        SKIP_UNLESS_EXISTS(path);
        expectMatchesIndependentDecode(path, sound.expected);
    }
}

TEST(DecoderRealFiles, FreedesktopVorbisThroughTheVorbisDecoder)
{
    const std::string original = "/usr/share/sounds/freedesktop/stereo/camera-shutter.oga";
    SKIP_UNLESS_EXISTS(original);
    TempDir dir;
    const std::string path = dir.file("shutter.ogg");
    std::filesystem::copy_file(original, path);
    auto source = loadPath(path);
    ASSERT_NE(dynamic_cast<SourceFileOggVorbis*>(source.get()), nullptr);
    expectMatchesIndependentDecode(path, {2, 96000});
    EXPECT_NE(source->getMetaData().find("encoded by: "), std::string::npos);
}

TEST(DecoderRealFiles, BigEndianAiff)
{
    const std::string path = "/usr/share/puredata/doc/sound/bell.aiff";
    SKIP_UNLESS_EXISTS(path);
    auto source = loadPath(path);
    expectMatchesIndependentDecode(path, {source->getNumChannels(), source->getSampleRateNative()});
    EXPECT_GT(source->getNumFrames(), 1000u);
}

TEST(DecoderRealFiles, FlacAt16And24Bits)
{
    for (const std::string name : {"ambi_choir.flac", "perc_swash.flac", "misc_burp.flac"}) {
        const std::string path = "/usr/share/sonic-pi/samples/" + name;
        SKIP_UNLESS_EXISTS(path);
        auto source = loadPath(path);
        EXPECT_EQ(source->getSampleRateNative(), 44100u);
        expectMatchesIndependentDecode(path, {source->getNumChannels(), 44100});
    }
}

TEST(DecoderRealFiles, Mp3WithAnId3v24Tag)
{
    const std::string path = kForensics + "audio1/debian.mp3";
    SKIP_UNLESS_EXISTS(path);
    expectMatchesIndependentDecode(path, {1, 44100});
}

TEST(DecoderRealFiles, MusicMp3WithCoverArtIgnoresThePicture)
{
    const std::string path =
        "/usr/share/gocode/src/github.com/hjfreyer/taglib-go/taglib/testdata/BeatThee.mp3";
    SKIP_UNLESS_EXISTS(path);
    expectMatchesIndependentDecode(path, {2, 44100});
}

TEST(DecoderRealFiles, VideoFilesGiveTheirSoundWhateverStreamItIs)
{
    const std::string mp4 = kForensics + "movie1/VID_20191220_170832.mp4";
    SKIP_UNLESS_EXISTS(mp4);
    expectMatchesIndependentDecode(mp4, {2, 48000});
    const std::string theora = kForensics + "movie2/movie-hello.ogg";
    SKIP_UNLESS_EXISTS(theora);
    // The Vorbis decoder finds the Vorbis stream beside the Theora one.
    expectMatchesIndependentDecode(theora, {2, 48000});
}

TEST(DecoderRealFiles, PicturesHaveNoAudioStream)
{
    for (const std::string name : {"pic1/debian.png", "pic1/debian_logo.jpg"}) {
        const std::string path = kForensics + name;
        SKIP_UNLESS_EXISTS(path);
        try {
            loadPath(path);
            ADD_FAILURE() << name << " opened as audio";
        } catch (const AudioFileExc& exc) {
            EXPECT_EQ(std::string(exc.what()),
                      "could not open audio source file: " + percentEscapePath(path));
        }
    }
}

struct Generated {
    const char* name;
    int rate;
    int channels;
    const char* options;
};

class DecoderGeneratedFiles : public ::testing::TestWithParam<Generated> {};

TEST_P(DecoderGeneratedFiles, MatchIndependentDecode)
{
    const Generated& file = GetParam();
    TempDir dir;
    const std::string path =
        makeTone(dir, file.name, file.rate, file.channels, 3 * file.rate + 123, file.options);
    const size_t nativeRate =
        std::string(file.name).find("opus") != std::string::npos ? 48000 : size_t(file.rate);
    expectMatchesIndependentDecode(path, {size_t(file.channels), nativeRate});
}

INSTANTIATE_TEST_SUITE_P(
    Formats, DecoderGeneratedFiles,
    ::testing::Values(Generated{"mono8k.wav", 8000, 1, ""}, Generated{"stereo44k.wav", 44100, 2, ""},
                      Generated{"surround.wav", 48000, 6, ""},
                      Generated{"hires.wav", 96000, 2, "-c:a pcm_s24le"},
                      Generated{"stereo.flac", 44100, 2, ""}, Generated{"surround.flac", 48000, 6, ""},
                      Generated{"vorbis.oga", 44100, 2, "-c:a libvorbis"},
                      Generated{"vorbis.ogg", 22050, 1, "-c:a libvorbis"},
                      Generated{"opus.oga", 48000, 2, "-c:a libopus"},
                      Generated{"stereo.m4a", 44100, 2, "-c:a aac"}, Generated{"mono.mp3", 22050, 1, ""},
                      Generated{"stereo.mp3", 44100, 2, "-b:a 160k"}),
    [](const ::testing::TestParamInfo<Generated>& param) {
        std::string name = param.param.name;
        std::replace(name.begin(), name.end(), '.', '_');
        return name;
    });

TEST(DecoderRealFiles, ChainedOggThatChangesRateAndChannels)
{
    if (!commandExists("oggenc")) {
        GTEST_SKIP() << "oggenc is not installed";
    }
    TempDir dir;
    const size_t firstFrames = 4410;
    const std::string first = makeVorbis(dir, "first.ogg", 44100, 2, long(firstFrames));
    const std::string second = makeVorbis(dir, "second.ogg", 8000, 1, 8000);
    std::string bytes;
    for (const std::string& link : {first, second}) {
        std::ifstream in(link, std::ios::binary);
        bytes.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    writeBytes(dir.file("chained.ogg"), bytes);
    writeBytes(dir.file("chained.oga"), bytes);

    // The platform decoder resamples the second link to the first one's rate and layout. The
    // container states a length from the last link's granule in the first link's units, so
    // reading ends there, inside the second link.
    auto platform = loadPath(dir.file("chained.oga"));
    EXPECT_EQ(platform->getNumChannels(), 2u);
    EXPECT_EQ(platform->getSampleRateNative(), 44100u);
    const auto platformFrames = readAll(*platform, 4096);
    ASSERT_GT(platformFrames[1].size(), firstFrames + 2000);
    float secondLinkPeak = 0.0f;
    for (size_t i = firstFrames + 500; i < platformFrames[1].size() - 100; ++i) {
        secondLinkPeak = std::max(secondLinkPeak, std::abs(platformFrames[1][i]));
    }
    EXPECT_GT(secondLinkPeak, 0.2f) << "the mono link reaches both channels";

    // The Vorbis decoder plays every link at the first one's rate and never reads a channel
    // the mono link lacks: it repeats the one it has.
    auto vorbis = loadPath(dir.file("chained.ogg"));
    EXPECT_EQ(vorbis->getNumChannels(), 2u);
    const auto vorbisFrames = readAll(*vorbis, 4096);
    EXPECT_EQ(vorbisFrames[0].size(), firstFrames + 8000u);
    for (size_t i = firstFrames; i < vorbisFrames[1].size(); ++i) {
        ASSERT_EQ(vorbisFrames[1][i], vorbisFrames[0][i]) << "frame " << i;
    }
}
