// Audio files made at test time in a private temporary folder with the command-line encoders
// (ffmpeg, oggenc), a scripted decoder of a ramp, and small helpers for reading sources to the
// end. Header-only so that each test program of this folder can use it.
#pragma once

#include "audio/Buffer.h"
#include "audio/Exception.h"
#include "audio/SourceFile.h"
#include "core/DataSource.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace mirvo::audio::test {

inline bool commandExists(const std::string& name)
{
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// A folder under the system's temporary directory, removed with everything in it.
class TempDir {
  public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "mirvo-audio-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            throw std::runtime_error("mkdtemp failed");
        }
        mPath = pattern;
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(mPath, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string file(const std::string& name) const { return (mPath / name).string(); }

  private:
    std::filesystem::path mPath;
};

// A decoder of a ramp: file frame f of channel c holds (f + c / 2) * scale. It records its
// seeks, can be told to hold fewer frames than it claims, and to fail once a frame is reached.
class RampSource : public SourceFile {
  public:
    RampSource(size_t fileFrames, size_t nativeRate, size_t sampleRate, size_t channels = 2,
               float scale = 1.0f)
        : SourceFile(sampleRate), mNativeRate(nativeRate), mChannels(channels), mScale(scale),
          mRealFrames(fileFrames)
    {
        mNumFrames = mFileNumFrames = fileFrames;
    }

    size_t getNumChannels() const override { return mChannels; }
    size_t getSampleRateNative() const override { return mNativeRate; }
    SourceFileRef cloneWithSampleRate(size_t sampleRate) const override
    {
        auto clone = std::make_shared<RampSource>(mFileNumFrames, mNativeRate, sampleRate, mChannels, mScale);
        clone->mRealFrames = mRealFrames;
        clone->mFailAt = mFailAt;
        clone->setupSampleRateConversion();
        return clone;
    }
    bool hasConverter() const { return bool(mConverter); }
    float valueAt(size_t frame, size_t channel) const
    {
        return (float(frame) + 0.5f * float(channel)) * mScale;
    }

    size_t mNativeRate;
    size_t mChannels;
    float mScale;
    size_t mRealFrames;
    size_t mFailAt = SIZE_MAX;
    std::atomic<size_t> mFilePos{0};
    std::vector<size_t> mSeeks;

  protected:
    size_t performRead(Buffer* buffer, size_t offset, size_t numFrames) override
    {
        const size_t pos = mFilePos;
        if (pos + numFrames > mFailAt) {
            throw AudioFileExc("ov_read_float error");
        }
        const size_t count = std::min(numFrames, mRealFrames > pos ? mRealFrames - pos : 0);
        for (size_t ch = 0; ch < mChannels; ++ch) {
            for (size_t i = 0; i < count; ++i) {
                buffer->getChannel(ch)[offset + i] = valueAt(pos + i, ch);
            }
        }
        mFilePos = pos + count;
        return count;
    }
    void performSeek(size_t fileFrame) override
    {
        mSeeks.push_back(fileFrame);
        mFilePos = fileFrame;
    }
};

inline std::string quote(const std::string& text)
{
    std::string result = "'";
    for (const char c : text) {
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return result + "'";
}

// Runs a shell command quietly; true when it succeeded.
inline bool run(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Renders a test tone with ffmpeg: channel c is a sine of 300 + 200c Hz, duration in frames.
// extra holds the encoder options (codec, bit rate); the container follows the extension.
inline std::string makeTone(const TempDir& dir, const std::string& name, int rate, int channels, long frames,
                            const std::string& extra = "")
{
    std::string exprs;
    for (int c = 0; c < channels; ++c) {
        exprs += (c ? "|" : "") + std::string("0.5*sin(2*PI*") + std::to_string(300 + 200 * c) + "*t)";
    }
    const std::string path = dir.file(name);
    const std::string command = "ffmpeg -nostdin -y -f lavfi -i " +
                                quote("aevalsrc=exprs=" + exprs + ":s=" + std::to_string(rate) +
                                      ":n=1024:d=" + std::to_string(double(frames) / rate)) +
                                " -af atrim=end_sample=" + std::to_string(frames) + " " + extra + " " +
                                quote(path);
    if (!run(command)) {
        ADD_FAILURE() << "could not make " << name << " with: " << command;
    }
    return path;
}

// An Ogg Vorbis file encoded by oggenc from a generated WAV, with optional comments.
inline std::string makeVorbis(const TempDir& dir, const std::string& name, int rate, int channels,
                              long frames, const std::vector<std::string>& comments = {})
{
    const std::string wav = makeTone(dir, name + ".wav", rate, channels, frames);
    const std::string path = dir.file(name);
    std::string command = "oggenc -Q";
    for (const auto& comment : comments) {
        command += " -c " + quote(comment);
    }
    command += " -o " + quote(path) + " " + quote(wav);
    if (!run(command)) {
        ADD_FAILURE() << "could not make " << name << " with: " << command;
    }
    return path;
}

inline void writeBytes(const std::string& path, const std::string& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

// The first `count` bytes of a file, copied into another.
inline void copyPrefix(const std::string& from, const std::string& to, size_t count)
{
    std::FILE* in = std::fopen(from.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    std::string bytes(count, '\0');
    bytes.resize(std::fread(bytes.data(), 1, count, in));
    std::fclose(in);
    writeBytes(to, bytes);
}

// Reads a source to its end in blocks; the frames of each channel, concatenated.
inline std::vector<std::vector<float>> readAll(SourceFile& source, size_t blockFrames = 1000,
                                               size_t maxFrames = size_t(1) << 32)
{
    std::vector<std::vector<float>> channels(source.getNumChannels());
    Buffer block(blockFrames, source.getNumChannels());
    size_t total = 0;
    while (total < maxFrames) {
        const size_t got = source.read(&block);
        if (got == 0) {
            break;
        }
        for (size_t ch = 0; ch < channels.size(); ++ch) {
            channels[ch].insert(channels[ch].end(), block.getChannel(ch), block.getChannel(ch) + got);
        }
        total += got;
    }
    return channels;
}

inline std::unique_ptr<SourceFile> loadPath(const std::string& path, size_t sampleRate = 0)
{
    return load(mirvo::loadFile(path), sampleRate);
}

} // namespace mirvo::audio::test
