// The rate bookkeeping, converting reads and whole-file loads shared by every decoder, and the
// choice of decoder by file extension.
#include "audio/SourceFile.h"

#include "audio/ffmpeg/SourceFileFfmpeg.h"
#include "audio/vorbis/SourceFileOggVorbis.h"
#include "core/DataSource.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace mirvo::audio {

namespace {

constexpr size_t kDefaultMaxFramesPerRead = 4096;

} // namespace

Source::Source(size_t sampleRate) : mSampleRate(sampleRate), mMaxFramesPerRead(kDefaultMaxFramesPerRead)
{
}

Source::~Source() = default;

std::string fileExtension(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name == "." || name == "..") {
        return {};
    }
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

AudioFileExc::Reason diagnosePath(const std::string& path)
{
    namespace fs = std::filesystem;
    using Reason = AudioFileExc::Reason;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found) {
        return Reason::NO_SUCH_FILE;
    }
    if (error) {
        // A folder on the way that may not be entered.
        return Reason::CANNOT_READ;
    }
    if (status.type() == fs::file_type::directory) {
        return Reason::FOLDER;
    }
    if (status.type() != fs::file_type::regular) {
        return Reason::NOT_AUDIO; // a pipe or a device
    }
    if (!std::ifstream(path, std::ios::binary)) {
        return Reason::CANNOT_READ;
    }
    const auto size = fs::file_size(path, error);
    if (!error && size == 0) {
        return Reason::DAMAGED;
    }
    return Reason::UNKNOWN;
}

std::unique_ptr<SourceFile> load(const DataSourceRef& dataSource, size_t sampleRate)
{
    std::unique_ptr<SourceFile> result;
    if (fileExtension(dataSource->getFilePath()) == "ogg") {
        result = std::make_unique<SourceFileOggVorbis>(dataSource, sampleRate);
    } else {
        result = std::make_unique<SourceFileFfmpeg>(dataSource, sampleRate);
    }
    result->setupSampleRateConversion();
    return result;
}

void SourceFile::setupSampleRateConversion()
{
    const size_t native = getSampleRateNative();
    if (mSampleRate == 0) {
        mSampleRate = native;
    }
    if (mSampleRate != native) {
        mNumFrames = size_t(std::ceil(double(mSampleRate) * double(mFileNumFrames) / double(native)));
        if (!supportsConversion()) {
            const size_t channels = getNumChannels();
            mConverter = dsp::Converter::create(native, mSampleRate, channels, channels, mMaxFramesPerRead);
            mConverterReadBuffer.setSize(mMaxFramesPerRead, channels);
        }
    } else {
        mNumFrames = mFileNumFrames;
        mConverter.reset();
    }
}

size_t SourceFile::read(Buffer* buffer)
{
    if (!mConverter) {
        const size_t remaining = mNumFrames > mReadPos ? mNumFrames - mReadPos : 0;
        const size_t numFrames = std::min({buffer->getNumFrames(), mMaxFramesPerRead, remaining});
        const size_t framesRead = numFrames ? performRead(buffer, 0, numFrames) : 0;
        mReadPos += framesRead;
        return framesRead;
    }

    if (buffer->getNumFrames() == 0) {
        return 0;
    }
    const size_t native = getSampleRateNative();
    size_t produced = 0;
    // The resampler holds back the first frames it is given (its filter's delay): keep feeding
    // it until something comes out, so that 0 frames always means the end of the file.
    for (bool flushed = false; produced == 0 && !flushed;) {
        const size_t fileRemaining = mFileNumFrames > mFileReadPos ? mFileNumFrames - mFileReadPos : 0;
        size_t fileFrames =
            std::min({size_t(double(buffer->getNumFrames()) * double(native) / double(mSampleRate)),
                      mMaxFramesPerRead, fileRemaining});
        if (fileFrames == 0 && fileRemaining > 0) {
            // A buffer shorter than one file frame still moves the file on.
            fileFrames = 1;
        }
        mConverterReadBuffer.setNumFrames(fileFrames);
        const size_t fileFramesRead = fileFrames ? performRead(&mConverterReadBuffer, 0, fileFrames) : 0;
        mFileReadPos += fileFramesRead;
        if (fileFramesRead < fileFrames) {
            // The file holds less than it claimed: what is left of it ends here.
            mFileReadPos = mFileNumFrames;
        }
        // An empty read buffer asks the converter for the tail its filter still holds.
        flushed = fileFramesRead == 0;
        mConverterReadBuffer.setNumFrames(fileFramesRead);
        produced = mConverter->convert(&mConverterReadBuffer, buffer).second;
    }
    mReadPos += produced;
    return produced;
}

void SourceFile::seek(size_t frame)
{
    if (frame >= mNumFrames) {
        return;
    }
    size_t fileFrame = frame;
    if (mSampleRate != getSampleRateNative()) {
        // The product can pass 2^64 for very long files.
        __extension__ using Wide = unsigned __int128;
        fileFrame = size_t(Wide(frame) * mFileNumFrames / mNumFrames);
    }
    performSeek(fileFrame);
    mReadPos = frame;
    mFileReadPos = fileFrame;
    if (mConverter) {
        mConverter->clear();
    }
}

BufferRef SourceFile::loadBuffer()
{
    if (mNumFrames > 0) {
        performSeek(0);
        mReadPos = 0;
        mFileReadPos = 0;
        if (mConverter) {
            mConverter->clear();
        }
    }
    const size_t channels = getNumChannels();
    auto result = std::make_shared<Buffer>(mNumFrames, channels);
    if (!mConverter) {
        mReadPos = mNumFrames ? performRead(result.get(), 0, mNumFrames) : 0;
        return result;
    }

    Buffer scratch(mConverter->getDestMaxFramesPerBlock(), channels);
    size_t fileFramesRead = 0;
    bool flushed = false;
    while (!flushed) {
        const size_t fileFrames = std::min(mFileNumFrames - fileFramesRead, mMaxFramesPerRead);
        mConverterReadBuffer.setNumFrames(fileFrames);
        const size_t framesRead = fileFrames ? performRead(&mConverterReadBuffer, 0, fileFrames) : 0;
        fileFramesRead += framesRead;
        if (framesRead < fileFrames) {
            // Shorter than its stated length: stop asking the decoder.
            fileFramesRead = mFileNumFrames;
        }
        // Once the file is exhausted an empty read drains the converter's tail.
        flushed = framesRead == 0;
        mConverterReadBuffer.setNumFrames(framesRead);
        const size_t produced = mConverter->convert(&mConverterReadBuffer, &scratch).second;
        // The converter may deliver a few frames more than the computed length; they are dropped.
        const size_t toCopy = std::min(produced, mNumFrames - mReadPos);
        for (size_t ch = 0; ch < channels && toCopy > 0; ++ch) {
            std::memcpy(result->getChannel(ch) + mReadPos, scratch.getChannel(ch), toCopy * sizeof(float));
        }
        mReadPos += toCopy;
    }
    mFileReadPos = fileFramesRead;
    return result;
}

} // namespace mirvo::audio
