#include "audio/pulse/PulseServer.h"

#include "audio/Context.h"
#include "audio/pulse/InputDeviceNodePulse.h"

#include <pulse/introspect.h>
#include <pulse/mainloop-api.h>
#include <pulse/mainloop.h>
#include <pulse/proplist.h>
#include <pulse/subscribe.h>
#include <pulse/timeval.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace mirvo::audio {

namespace {

// The RtAudio output names its playback stream so; the server files it as the application name.
constexpr const char* kPlaybackStreamName = "Mirvo";
constexpr pa_usec_t kLatencyPollUsec = 250 * 1000;
// How often a server that went away is tried again: its return is seen within this.
constexpr pa_usec_t kReconnectUsec = 500 * 1000;
// How long the first connection may take before the program goes on without a server.
constexpr pa_usec_t kFirstConnectUsec = 3 * 1000 * 1000;

} // namespace

std::shared_ptr<SoundServer> SoundServer::connect()
{
    return PulseServer::open();
}

namespace {

// What SoundServer::answers learns from the server's own report.
struct ServerReport {
    bool reported = false;
    bool hasDefaults = false;
};

void probeServerInfo(pa_context*, const pa_server_info* info, void* userData)
{
    auto* report = static_cast<ServerReport*>(userData);
    report->reported = true;
    report->hasDefaults = info && info->default_sink_name && info->default_source_name;
}

} // namespace

bool SoundServer::answers(std::chrono::milliseconds timeout)
{
    // A loop of our own, run on this thread: the answer is wanted here and now, and a server
    // that never finishes the handshake must cost no more than the timeout.
    pa_mainloop* loop = pa_mainloop_new();
    if (!loop) {
        return false;
    }
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "Mirvo");
    ServerReport report;
    bool asked = false;
    if (context && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!report.reported) {
            const pa_context_state_t state = pa_context_get_state(context);
            if (state == PA_CONTEXT_READY && !asked) {
                asked = true;
                if (pa_operation* op = pa_context_get_server_info(context, &probeServerInfo, &report)) {
                    pa_operation_unref(op);
                }
            }
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
                deadline - std::chrono::steady_clock::now());
            if (!PA_CONTEXT_IS_GOOD(state) || left.count() <= 0) {
                break;
            }
            if (pa_mainloop_prepare(loop, static_cast<int>(left.count())) < 0 || pa_mainloop_poll(loop) < 0 ||
                pa_mainloop_dispatch(loop) < 0) {
                break;
            }
        }
    }
    if (context) {
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
    pa_mainloop_free(loop);
    return report.hasDefaults;
}

std::shared_ptr<PulseServer> PulseServer::open()
{
    std::shared_ptr<PulseServer> server(new PulseServer());
    if (!server->connectAndWait()) {
        return nullptr;
    }
    return server;
}

bool PulseServer::connectAndWait()
{
    mMainloop = pa_threaded_mainloop_new();
    if (!mMainloop) {
        return false;
    }
    // The loop does not run yet, so nothing else touches the connection.
    if (!startConnection()) {
        return false;
    }
    pa_threaded_mainloop_lock(mMainloop);
    if (pa_threaded_mainloop_start(mMainloop) < 0) {
        pa_threaded_mainloop_unlock(mMainloop);
        return false;
    }
    // A server that takes the connection but never answers (a stopped process) must not hold
    // the program's start.
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(mMainloop);
    timeval deadline{};
    pa_timeval_add(pa_gettimeofday(&deadline), kFirstConnectUsec);
    pa_time_event* timeout = api->time_new(api, &deadline, &PulseServer::connectTimeoutCallback, this);
    // The connection counts as made once its first report of the sources and the default
    // output is in; a failure on the way ends the wait too.
    while (!mConnected.load() && !mFirstConnectTimedOut && mContext &&
           PA_CONTEXT_IS_GOOD(pa_context_get_state(mContext))) {
        pa_threaded_mainloop_wait(mMainloop);
    }
    api->time_free(timeout);
    const bool connected = mConnected.load();
    pa_threaded_mainloop_unlock(mMainloop);
    return connected;
}

bool PulseServer::startConnection()
{
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Mirvo");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "mirvo");
    mContext = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(mMainloop), "Mirvo", properties);
    pa_proplist_free(properties);
    if (!mContext) {
        return false;
    }
    mSourcesReported = false;
    mDefaultReported = false;
    mStreamsReported = false;
    pa_context_set_state_callback(mContext, &PulseServer::contextStateCallback, this);
    // A visualizer must not start a sound server of its own where none runs.
    if (pa_context_connect(mContext, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        dropConnection();
        return false;
    }
    return true;
}

void PulseServer::dropConnection()
{
    if (!mContext) {
        return;
    }
    pa_context_set_state_callback(mContext, nullptr, nullptr);
    pa_context_set_subscribe_callback(mContext, nullptr, nullptr);
    pa_context_disconnect(mContext);
    pa_context_unref(mContext);
    mContext = nullptr;
}

PulseServer::~PulseServer()
{
    if (!mMainloop) {
        return;
    }
    pa_threaded_mainloop_stop(mMainloop);
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(mMainloop);
    if (mLatencyTimer) {
        api->time_free(mLatencyTimer);
    }
    if (mReconnectTimer) {
        api->time_free(mReconnectTimer);
    }
    dropConnection();
    pa_threaded_mainloop_free(mMainloop);
}

void PulseServer::contextStateCallback(pa_context* context, void* userData)
{
    auto* self = static_cast<PulseServer*>(userData);
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_READY) {
        pa_context_set_subscribe_callback(context, &PulseServer::subscribeCallback, self);
        const auto mask = static_cast<pa_subscription_mask_t>(
            PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER |
            PA_SUBSCRIPTION_MASK_SINK_INPUT);
        if (pa_operation* op = pa_context_subscribe(context, mask, nullptr, nullptr)) {
            pa_operation_unref(op);
        }
        // The connection counts once this first report is in (announceIfReported).
        self->refresh();
        self->refreshStreams();
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(self->mMainloop);
        if (!self->mLatencyTimer) {
            self->mLatencyTimer = api->time_new(api, nullptr, &PulseServer::latencyTimerCallback, self);
        }
        timeval now{};
        api->time_restart(self->mLatencyTimer, pa_timeval_add(pa_gettimeofday(&now), kLatencyPollUsec));
    } else if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) {
        // The server went away (or never answered): whoever waits must learn it now.
        self->lost();
    }
    pa_threaded_mainloop_signal(self->mMainloop, 0);
}

void PulseServer::lost()
{
    mConnected = false;
    mPlaybackLatencyUsec = -1;
    {
        // What the old server reported says nothing of the next one.
        const std::lock_guard<std::mutex> lock(mStateMutex);
        mSources.clear();
        mDefaultSink.clear();
        mDefaultMonitorName.clear();
        mStreams.clear();
    }
    mIncomingSources.clear();
    mIncomingStreams.clear();
    mIncomingMonitors.clear();
    changed();
    scheduleReconnect();
}

void PulseServer::scheduleReconnect()
{
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(mMainloop);
    timeval when{};
    pa_timeval_add(pa_gettimeofday(&when), kReconnectUsec);
    if (mReconnectTimer) {
        api->time_restart(mReconnectTimer, &when);
    } else {
        mReconnectTimer = api->time_new(api, &when, &PulseServer::reconnectTimerCallback, this);
    }
}

void PulseServer::reconnectTimerCallback(pa_mainloop_api*, pa_time_event*, const struct timeval*,
                                         void* userData)
{
    // Not from the failed connection's own callback: the object is let go here, outside it.
    auto* self = static_cast<PulseServer*>(userData);
    self->dropConnection();
    if (!self->startConnection()) {
        self->scheduleReconnect();
    }
}

void PulseServer::connectTimeoutCallback(pa_mainloop_api*, pa_time_event*, const struct timeval*,
                                         void* userData)
{
    auto* self = static_cast<PulseServer*>(userData);
    self->mFirstConnectTimedOut = true;
    pa_threaded_mainloop_signal(self->mMainloop, 0);
}

void PulseServer::announceIfReported()
{
    if (!mConnected.load() && mSourcesReported && mDefaultReported && mStreamsReported) {
        mConnected = true;
        mConnectionCount.fetch_add(1);
    }
    changed();
    pa_threaded_mainloop_signal(mMainloop, 0);
}

void PulseServer::subscribeCallback(pa_context*, pa_subscription_event_type_t type, uint32_t, void* userData)
{
    // Any change to an output, a source or the server's defaults: read the whole picture
    // again. Such events are rare, and a partial update could miss a default that moved.
    // Playback streams come and go more often, and change nothing else.
    auto* self = static_cast<PulseServer*>(userData);
    const auto facility =
        static_cast<pa_subscription_event_type_t>(type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK);
    if (facility != PA_SUBSCRIPTION_EVENT_SINK_INPUT) {
        self->refresh();
    }
    if (facility == PA_SUBSCRIPTION_EVENT_SINK_INPUT || facility == PA_SUBSCRIPTION_EVENT_SINK) {
        self->refreshStreams();
    }
}

void PulseServer::changed()
{
    mChangeCount.fetch_add(1);
}

void PulseServer::refresh()
{
    // Server thread. Sources and the default output are asked for together; the count moves
    // when each answer is in, so the main thread sees a change only with its answer.
    if (pa_operation* op = pa_context_get_server_info(mContext, &PulseServer::serverInfoCallback, this)) {
        pa_operation_unref(op);
    }
    if (pa_operation* op =
            pa_context_get_source_info_list(mContext, &PulseServer::sourceInfoCallback, this)) {
        pa_operation_unref(op);
    }
}

void PulseServer::serverInfoCallback(pa_context* context, const pa_server_info* info, void* userData)
{
    auto* self = static_cast<PulseServer*>(userData);
    const std::string sink = info && info->default_sink_name ? info->default_sink_name : "";
    {
        const std::lock_guard<std::mutex> lock(self->mStateMutex);
        self->mDefaultSink = sink;
    }
    // The monitor is read from the default output's own record: the special name for "the
    // default monitor" resolves wrongly on some servers, or only once.
    pa_operation* op = sink.empty() ? nullptr
                                    : pa_context_get_sink_info_by_name(context, sink.c_str(),
                                                                       &PulseServer::sinkInfoCallback, self);
    if (op) {
        pa_operation_unref(op);
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(self->mStateMutex);
        self->mDefaultMonitorName.clear();
    }
    self->mDefaultReported = true;
    self->announceIfReported();
}

void PulseServer::sinkInfoCallback(pa_context*, const pa_sink_info* info, int eol, void* userData)
{
    auto* self = static_cast<PulseServer*>(userData);
    if (eol == 0) {
        if (info) {
            const std::lock_guard<std::mutex> lock(self->mStateMutex);
            self->mDefaultMonitorName = info->monitor_source_name ? info->monitor_source_name : "";
        }
        return;
    }
    if (eol < 0) {
        // The default output went away between the two questions; the next event asks again.
        const std::lock_guard<std::mutex> lock(self->mStateMutex);
        self->mDefaultMonitorName.clear();
    }
    self->mDefaultReported = true;
    self->announceIfReported();
}

void PulseServer::sourceInfoCallback(pa_context*, const pa_source_info* info, int eol, void* userData)
{
    auto* self = static_cast<PulseServer*>(userData);
    if (eol == 0) {
        if (info && info->name) {
            Source source;
            source.name = info->name;
            source.description = info->description ? info->description : info->name;
            source.isMonitor = info->monitor_of_sink != PA_INVALID_INDEX;
            self->mIncomingSources.push_back(std::move(source));
        }
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(self->mStateMutex);
        self->mSources = std::move(self->mIncomingSources);
    }
    // Replies come in order, so the next list starts after this one's end.
    self->mIncomingSources.clear();
    self->mSourcesReported = true;
    self->announceIfReported();
}

void PulseServer::refreshStreams()
{
    // Server thread. Replies come in the order asked, so the monitors are in before the streams.
    if (pa_operation* op = pa_context_get_sink_info_list(mContext, &PulseServer::sinkListCallback, this)) {
        pa_operation_unref(op);
    }
    if (pa_operation* op =
            pa_context_get_sink_input_info_list(mContext, &PulseServer::streamInfoCallback, this)) {
        pa_operation_unref(op);
    }
}

void PulseServer::sinkListCallback(pa_context*, const pa_sink_info* info, int eol, void* userData)
{
    auto* self = static_cast<PulseServer*>(userData);
    if (eol == 0 && info && info->monitor_source_name) {
        self->mIncomingMonitors.emplace_back(info->index, info->monitor_source_name);
    }
}

void PulseServer::streamInfoCallback(pa_context*, const pa_sink_input_info* info, int eol, void* userData)
{
    auto* self = static_cast<PulseServer*>(userData);
    if (eol == 0) {
        if (!info) {
            return;
        }
        const char* pid =
            info->proplist ? pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_PROCESS_ID) : nullptr;
        const char* name =
            info->proplist ? pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_NAME) : nullptr;
        const char* binary =
            info->proplist ? pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_PROCESS_BINARY) : nullptr;
        Stream stream;
        stream.index = info->index;
        stream.application = name ? name : "";
        stream.binary = binary ? binary : "";
        stream.processId = pid ? std::strtoll(pid, nullptr, 10) : 0;
        stream.corked = info->corked != 0;
        // This process's own music is never what a person asks to see from outside.
        if (stream.processId == static_cast<int64_t>(getpid())) {
            return;
        }
        for (const auto& [sink, monitor] : self->mIncomingMonitors) {
            if (sink == info->sink) {
                stream.monitorName = monitor;
            }
        }
        self->mIncomingStreams.push_back(std::move(stream));
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(self->mStateMutex);
        self->mStreams = std::move(self->mIncomingStreams);
    }
    self->mIncomingStreams.clear();
    self->mIncomingMonitors.clear();
    self->mStreamsReported = true;
    self->announceIfReported();
}

void PulseServer::latencyTimerCallback(pa_mainloop_api* api, pa_time_event* event, const struct timeval*,
                                       void* userData)
{
    auto* self = static_cast<PulseServer*>(userData);
    if (self->mConnected.load()) {
        if (pa_operation* op = pa_context_get_sink_input_info_list(
                self->mContext, &PulseServer::sinkInputInfoCallback, self)) {
            pa_operation_unref(op);
        }
    }
    timeval now{};
    api->time_restart(event, pa_timeval_add(pa_gettimeofday(&now), kLatencyPollUsec));
}

void PulseServer::sinkInputInfoCallback(pa_context*, const pa_sink_input_info* info, int eol, void* userData)
{
    // This process's playback stream (its one playback stream, which the output opens under
    // the application name it gives): what it has queued and what its output still holds is
    // how long a sample written now takes to be heard.
    auto* self = static_cast<PulseServer*>(userData);
    if (eol != 0 || !info || !info->proplist) {
        return;
    }
    const char* pid = pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_PROCESS_ID);
    const char* name = pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_NAME);
    if (!pid || !name || std::strtol(pid, nullptr, 10) != static_cast<long>(getpid()) ||
        std::strcmp(name, kPlaybackStreamName) != 0) {
        return;
    }
    self->mPlaybackLatencyUsec = static_cast<int64_t>(info->buffer_usec + info->sink_usec);
}

std::vector<SoundServer::Source> PulseServer::getSources() const
{
    const std::lock_guard<std::mutex> lock(mStateMutex);
    return mSources;
}

std::optional<SoundServer::Source> PulseServer::getDefaultMonitor() const
{
    const std::lock_guard<std::mutex> lock(mStateMutex);
    for (const Source& source : mSources) {
        if (!mDefaultMonitorName.empty() && source.name == mDefaultMonitorName) {
            return source;
        }
    }
    return std::nullopt;
}

std::vector<SoundServer::Stream> PulseServer::getStreams() const
{
    const std::lock_guard<std::mutex> lock(mStateMutex);
    return mStreams;
}

std::optional<double> PulseServer::getPlaybackLatency() const
{
    const int64_t usec = mPlaybackLatencyUsec.load();
    if (usec < 0) {
        return std::nullopt;
    }
    return static_cast<double>(usec) * 1.0e-6;
}

std::shared_ptr<InputDeviceNode> PulseServer::makeCaptureNode(Context& context, const Source& source,
                                                              size_t numChannels)
{
    return context.makeNode(new InputDeviceNodePulse(shared_from_this(), source.name, numChannels));
}

std::shared_ptr<InputDeviceNode> PulseServer::makeStreamCaptureNode(Context& context, const Stream& stream,
                                                                    size_t numChannels)
{
    return context.makeNode(new InputDeviceNodePulse(shared_from_this(), stream.monitorName, numChannels,
                                                     Node::Format(), stream.index));
}

} // namespace mirvo::audio
