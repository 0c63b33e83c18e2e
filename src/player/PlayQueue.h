// The play queue: the files a command line or a drop names, with its folders walked, in the
// order they play, and the rules for moving through them (end of a track, next, previous,
// repeat, shuffle). It knows paths only; opening a track is the caller's, one track at a time,
// so that a folder of thousands of files costs no more to start than one file. Main thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mirvo {

// True when a sorts before b with runs of digits compared as numbers ("2 x" before "10 x"),
// letters compared without case, and the exact text deciding between names equal otherwise.
bool naturalLess(const std::string& a, const std::string& b);

// Whether a file found in a folder looks like audio by its extension. Files named one by one
// are tried whatever their name, so that their failure is reported.
bool hasAudioExtension(const std::filesystem::path& path);

// The files named by paths, in order: files as they are, folders replaced by the audio files
// under them, recursively and in natural order of name. A folder reached again through a link
// is not walked twice, so a link loop ends. Paths that do not exist are kept, for the opening to
// report them.
std::vector<std::filesystem::path> collectTracks(const std::vector<std::filesystem::path>& paths);

class PlayQueue {
  public:
    struct Options {
        bool repeat = false;
        bool shuffle = false;
        uint32_t seed = 0;
    };

    // Previous within this long from a track's start goes to the track before; later it restarts.
    static constexpr double kRestartSeconds = 3.0;

    PlayQueue() = default;
    PlayQueue(std::vector<std::filesystem::path> tracks, Options options);

    bool empty() const { return mTracks->empty(); }
    std::size_t size() const { return mTracks->size(); }
    const std::vector<std::filesystem::path>& getTracks() const { return *mTracks; }

    // The track playing, as an index into getTracks(); nullopt before the first and after the end.
    std::optional<std::size_t> current() const;
    const std::filesystem::path& currentPath() const { return mTracks->at(*current()); }

    // Moves to the first track to play and returns it; nullopt for an empty queue.
    std::optional<std::size_t> start();
    // The track after the current one in playing order, without moving: the one to open ahead.
    // With repeat the queue goes round (with shuffle, in a fresh order); nullopt at the end without.
    // It looks no further than the next playable track, but for the start of a fresh shuffled round.
    std::optional<std::size_t> peekNext() const;
    // Moves on to the track after the current one (the end of a track, or the next key).
    // nullopt at the end of the queue without repeat; the queue then has no current track.
    std::optional<std::size_t> next();
    // The previous key, `secondsPlayed` into the current track: the track before it within the
    // first seconds (the first track restarts), else the current one again.
    std::optional<std::size_t> previous(double secondsPlayed);
    // Repeat and shuffle changed while the queue plays: the current track stays current. Shuffle
    // on plays every other track after it in a fresh order; off goes on from it in the files'
    // order.
    void setRepeat(bool repeat) { mOptions.repeat = repeat; }
    void setShuffle(bool shuffle, uint32_t seed);
    const Options& getOptions() const { return mOptions; }

    // A track that cannot be played is left out of the order from now on, and the queue moves on.
    std::optional<std::size_t> skipUnplayable();
    // The same for a track found unplayable ahead of time; the queue stays where it is.
    void markUnplayable(std::size_t track);

  private:
    void makeOrder();
    std::size_t playable() const;

    // Shared by copies: a copy of the queue costs its order, not its paths.
    std::shared_ptr<const std::vector<std::filesystem::path>> mTracks =
        std::make_shared<const std::vector<std::filesystem::path>>();
    std::vector<bool> mUnplayable;
    std::size_t mNumPlayable = 0;
    // Playing order as indices into mTracks, and the position in it.
    std::vector<std::size_t> mOrder;
    std::optional<std::size_t> mPosition;
    Options mOptions;
    uint32_t mRound = 0;
};

} // namespace mirvo
