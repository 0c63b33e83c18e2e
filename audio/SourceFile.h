// A decoded audio file read in blocks at the graph's sample rate, and `load`, which picks the
// decoder for a data source. Positions and lengths are 64-bit frame counts throughout, so
// files longer than 2^31 frames work. Used by one thread at a time: the file player's read
// thread, or the thread that loads a whole buffer.
#pragma once

#include "audio/Exception.h"
#include "audio/Source.h"
#include "core/DataSource.h"

#include <cstdint>
#include <memory>
#include <string>

namespace mirvo::audio {

class SourceFile;
using SourceFileRef = std::shared_ptr<SourceFile>;

class SourceFile : public Source {
  public:
    size_t read(Buffer* buffer) override;

    // A new decoder of the same kind on the same data source, delivering sampleRate.
    virtual SourceFileRef cloneWithSampleRate(size_t sampleRate) const = 0;
    // Sets the output length and, where the decoder cannot resample, makes the converter.
    virtual void setupSampleRateConversion();

    // Positions the source at an output frame; a frame at or beyond a known end is ignored.
    void seek(size_t frame);
    // The whole file at the output rate, read from frame 0 whatever the position was.
    BufferRef loadBuffer();
    // Decodes to the end where the length is only an estimate, so that getNumFrames becomes the
    // true length, and returns to the first frame. A decoder failure on the way ends the
    // material there, as it would end playback. Returns the length.
    size_t measureNumFrames();

    // The length in output frames: the true one when isNumFramesKnown, otherwise what the
    // container states or estimates, raised as reading passes it.
    size_t getNumFrames() const { return mNumFrames; }
    size_t getFileNumFrames() const { return mFileNumFrames; }
    // A container's length is a claim: a VBR MP3 without a header holds more or less than its
    // estimate, a stream written to a pipe states none. Reads then go on to the decoder's end,
    // which makes the length known.
    bool isNumFramesKnown() const { return mNumFramesKnown; }
    // The output frame the next read starts at.
    size_t getReadPosition() const { return mReadPos; }
    // What the file's tags call the music; empty where it has no such tag.
    const std::string& getTitle() const { return mTitle; }
    const std::string& getArtist() const { return mArtist; }
    const std::string& getAlbum() const { return mAlbum; }

  protected:
    explicit SourceFile(size_t sampleRate) : Source(sampleRate) {}

    virtual void performSeek(size_t fileFrame) = 0;

    size_t mNumFrames = 0;
    size_t mFileNumFrames = 0;
    size_t mReadPos = 0;
    // File frames consumed by converting reads; lets a converting read find the end of the
    // file whichever way the two rates differ.
    size_t mFileReadPos = 0;
    // Set by a decoder whose container states its length exactly; the end of reading sets it.
    bool mNumFramesKnown = true;

    // Filled in by the decoder at open.
    std::string mTitle;
    std::string mArtist;
    std::string mAlbum;

  private:
    // The decoder gave nothing more: what has been read is the length.
    void endReached();

    // A converting read found the file's end; only the converter's tail is left.
    bool mFileEnded = false;
    // A seek went past every frame read so far on a length that is not known: the position the
    // end is met at then says nothing of the length.
    bool mPositionUncertain = false;
};

// Formats outside these bounds are refused at open: a damaged or crafted header could otherwise
// make the resampler or the player's rings allocate gigabytes.
constexpr size_t kMinFileSampleRate = 1000;
constexpr size_t kMaxFileSampleRate = 768000;
constexpr size_t kMaxFileChannels = 64;

// Opens dataSource with the Ogg Vorbis decoder when its file name ends in exactly ".ogg" and
// with the platform decoder otherwise, or when the Vorbis decoder cannot open it (Opus in Ogg);
// sampleRate 0 keeps the file's own rate. Throws AudioFileExc when the file cannot be opened or
// holds no audio stream; a file named .ogg that neither opens keeps the Vorbis decoder's message.
std::unique_ptr<SourceFile> load(const DataSourceRef& dataSource, size_t sampleRate = 0);

// Why the file at `path` cannot even be read: missing, a folder, not a regular file, not
// readable, or empty. UNKNOWN when it is a readable regular file with something in it, so
// that whatever failed lies in its content. The decoders give this to their exceptions.
AudioFileExc::Reason diagnosePath(const std::string& path);

// The text after the last '.' of the path's file name; empty for none, "." and "..".
std::string fileExtension(const std::string& path);

} // namespace mirvo::audio
