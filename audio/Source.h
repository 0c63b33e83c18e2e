// A producer of non-interleaved float frames at a chosen sample rate. Decoders that cannot
// resample by themselves get a dsp::Converter from SourceFile::setupSampleRateConversion.
// A source is used by one thread at a time and holds no lock.
#pragma once

#include "audio/Buffer.h"
#include "audio/BufferDynamic.h"
#include "audio/dsp/Converter.h"

#include <cstddef>
#include <memory>
#include <string>

namespace mirvo::audio {

class Source {
  public:
    virtual ~Source();

    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    virtual size_t getNumChannels() const = 0;
    virtual size_t getSampleRateNative() const = 0;
    virtual void setMaxFramesPerRead(size_t maxFramesPerRead) { mMaxFramesPerRead = maxFramesPerRead; }
    // Fills buffer's channels from frame 0; returns the frames read, 0 at the end.
    virtual size_t read(Buffer* buffer) = 0;
    virtual std::string getMetaData() const { return {}; }

    // The output sample rate; the file's own until setupSampleRateConversion says otherwise.
    size_t getSampleRate() const { return mSampleRate; }
    size_t getMaxFramesPerRead() const { return mMaxFramesPerRead; }

  protected:
    explicit Source(size_t sampleRate = 0);

    // Writes up to numFramesNeeded frames into every channel of buffer from bufferFrameOffset
    // on and returns how many it wrote; 0 means the material is exhausted.
    virtual size_t performRead(Buffer* buffer, size_t bufferFrameOffset, size_t numFramesNeeded) = 0;
    // True when the decoder delivers any requested rate by itself.
    virtual bool supportsConversion() { return false; }

    std::unique_ptr<dsp::Converter> mConverter;
    BufferDynamic mConverterReadBuffer;
    size_t mSampleRate;
    size_t mMaxFramesPerRead;
};

} // namespace mirvo::audio
