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
        try {
            result = std::make_unique<SourceFileOggVorbis>(dataSource, sampleRate);
        } catch (const AudioFileExc& vorbisFailure) {
            // Ogg is a container: most .ogg files hold Opus, some FLAC or Speex. What the Vorbis
            // decoder cannot open is judged by its content before it is called unplayable.
            try {
                result = std::make_unique<SourceFileFfmpeg>(dataSource, sampleRate);
            } catch (const AudioFileExc& otherFailure) {
                // "Not Vorbis" says nothing of an Opus stream that is cut short.
                AudioFileExc::Reason reason = vorbisFailure.getReason();
                if (reason == AudioFileExc::Reason::NOT_AUDIO &&
                    otherFailure.getReason() != AudioFileExc::Reason::UNKNOWN) {
                    reason = otherFailure.getReason();
                }
                throw AudioFileExc(vorbisFailure.what(), reason);
            }
        }
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
        size_t numFrames = std::min(buffer->getNumFrames(), mMaxFramesPerRead);
        if (mNumFramesKnown) {
            numFrames = std::min(numFrames, mNumFrames > mReadPos ? mNumFrames - mReadPos : 0);
        }
        const size_t framesRead = numFrames ? performRead(buffer, 0, numFrames) : 0;
        mReadPos += framesRead;
        if (framesRead > 0) {
            mPositionUncertain = false;
            mNumFrames = std::max(mNumFrames, mReadPos);
        } else if (numFrames > 0) {
            endReached();
        }
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
        size_t fileRemaining = SIZE_MAX;
        if (mFileEnded) {
            fileRemaining = 0;
        } else if (mNumFramesKnown) {
            fileRemaining = mFileNumFrames > mFileReadPos ? mFileNumFrames - mFileReadPos : 0;
        }
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
            // The end of the file, wherever its header put it: what is left ends here.
            mFileEnded = true;
        }
        // An empty read buffer asks the converter for the tail its filter still holds.
        flushed = fileFramesRead == 0;
        mConverterReadBuffer.setNumFrames(fileFramesRead);
        produced = mConverter->convert(&mConverterReadBuffer, buffer).second;
    }
    mReadPos += produced;
    if (produced > 0) {
        mPositionUncertain = false;
        if (!mNumFramesKnown) {
            mNumFrames = std::max(mNumFrames, mReadPos);
        }
    } else {
        endReached();
    }
    return produced;
}

void SourceFile::endReached()
{
    if (mPositionUncertain) {
        return;
    }
    // A stated length that was right stays as computed; only a wrong or missing one is replaced.
    if (!mNumFramesKnown || mReadPos < mNumFrames) {
        mNumFrames = mReadPos;
        if (mConverter) {
            mFileNumFrames = mFileReadPos;
        } else if (mSampleRate == getSampleRateNative()) {
            mFileNumFrames = mReadPos;
        } else {
            mFileNumFrames =
                size_t(std::llround(double(mReadPos) * double(getSampleRateNative()) / double(mSampleRate)));
        }
    }
    mNumFramesKnown = true;
}

void SourceFile::seek(size_t frame)
{
    if (mNumFramesKnown && frame >= mNumFrames) {
        return;
    }
    size_t fileFrame = frame;
    if (mSampleRate != getSampleRateNative()) {
        // The product can pass 2^64 for very long files.
        __extension__ using Wide = unsigned __int128;
        fileFrame = mNumFramesKnown && mNumFrames > 0
                        ? size_t(Wide(frame) * mFileNumFrames / mNumFrames)
                        : size_t(Wide(frame) * getSampleRateNative() / mSampleRate);
    }
    performSeek(fileFrame);
    if (!mNumFramesKnown && frame > mNumFrames) {
        mPositionUncertain = true;
    }
    mReadPos = frame;
    mFileReadPos = fileFrame;
    mFileEnded = false;
    if (mConverter) {
        mConverter->clear();
    }
}

size_t SourceFile::measureNumFrames()
{
    if (!mNumFramesKnown) {
        if (mReadPos != 0 && mNumFrames > 0) {
            seek(0);
        }
        Buffer scratch(mMaxFramesPerRead, getNumChannels());
        try {
            while (read(&scratch) > 0) {
            }
        } catch (const AudioFileExc&) {
            endReached();
        }
    }
    if (mReadPos != 0 && mNumFrames > 0) {
        seek(0);
    }
    return mNumFrames;
}

BufferRef SourceFile::loadBuffer()
{
    // The buffer is made to the length, so that length must be the true one.
    measureNumFrames();
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
        mFileEnded = true;
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
    mFileEnded = true;
    return result;
}

} // namespace mirvo::audio
