#include "audio/pulse/PulseServer.h"

#include "audio/Context.h"
#include "audio/pulse/InputDeviceNodePulse.h"

#include <pulse/introspect.h>
#include <pulse/mainloop-api.h>
#include <pulse/proplist.h>
#include <pulse/subscribe.h>
#include <pulse/timeval.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace mirvo::audio {

namespace {

// The RtAudio output names its playback stream so; the server files it as the application name.
constexpr const char* kPlaybackStreamName = "Mirvo";
constexpr pa_usec_t kLatencyPollUsec = 250 * 1000;

} // namespace

std::shared_ptr<SoundServer> SoundServer::connect()
{
    return PulseServer::open();
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
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Mirvo");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "mirvo");
    mContext = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(mMainloop), "Mirvo", properties);
    pa_proplist_free(properties);
    if (!mContext) {
        return false;
    }
    pa_context_set_state_callback(mContext, &PulseServer::contextStateCallback, this);
    // A visualizer must not start a sound server of its own where none runs.
    if (pa_context_connect(mContext, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        return false;
    }
    pa_threaded_mainloop_lock(mMainloop);
    if (pa_threaded_mainloop_start(mMainloop) < 0) {
        pa_threaded_mainloop_unlock(mMainloop);
        return false;
    }
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(mContext);
        if (state == PA_CONTEXT_READY) {
            break;
        }
        if (!PA_CONTEXT_IS_GOOD(state)) {
            pa_threaded_mainloop_unlock(mMainloop);
            return false;
        }
        pa_threaded_mainloop_wait(mMainloop);
    }
    // The state callback refreshes on READY; wait for that first report.
    while (mConnected.load() && !(mSourcesReported && mDefaultReported)) {
        pa_threaded_mainloop_wait(mMainloop);
    }
    const bool connected = mConnected.load();
    pa_threaded_mainloop_unlock(mMainloop);
    return connected;
}

PulseServer::~PulseServer()
{
    if (!mMainloop) {
        return;
    }
    pa_threaded_mainloop_stop(mMainloop);
    if (mContext) {
        if (mLatencyTimer) {
            pa_threaded_mainloop_get_api(mMainloop)->time_free(mLatencyTimer);
        }
        pa_context_set_state_callback(mContext, nullptr, nullptr);
        pa_context_set_subscribe_callback(mContext, nullptr, nullptr);
        pa_context_disconnect(mContext);
        pa_context_unref(mContext);
    }
    pa_threaded_mainloop_free(mMainloop);
}

void PulseServer::contextStateCallback(pa_context* context, void* userData)
{
    auto* self = static_cast<PulseServer*>(userData);
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_READY) {
        self->mConnected = true;
        pa_context_set_subscribe_callback(context, &PulseServer::subscribeCallback, self);
        const auto mask = static_cast<pa_subscription_mask_t>(
            PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER);
        if (pa_operation* op = pa_context_subscribe(context, mask, nullptr, nullptr)) {
            pa_operation_unref(op);
        }
        self->refresh();
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(self->mMainloop);
        self->mLatencyTimer = api->time_new(api, nullptr, &PulseServer::latencyTimerCallback, self);
        timeval now{};
        api->time_restart(self->mLatencyTimer, pa_timeval_add(pa_gettimeofday(&now), kLatencyPollUsec));
    } else if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) {
        // The server went away (or never answered): whoever waits must learn it now.
        self->mConnected = false;
        self->changed();
    }
    pa_threaded_mainloop_signal(self->mMainloop, 0);
}

void PulseServer::subscribeCallback(pa_context*, pa_subscription_event_type_t, uint32_t, void* userData)
{
    // Any change to an output, a source or the server's defaults: read the whole picture
    // again. Such events are rare, and a partial update could miss a default that moved.
    static_cast<PulseServer*>(userData)->refresh();
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
    self->changed();
    pa_threaded_mainloop_signal(self->mMainloop, 0);
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
    self->changed();
    pa_threaded_mainloop_signal(self->mMainloop, 0);
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
    self->changed();
    pa_threaded_mainloop_signal(self->mMainloop, 0);
}

void PulseServer::latencyTimerCallback(pa_mainloop_api* api, pa_time_event* event, const struct timeval*,
                                       void* userData)
{
    auto* self = static_cast<PulseServer*>(userData);
    if (pa_operation* op =
            pa_context_get_sink_input_info_list(self->mContext, &PulseServer::sinkInputInfoCallback, self)) {
        pa_operation_unref(op);
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

} // namespace mirvo::audio
