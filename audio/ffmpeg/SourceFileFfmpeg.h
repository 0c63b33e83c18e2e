// The platform decoder on FFmpeg: every local file that libavformat demuxes and libavcodec has
// an audio decoder for, delivered as non-interleaved float at the requested rate (it resamples
// inside with libswresample). Used by one thread at a time.
#pragma once

#include "audio/SourceFile.h"
#include "core/Stream.h"

#include <memory>

namespace mirvo::audio {

class SourceFileFfmpeg : public SourceFile {
  public:
    // Throws AudioFileExc "could not open audio source file: " and the percent-escaped path,
    // with the reason, for anything that is not a readable local file with an audio stream.
    SourceFileFfmpeg(const DataSourceRef& dataSource, size_t sampleRate);
    ~SourceFileFfmpeg() override;

    size_t getNumChannels() const override { return mNumChannels; }
    size_t getSampleRateNative() const override { return mNativeSampleRate; }
    SourceFileRef cloneWithSampleRate(size_t sampleRate) const override;

  protected:
    size_t performRead(Buffer* buffer, size_t bufferFrameOffset, size_t numFramesNeeded) override;
    // Sample-accurate: decodes from the key point before fileFrame and drops what precedes it.
    void performSeek(size_t fileFrame) override;
    bool supportsConversion() override { return true; }

  private:
    class Decoder;

    DataSourceRef mDataSource;
    // Read by the decoder's I/O callbacks when the data source is not a file path; outlives it.
    std::shared_ptr<IStreamMirvo> mStream;
    std::unique_ptr<Decoder> mDecoder;
    size_t mNumChannels = 0;
    size_t mNativeSampleRate = 0;
};

// The path as a URL path: UTF-8 bytes other than unreserved characters and '/' as %XX.
std::string percentEscapePath(const std::string& path);

} // namespace mirvo::audio
