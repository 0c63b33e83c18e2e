// The desktop's sound server as a source of live input: the sources it can record from (the
// monitors of its outputs among them), which output is the default one, and how late this
// process's own playback is heard. The server reports changes on a thread of its own; this
// interface only counts them, and the main thread reads what changed when it next looks, so
// nothing the server's thread does reaches the audio graph. A server that goes away (a crash,
// a restart, a new login's server) is connected to again when it answers again.
#pragma once

#include "audio/InputDeviceNode.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mirvo::audio {

class Context;

class SoundServer {
  public:
    struct Source {
        // The server's own name, unique, e.g. "alsa_output.pci-0000_00_1f.3.analog-stereo.monitor".
        std::string name;
        // The name shown to people, e.g. "Monitor of Built-in Audio"; several may share one.
        std::string description;
        // Records what an output plays rather than a microphone or line input.
        bool isMonitor = false;
    };

    // One playback stream of another program, as the server files it.
    struct Stream {
        // The server's own number for it, unique while it lives.
        uint32_t index = 0;
        // What the program calls itself, and the file it runs; empty where it did not say.
        std::string application;
        std::string binary;
        // The process that plays it; 0 where the program did not say.
        int64_t processId = 0;
        // The monitor of the output it plays on, which its own monitor is taken from.
        std::string monitorName;
        // The program has paused it: nothing comes from it.
        bool corked = false;
    };

    virtual ~SoundServer() = default;

    // Main thread: connects to the session's server without starting one; null when none
    // answers within a couple of seconds (or the build has no server support).
    static std::shared_ptr<SoundServer> connect();
    // Any thread but a server's own: whether the session's server completes a connection
    // within `timeout` and has a default output and input, as a client that lists its devices
    // on connecting relies on (one that has just started may have neither yet). A server that
    // is gone refuses at once; one that is frozen holds the caller for the whole timeout.
    static bool answers(std::chrono::milliseconds timeout);

    // Main thread: as the server last reported them.
    virtual std::vector<Source> getSources() const = 0;
    // Main thread: the monitor of the default output, looked up from the default output's own
    // record rather than a special source name; empty when there is no default output.
    virtual std::optional<Source> getDefaultMonitor() const = 0;
    // Main thread: the playback streams of every program but this one, as the server last
    // reported them.
    virtual std::vector<Stream> getStreams() const = 0;
    // Main thread: the source called `name`, or failing that the one described so.
    std::optional<Source> findSource(const std::string& name) const;

    // Any thread: counts the changes the server reported (outputs, sources, defaults, playback
    // streams) and the loss of the connection; the main thread compares it from frame to frame.
    virtual uint64_t getChangeCount() const = 0;
    // Any thread: false while the server is away. The connection is tried again every half
    // second until the server answers.
    virtual bool isConnected() const = 0;
    // Any thread: how many times the connection was made, the first one included; moves when
    // the server came back, however briefly it was away.
    virtual uint64_t getConnectionCount() const = 0;
    // Any thread: seconds from writing a sample of this process's playback stream to hearing
    // it, as the server measured it last; empty while the server has not seen that stream.
    virtual std::optional<double> getPlaybackLatency() const = 0;

    // Main thread: an input node of `numChannels` that records `source` at the context's rate
    // once connected and enabled. A source that goes away (or the server with it) leaves the
    // node silent and its isDeviceLost true.
    virtual std::shared_ptr<InputDeviceNode> makeCaptureNode(Context& context, const Source& source,
                                                             size_t numChannels = 2) = 0;
    // Main thread: an input node that records `stream` alone, none of the rest of its output,
    // through the server's monitor of that one stream. The node is lost when the stream ends
    // (or, on some servers, moves to another output).
    virtual std::shared_ptr<InputDeviceNode> makeStreamCaptureNode(Context& context, const Stream& stream,
                                                                   size_t numChannels = 2) = 0;
};

using SoundServerRef = std::shared_ptr<SoundServer>;

} // namespace mirvo::audio
