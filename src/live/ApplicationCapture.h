// Live input from one application alone: each of its playback streams recorded through the
// sound server's monitor of that stream, so that notification sounds, calls and the rest of
// the desktop stay out of the picture. The application is named (its name or its program's file
// name, as the server files its streams) or is the player the desktop's media controls say is
// playing. The capture follows it as it starts a stream, moves one to another output, pauses,
// quits and comes back; while it plays nothing the spectrum is silent and a notice says what it
// waits for. It records nothing else, ever: not a microphone, not a whole output.
// Main thread only.
#pragma once

#include "audio/SoundServer.h"
#include "src/Notices.h"
#include "src/PlayingPlayer.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mirvo::audio {
class Context;
class MonitorSpectralNode;
} // namespace mirvo::audio

namespace mirvo {

class ApplicationCapture {
  public:
    // Follows the application called `name`, or with `playing` the player it says (`name` is
    // then only what the notices call a player while none plays).
    ApplicationCapture(audio::Context& context, std::shared_ptr<audio::MonitorSpectralNode> monitor,
                       audio::SoundServerRef server, Notices& notices, std::string name,
                       PlayingPlayerWatch playing = {});
    ~ApplicationCapture();
    ApplicationCapture(const ApplicationCapture&) = delete;
    ApplicationCapture& operator=(const ApplicationCapture&) = delete;

    // Once a frame: takes up the application's streams that came, lets go of those that went.
    void update();

    // Any of its streams recorded now.
    bool isCapturing() const { return !mCaptures.empty(); }
    // Dropped captures so far, over every stream recorded.
    uint64_t getNumOverruns() const;

    // Whether `stream` is one of `name`'s: its name or its program's file name, in any case.
    static bool isNamed(const audio::SoundServer::Stream& stream, const std::string& name);
    // Whether process `id` is process `ancestor` or was started by it, at any remove: a player's
    // sound often comes from a helper process of its own.
    static bool descendsFrom(int64_t id, int64_t ancestor);
    // "Applications playing now, for --input=app:NAME: ..." for --list-audio-devices, one a line.
    static std::string listApplications(const audio::SoundServer& server);

  private:
    struct Capture {
        std::shared_ptr<audio::InputDeviceNode> node;
        std::string monitorName;
    };

    bool follows(const audio::SoundServer::Stream& stream) const;
    void release(Capture& capture);
    // The application's streams as the server reports them now, recorded or let go.
    void follow();
    // Says once when the application's sound starts and when it ends.
    void tell();

    audio::Context& mContext;
    std::shared_ptr<audio::MonitorSpectralNode> mMonitor;
    audio::SoundServerRef mServer;
    Notices& mNotices;
    std::string mName;
    PlayingPlayerWatch mPlaying;
    std::optional<PlayingPlayer> mPlayer;
    // By the server's number of the stream each records.
    std::map<uint32_t, Capture> mCaptures;
    // Streams whose recording the server ended while they still played (a move, on some
    // servers), with the change count then: tried again once the server reports a change.
    std::map<uint32_t, uint64_t> mEnded;
    uint64_t mChangesSeen = 0;
    bool mFirst = true;
    // What the last notice said.
    bool mTold = false;
    bool mToldCapturing = false;
    std::string mToldWho;
    uint64_t mOverrunsBefore = 0;
};

} // namespace mirvo
