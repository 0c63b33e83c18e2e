// Writes a video file from RGBA frames and planar float audio. The container and codecs follow
// the file's extension (CommandLine::renderExtensions). Frames and audio carry no timestamps:
// frame n is at n / fps and the audio's are counted from its samples, so the two stay in sync
// by construction. Main thread only.
#pragma once

#include "core/Vec.h"
#include "src/render/RenderStats.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace mirvo::render {

// Encoding or writing failed; the message is one line for the user.
class EncodeError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A named stretch of the video, in samples of its audio: one track of an album.
struct Chapter {
    std::string title;
    std::uint64_t startSample = 0;
    std::uint64_t endSample = 0;
};

struct VideoSettings {
    // The video's name: its extension picks the container, and failures name it.
    std::string path;
    // The file the bytes go to, when not `path` itself.
    std::string filePath;
    Vec2i size{1920, 1080};
    int fps = 60;
    // Empty: the codec's default for this project.
    std::optional<int> crf;
    // H.264's speed preset; empty: the project's default.
    std::string preset;
    std::size_t sampleRate = 48000;
    std::size_t numChannels = 2;
    // The frames the whole video will hold; MP4 keeps room for their index from the start.
    std::uint64_t numFrames = 0;
    // Chapters for the containers that hold them (MP4 and Matroska); none for one song.
    std::vector<Chapter> chapters;
};

// A frame already in the form the encoders take: YUV 4:2:0 planes of size.x by size.y luma
// samples, top row first, as rgbaToYuv420 writes them.
struct YuvFrame {
    const std::uint8_t* y;
    int yStride;
    const std::uint8_t* u;
    int uStride;
    const std::uint8_t* v;
    int vStride;
};

class VideoEncoder {
  public:
    virtual ~VideoEncoder() = default;

    virtual bool hasAudio() const = 0;
    // `rgba` holds size.y rows of size.x pixels, the bottom row first (as GL reads them back).
    virtual void writeVideoFrame(const std::uint8_t* rgba) = 0;
    // The same, converted already: a writer that converts where it has the pixels saves
    // copying four bytes a pixel to convert them elsewhere.
    virtual void writeYuvFrame(const YuvFrame& frame) = 0;
    // `channels` holds numChannels pointers to `numFrames` samples each. Ignored without audio.
    virtual void writeAudio(const float* const* channels, std::size_t numFrames) = 0;
    // Drains the encoders and closes the file; what was written before a failure still plays.
    virtual void finish() = 0;
    virtual std::uint64_t getNumVideoFrames() const = 0;
    // The time spent converting, encoding and writing so far, on whichever thread did it; read
    // it on the thread that writes, or after finish.
    virtual PhaseTimes getTimes() const = 0;

    // Opens settings.filePath, or settings.path when it is empty, for writing (it must not
    // exist or may be replaced). Throws EncodeError.
    static std::unique_ptr<VideoEncoder> create(const VideoSettings& settings);
};

} // namespace mirvo::render
