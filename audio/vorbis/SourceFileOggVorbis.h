// The Ogg Vorbis decoder on libvorbisfile. A file path is opened directly; any other data
// source is read through its input stream. Used by one thread at a time.
#pragma once

#include "audio/SourceFile.h"
#include "core/Stream.h"

#include <memory>
#include <string>

namespace mirvo::audio {

class SourceFileOggVorbis : public SourceFile {
  public:
    // Throws AudioFileExc "Failed to open Ogg Vorbis file with error: ", with the reason, when
    // the data is not an Ogg Vorbis stream.
    SourceFileOggVorbis(const DataSourceRef& dataSource, size_t sampleRate);
    ~SourceFileOggVorbis() override;

    size_t getNumChannels() const override { return mNumChannels; }
    size_t getSampleRateNative() const override { return mNativeSampleRate; }
    // "encoded by: " and the vendor, "comments: ", then one user comment a line.
    std::string getMetaData() const override;
    SourceFileRef cloneWithSampleRate(size_t sampleRate) const override;

  protected:
    // Throws AudioFileExc "ov_read_float error" on corrupt data; frames read before stay.
    size_t performRead(Buffer* buffer, size_t bufferFrameOffset, size_t numFramesNeeded) override;
    void performSeek(size_t fileFrame) override;

  private:
    struct State;

    std::unique_ptr<State> mState;
    DataSourceRef mDataSource;
    std::shared_ptr<IStreamMirvo> mStream;
    size_t mNumChannels = 0;
    size_t mNativeSampleRate = 0;
};

} // namespace mirvo::audio
