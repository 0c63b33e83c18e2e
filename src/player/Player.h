// The player: the queue, the transport (play, pause, stop, next, previous, the end of a track
// and the gapless hand-off to the track queued after it), the track that plays and its tags.
// Every front end (keys, drops, the desktop's media controls, the command line) drives it
// through these commands; it drives the file player node. Folders are walked and files opened
// on its loader's worker, never on the main thread; the commands return at once and what they
// load takes effect at a later update. Its state is cheap to read every frame. Main thread.
#pragma once

#include "src/Notices.h"
#include "src/player/PlayQueue.h"
#include "src/player/TrackLoader.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace mirvo::audio {
class FilePlayerNode;
class SourceFile;
} // namespace mirvo::audio

namespace mirvo {

class Player {
  public:
    enum class Status { PLAYING, PAUSED, STOPPED };
    // What plays after a track: the next one (the queue ends after its last), the next one with
    // the queue going round, or the same track again.
    enum class Repeat { OFF, QUEUE, TRACK };

    // The track that plays, as its file tells it.
    struct Track {
        // 1 for the first track started, then one more for every start, restarts included.
        uint64_t serial = 0;
        std::string title;
        std::string artist;
        std::string album;
        std::string fileName;
        std::size_t numFrames = 0;
        std::size_t sampleRate = 0;
    };

    // A failure at start-up, already phrased for a person.
    class StartupError : public std::runtime_error {
      public:
        using std::runtime_error::runtime_error;
    };

    // Notices tell of each track that starts and of files that could not be played. repeat is
    // the queue's.
    Player(Notices& notices, bool repeat, bool shuffle);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // The node the transport drives. Without one (a controller under test) the queue still
    // moves and nothing plays.
    void setNode(std::shared_ptr<audio::FilePlayerNode> node);
    // What the music's return asks of the rest: live input ends, as the D key ends it.
    void setLiveInputEnder(std::function<void()> endLiveInput) { mEndLiveInput = std::move(endLiveInput); }
    // The output's latency in seconds, taken off the position so that it tells what is heard.
    void setOutputLatency(std::function<double()> seconds) { mOutputLatency = std::move(seconds); }

    // Start-up, before there is a node: the queue of `given` and its first playable track,
    // opened at sampleRate on this thread. Throws StartupError when nothing in it plays.
    std::shared_ptr<audio::SourceFile> openFirst(const std::vector<std::string>& given,
                                                 std::size_t sampleRate);
    // Start-up: the music that plays without a queue.
    void announce(const audio::SourceFile& source, const std::string& fileName);
    // Once the node plays the start-up track: the next one is opened to follow it.
    void started();

    // A drop, or Open from the desktop: the files and folders become the queue once its first
    // playable file is open, and it plays from its start. A drop in which nothing plays keeps
    // the queue that plays.
    void open(std::vector<std::filesystem::path> paths);
    // The N and P keys: the next track, or the one before within the first seconds of a track
    // (else the track again). The last track without repeat has no next one. With keepStatus
    // (the desktop's Next and Previous) a paused or stopped player stays so on the new track.
    void next(bool keepStatus = false);
    void previous(bool keepStatus = false);
    // Play after a stop, or after the end of the queue, starts the track (the queue) again.
    void play();
    void pause();
    void playPause();
    // The Space key: pauses, or goes on from where the music is.
    void togglePause();
    void stop();

    // The arrow keys and the desktop's Seek: offsetMicros from what is heard now. Before the
    // track's start it goes to the start; past its end the track ends there and what follows an
    // end follows. A stopped player does not move.
    void seekBy(int64_t offsetMicros);
    // The desktop's SetPosition: micros into the current track; outside the track nothing moves.
    void seekTo(int64_t micros);
    // Whether a seek would move: a track is loaded and not stopped.
    bool canSeek() const;
    // Every seek counts one, with where it went, so that the desktop hears of each.
    uint64_t getNumSeeks() const { return mNumSeeks; }
    int64_t getSeekedToMicros() const { return mSeekedToMicros; }

    // --repeat, --shuffle, the keys and the desktop's LoopStatus and Shuffle: the track that plays
    // plays on, and what follows it changes.
    void setRepeat(Repeat repeat);
    Repeat getRepeat() const { return mRepeat; }
    // The R key: off, then the queue, then the track, then off again.
    void cycleRepeat();
    void setShuffle(bool shuffle);
    bool isShuffled() const { return mShuffle; }
    // The transport's keys: Space, N, P, R, X and the plain arrows (5 s, 30 s with Shift). False
    // for a key that is not the player's.
    bool takeKey(int code, bool shift);

    // Once a frame, `now` in the application's seconds: what was loaded meanwhile, and the end
    // of a track or its hand-off to the next.
    void update(float now);
    // Waits for everything being loaded and takes it in; for tests.
    void finishLoading();
    // Whether a drop, a folder walk or a track's opening is under way on the loader's thread.
    bool isLoading() const { return mLoader.pending() > 0; }

    Status getStatus() const;
    // Null before the first track.
    const Track* getTrack() const { return mTrack ? &*mTrack : nullptr; }
    bool canGoNext() const { return mCanGoNext; }
    bool canGoPrevious() const { return !mQueue.empty(); }
    // How far into the current track the music heard is.
    int64_t getPositionMicros() const;
    const PlayQueue& getQueue() const { return mQueue; }
    std::size_t getNumTracksStarted() const { return mTrack ? mTrack->serial : 0; }

  private:
    struct Failed {
        std::filesystem::path path;
        std::string forLog;
        std::string forNotice;
    };
    struct Opened {
        std::shared_ptr<audio::SourceFile> source;
        std::vector<Failed> failures;
    };

    // On the worker: opens queue's track `index`, or the first playable one after it; what
    // does not open is left out of the queue from then on.
    static Opened openFrom(PlayQueue& queue, std::optional<std::size_t> index, std::size_t sampleRate);
    // Moves a copy of the queue with `step` and opens the track it lands on, on the worker.
    void move(std::function<std::optional<std::size_t>(PlayQueue&)> step, bool keepStatus = false);
    void takeMove(PlayQueue& queue, const Opened& opened, uint64_t generation, std::optional<Status> keep);
    void takeOpen(const std::vector<std::filesystem::path>& paths, PlayQueue& queue, const Opened& opened,
                  uint64_t generation);
    // Lines on standard error, one a file, and the count for the next frame's notice.
    void report(const std::vector<Failed>& failures, bool count);
    void playSource(const std::shared_ptr<audio::SourceFile>& source, const std::string& fileName);
    // Opens the track after the current one for the node to follow without a gap (with track
    // repeat, the same track again).
    void queueAhead();
    // Takes in a hand-off the node made, or the end it reached: the queue moves on, or the track
    // repeats.
    void followNode();
    // Moves what is heard to frame of the current track.
    void jumpTo(std::size_t frame, int64_t micros);
    // The track again from its start, as the same file, told as a new start.
    void repeatTrack();
    // What follows the current track changed: the file queued after it is queued again.
    void requeue();
    void queueChanged();
    PlayQueue::Options queueOptions() const;

    Notices& mNotices;
    Repeat mRepeat;
    bool mShuffle;
    std::function<double()> mOutputLatency;
    uint64_t mNumSeeks = 0;
    int64_t mSeekedToMicros = 0;
    // The file queued ahead is the current track again: its hand-off repeats, not moves on.
    bool mAheadIsRepeat = false;
    std::shared_ptr<audio::FilePlayerNode> mNode;
    std::function<void()> mEndLiveInput;
    PlayQueue mQueue;
    bool mCanGoNext = false;
    std::optional<Track> mTrack;
    // Stopped by a command: play starts the track again from its beginning.
    bool mStopped = false;
    float mNow = 0.0f;
    // The application time at which the current track started, for the previous key.
    float mTrackStartTime = 0.0f;
    // The hand-offs to a queued track seen so far, so that each moves the queue on once.
    uint64_t mHandoffsSeen = 0;
    // The track handed to the node to follow, for its notice once it plays.
    std::shared_ptr<audio::SourceFile> mAheadSource;
    // A track the reader has moved on to, told (notice, the desktop's data) once the node plays
    // its first frame: the rings still hold the end of the one before for up to half a second.
    struct Followed {
        std::shared_ptr<audio::SourceFile> source;
        std::string fileName;
        uint64_t handoff = 0;
    };
    std::optional<Followed> mFollowed;
    void announceFollowedOnceHeard();
    // Every command that moves the queue starts a new generation; what was loaded for an
    // older one is told and dropped.
    uint64_t mGeneration = 0;
    // Drops and moves being loaded: meanwhile the end of a track waits, and the keys do not
    // move a queue about to be replaced.
    std::size_t mOpening = 0;
    std::size_t mMoving = 0;
    std::size_t mSkippedSinceLastFrame = 0;
    // Last, so that its worker ends before what its results touch.
    TrackLoader mLoader;
};

} // namespace mirvo
