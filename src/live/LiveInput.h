// Live input: the spectrum fed from what the desktop plays (a source of the sound server,
// by default the monitor of its default output) instead of the music. It owns the connection
// to the server and the capture node, pauses the music while it is on and resumes it where it
// was, follows the default output when it changes and falls back when its source goes away:
// to the default output's monitor, or to the music when there is none. When the server itself
// goes away it says so, plays the music, and takes live input up again when the server is back.
// Live input may also follow one application alone (ApplicationCapture), which never falls back.
// Main thread only; what the server reports on its own thread is read here once a frame.
#pragma once

#include "audio/SoundServer.h"
#include "src/Notices.h"
#include "src/PlayingPlayer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace mirvo::audio {
class Context;
class FilePlayerNode;
class MonitorSpectralNode;
} // namespace mirvo::audio

namespace mirvo {

class ApplicationCapture;

class LiveInput {
  public:
    static constexpr const char* kNoServerLine = "live input needs a running PulseAudio or PipeWire";

    // What --input takes to follow one application rather than a source.
    static constexpr const char* kApplicationPrefix = "app:";
    static constexpr const char* kPlaying = "playing";

    // Connects to the sound server; without one, live input stays off and says so when asked
    // (and asks for a server again then). `watchPlaying` opens the watch on the desktop's
    // players that --input=playing follows, when first asked to.
    LiveInput(audio::Context& context, std::shared_ptr<audio::MonitorSpectralNode> monitor,
              std::shared_ptr<audio::FilePlayerNode> player, Notices& notices,
              std::function<PlayingPlayerWatch()> watchPlaying = {});
    ~LiveInput();
    LiveInput(const LiveInput&) = delete;
    LiveInput& operator=(const LiveInput&) = delete;

    // Switches live input on from `sourceName` (a source's name or description; empty: the
    // default output's monitor, followed as it changes; "app:NAME" or "playing": one
    // application). False, with the line on standard error, when there is no server or no such
    // source; the music then plays on.
    bool start(const std::string& sourceName = "");
    // The key: live input on from the default output's monitor (or the application asked for
    // at start), or back to the music.
    void toggle();
    void stop();
    // Once a frame: applies what the server reported since the last one.
    void update();

    bool isLive() const { return mNode != nullptr || mApplication != nullptr; }
    // Whether --input's value follows an application rather than naming a source.
    static bool followsApplication(const std::string& input);
    // The playback latency the server measured for this process's output, when it knows it.
    std::optional<double> getPlaybackLatency() const;
    // The capture node's dropped captures so far, over every source captured.
    uint64_t getNumOverruns() const;

    // "the sources are: NAME (DESCRIPTION), ..." for a line on standard error.
    static std::string listSources(const audio::SoundServer& server);

  private:
    void capture(const audio::SoundServer::Source& source, bool followDefault);
    // "app:NAME" or "playing": false, with the line, where the desktop has no players to watch.
    bool captureApplication(const std::string& input);
    // Pauses the music, unless live input is on already.
    void enterLive();
    void releaseNode();
    // The source went away: the default monitor, else the music.
    void fallBack(const std::string& why);
    // Once a frame: tells the server's going and coming back.
    void watchConnection();
    // Once a frame: live input that the server's going ended, taken up again once the server
    // is back and has the source (or a default output) again.
    void resumeAfterServerReturn();

    audio::Context& mContext;
    std::shared_ptr<audio::MonitorSpectralNode> mMonitor;
    std::shared_ptr<audio::FilePlayerNode> mPlayer;
    Notices& mNotices;
    audio::SoundServerRef mServer;
    std::function<PlayingPlayerWatch()> mWatchPlaying;
    PlayingPlayerWatch mPlayingWatch;
    std::shared_ptr<audio::InputDeviceNode> mNode;
    std::unique_ptr<ApplicationCapture> mApplication;
    // The application live input follows, as --input gave it; the key takes it up again.
    std::string mApplicationInput;
    audio::SoundServer::Source mSource;
    bool mFollowDefault = false;
    bool mPlayerWasEnabled = false;
    bool mNoticesWerePaused = false;
    uint64_t mChangesSeen = 0;
    uint64_t mOverrunsBefore = 0;
    uint64_t mConnectionsSeen = 0;
    bool mServerAway = false;
    // Live input was on when the server went away: what to capture when it is back (a source
    // name, or empty for the default output's monitor).
    std::optional<std::string> mResumeSource;
};

} // namespace mirvo
