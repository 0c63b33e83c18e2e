// Live input: the spectrum fed from what the desktop plays (a source of the sound server,
// by default the monitor of its default output) instead of the music. It owns the connection
// to the server and the capture node, pauses the music while it is on and resumes it where it
// was, follows the default output when it changes and falls back when its source goes away:
// to the default output's monitor, or to the music when there is none. When the server itself
// goes away it says so, plays the music, and takes live input up again when the server is back.
// Main thread only; what the server reports on its own thread is read here once a frame.
#pragma once

#include "audio/SoundServer.h"
#include "src/Notices.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace mirvo::audio {
class Context;
class FilePlayerNode;
class MonitorSpectralNode;
} // namespace mirvo::audio

namespace mirvo {

class LiveInput {
  public:
    static constexpr const char* kNoServerLine = "live input needs a running PulseAudio or PipeWire";

    // Connects to the sound server; without one, live input stays off and says so when asked
    // (and asks for a server again then).
    LiveInput(audio::Context& context, std::shared_ptr<audio::MonitorSpectralNode> monitor,
              std::shared_ptr<audio::FilePlayerNode> player, Notices& notices);
    ~LiveInput();
    LiveInput(const LiveInput&) = delete;
    LiveInput& operator=(const LiveInput&) = delete;

    // Switches live input on from `sourceName` (a source's name or description; empty: the
    // default output's monitor, followed as it changes). False, with the line on standard
    // error, when there is no server or no such source; the music then plays on.
    bool start(const std::string& sourceName = "");
    // The key: live input on from the default output's monitor, or back to the music.
    void toggle();
    void stop();
    // Once a frame: applies what the server reported since the last one.
    void update();

    bool isLive() const { return mNode != nullptr; }
    // The playback latency the server measured for this process's output, when it knows it.
    std::optional<double> getPlaybackLatency() const;
    // The capture node's dropped captures so far, over every source captured.
    uint64_t getNumOverruns() const;

    // "the sources are: NAME (DESCRIPTION), ..." for a line on standard error.
    static std::string listSources(const audio::SoundServer& server);

  private:
    void capture(const audio::SoundServer::Source& source, bool followDefault);
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
    std::shared_ptr<audio::InputDeviceNode> mNode;
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
