// The sound server reached through libpulse (PulseAudio, or PipeWire through its PulseAudio
// service). One threaded main loop carries the connection: the server's replies and change
// events arrive on its thread, which keeps a copy of the sources, the default output's monitor
// and the other programs' playback streams under a mutex of its own and counts every change;
// the main thread reads that copy.
// The loop also measures this process's playback latency every quarter second, captures for
// InputDeviceNodePulse, and makes a new connection when the server has gone: the loop outlives
// every connection, the connection object is replaced.
#pragma once

#include "audio/SoundServer.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/thread-mainloop.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace mirvo::audio {

class PulseServer : public SoundServer, public std::enable_shared_from_this<PulseServer> {
  public:
    // Main thread: null when no server answers; waits for the first report of the sources.
    static std::shared_ptr<PulseServer> open();
    ~PulseServer() override;
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    std::vector<Source> getSources() const override;
    std::optional<Source> getDefaultMonitor() const override;
    std::vector<Stream> getStreams() const override;
    uint64_t getChangeCount() const override { return mChangeCount.load(); }
    bool isConnected() const override { return mConnected.load(); }
    uint64_t getConnectionCount() const override { return mConnectionCount.load(); }
    std::optional<double> getPlaybackLatency() const override;
    std::shared_ptr<InputDeviceNode> makeCaptureNode(Context& context, const Source& source,
                                                     size_t numChannels) override;
    std::shared_ptr<InputDeviceNode> makeStreamCaptureNode(Context& context, const Stream& stream,
                                                           size_t numChannels) override;

    // For the capture node: the loop it runs on (lock it around every call into libpulse) and,
    // with the loop locked, the connection its streams belong to, which a reconnection
    // replaces (a stream keeps a reference of its own to the one it was made on).
    pa_threaded_mainloop* getMainloop() const { return mMainloop; }
    pa_context* getContext() const { return mContext; }

  private:
    PulseServer() = default;
    bool connectAndWait();
    // Server thread (or the main thread before the loop runs): a new connection object, asked
    // to connect; false when it cannot even start to.
    bool startConnection();
    void dropConnection();

    // Server thread.
    static void contextStateCallback(pa_context* context, void* userData);
    static void subscribeCallback(pa_context* context, pa_subscription_event_type_t type, uint32_t index,
                                  void* userData);
    static void latencyTimerCallback(pa_mainloop_api* api, pa_time_event* event, const struct timeval* tv,
                                     void* userData);
    static void reconnectTimerCallback(pa_mainloop_api* api, pa_time_event* event, const struct timeval* tv,
                                       void* userData);
    static void connectTimeoutCallback(pa_mainloop_api* api, pa_time_event* event, const struct timeval* tv,
                                       void* userData);
    static void serverInfoCallback(pa_context* context, const pa_server_info* info, void* userData);
    static void sinkInfoCallback(pa_context* context, const pa_sink_info* info, int eol, void* userData);
    static void sourceInfoCallback(pa_context* context, const pa_source_info* info, int eol, void* userData);
    static void sinkInputInfoCallback(pa_context* context, const pa_sink_input_info* info, int eol,
                                      void* userData);
    static void sinkListCallback(pa_context* context, const pa_sink_info* info, int eol, void* userData);
    static void streamInfoCallback(pa_context* context, const pa_sink_input_info* info, int eol,
                                   void* userData);
    void refresh();
    // Server thread: the outputs' monitors, then the playback streams, which name the output
    // they play on by its number.
    void refreshStreams();
    void changed();
    // Server thread: the connection failed or ended; forget what it reported and try again.
    void lost();
    void scheduleReconnect();
    // Server thread: a part of the first report is in; once all of it is, the connection counts.
    void announceIfReported();

    pa_threaded_mainloop* mMainloop = nullptr;
    pa_context* mContext = nullptr;
    pa_time_event* mLatencyTimer = nullptr;
    pa_time_event* mReconnectTimer = nullptr;
    std::atomic<bool> mConnected{false};
    std::atomic<uint64_t> mChangeCount{0};
    std::atomic<uint64_t> mConnectionCount{0};
    // Server thread: the first connection gave up waiting (a server that does not answer).
    bool mFirstConnectTimedOut = false;
    // Microseconds; negative while unknown.
    std::atomic<int64_t> mPlaybackLatencyUsec{-1};

    // Written on the server thread, read on the main thread.
    mutable std::mutex mStateMutex;
    std::vector<Source> mSources;
    std::string mDefaultSink;
    std::string mDefaultMonitorName;
    std::vector<Stream> mStreams;
    // Server thread: the source and stream lists being collected, the outputs' monitors by the
    // outputs' numbers, and whether a first report is complete.
    std::vector<Source> mIncomingSources;
    std::vector<Stream> mIncomingStreams;
    std::vector<std::pair<uint32_t, std::string>> mIncomingMonitors;
    bool mSourcesReported = false;
    bool mDefaultReported = false;
    bool mStreamsReported = false;
};

} // namespace mirvo::audio
