// The desktop's media controls (media keys, "now playing" widgets): what the controller tells
// them about the music, and the commands they send back. The controller builds a MediaState
// once a frame and hands it to publish; the platform side signals what changed and calls the
// controller's own play, pause and track functions, never the audio graph. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mirvo {

enum class PlaybackStatus { PLAYING, PAUSED, STOPPED };
// What plays after the track: the next (NONE ends after the last), the queue going round
// (PLAYLIST), or the track again (TRACK).
enum class LoopStatus { NONE, PLAYLIST, TRACK };

// The track that plays, as the controls show it. Every text is valid UTF-8.
struct MediaTrack {
    // An object path, new for every track that starts, so that a listener sees a restart too.
    std::string id;
    std::string title;
    // Empty where the file has no such tag.
    std::string artist;
    std::string album;
    int64_t lengthMicros = 0;

    bool operator==(const MediaTrack&) const = default;
};

struct MediaState {
    PlaybackStatus status = PlaybackStatus::STOPPED;
    std::optional<MediaTrack> track;
    bool canGoNext = false;
    bool canGoPrevious = false;
    bool canPlay = false;
    bool canPause = false;
    bool canSeek = false;
    LoopStatus loop = LoopStatus::NONE;
    bool shuffle = false;
    // Seeks so far, and where the last one went: a listener hears of each.
    uint64_t seeks = 0;
    int64_t seekedToMicros = 0;

    bool operator==(const MediaState&) const = default;
};

// The track id of the `serial`th track started since launch.
std::string mediaTrackId(uint64_t serial);
// The track as the controls show it: the file name stands in for a missing title, the length
// comes from the frames at the source's own rate.
MediaTrack mediaTrack(uint64_t serial, const std::string& title, const std::string& artist,
                      const std::string& album, const std::string& fileName, std::size_t numFrames,
                      std::size_t sampleRate);

// The bus's names of the loop statuses, and the status a name gives (nullopt for none).
const char* loopStatusName(LoopStatus loop);
std::optional<LoopStatus> loopStatusNamed(const std::string& name);

// The names of the player's properties whose values differ between two states, in a fixed order.
std::vector<std::string> changedProperties(const MediaState& before, const MediaState& after);

// text with every byte sequence that is not a valid character replaced by U+FFFD: the bus
// refuses a message with any such string, and tags and file names come from anywhere. Code
// points the bus does not take (surrogates, above U+10FFFF, the noncharacters) count as invalid;
// NUL is dropped.
std::string validUtf8(const std::string& text);

// The local file a file: URI names ("file:///a", "file://localhost/a" or "file:/a"; percent
// escapes decoded, a query or fragment left out); nullopt for another scheme or host, a relative
// path, or a malformed escape.
std::optional<std::filesystem::path> pathFromFileUri(const std::string& uri);

class MediaControls {
  public:
    // What the controls can ask of the controller.
    struct Commands {
        std::function<void()> play;
        std::function<void()> pause;
        std::function<void()> playPause;
        std::function<void()> stop;
        std::function<void()> next;
        std::function<void()> previous;
        std::function<void()> quit;
        // Plays the file or folder as a new queue, as a drop of it does.
        std::function<void(const std::filesystem::path&)> open;
        // How far into the current track the music is, in microseconds.
        std::function<int64_t()> positionMicros;
        // Seek by an offset from the position, or to a position of the current track.
        std::function<void(int64_t)> seekBy;
        std::function<void(int64_t)> seekTo;
        std::function<void(LoopStatus)> setLoop;
        std::function<void(bool)> setShuffle;
    };

    virtual ~MediaControls() = default;

    // Once a frame: answers every request that has come in, without waiting for more.
    virtual void poll() = 0;
    // The state to show from now on; listeners hear of each property that changed.
    virtual void publish(const MediaState& state) = 0;
};

// The controls on the desktop's session bus, or null: silently where there is no session bus
// (a session without a desktop), with one line on standard error where the bus refuses Mirvo.
std::unique_ptr<MediaControls> openMediaControls(MediaControls::Commands commands);

} // namespace mirvo
