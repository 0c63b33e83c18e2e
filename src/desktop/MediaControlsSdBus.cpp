// The media controls on the session bus through sd-bus: Mirvo as a player under the desktop's
// well-known media player names, with the root and the player interface on one object. The
// connection is polled from the frame loop, so every request is answered on the main thread.
#include "src/desktop/MediaControls.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace mirvo {

namespace {

constexpr const char* kBusName = "org.mpris.MediaPlayer2.mirvo";
constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";
constexpr const char* kRootInterface = "org.mpris.MediaPlayer2";
constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr const char* kNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

// What the desktop entry opens, so that a controller offering files offers the same ones.
constexpr const char* kMimeTypes[] = {
    "audio/mpeg",         "audio/flac",     "audio/x-flac",     "audio/ogg",
    "audio/x-vorbis+ogg", "audio/opus",     "audio/x-opus+ogg", "audio/wav",
    "audio/x-wav",        "audio/vnd.wave", "audio/aac",        "audio/mp4",
    "audio/x-m4a",        "audio/x-aiff",   "audio/x-ms-wma",   "audio/x-matroska"};

const char* statusName(PlaybackStatus status)
{
    switch (status) {
    case PlaybackStatus::PLAYING:
        return "Playing";
    case PlaybackStatus::PAUSED:
        return "Paused";
    case PlaybackStatus::STOPPED:
        break;
    }
    return "Stopped";
}

class MediaControlsSdBus final : public MediaControls {
  public:
    MediaControlsSdBus(sd_bus* bus, Commands commands) : mBus(bus), mCommands(std::move(commands)) {}
    ~MediaControlsSdBus() override
    {
        sd_bus_slot_unref(mPlayerSlot);
        sd_bus_slot_unref(mRootSlot);
        sd_bus_flush_close_unref(mBus);
    }
    MediaControlsSdBus(const MediaControlsSdBus&) = delete;
    MediaControlsSdBus& operator=(const MediaControlsSdBus&) = delete;

    // Puts the object on the bus and takes a name for it; false, with the reason, when the bus
    // refuses either.
    bool publishObject(std::string& reason);

    void poll() override;
    void publish(const MediaState& state) override;

    // The bus's callbacks, reached through the vtables below; userdata is the controls.
    static int rootProperty(sd_bus* bus, const char* path, const char* interface, const char* property,
                            sd_bus_message* reply, void* userdata, sd_bus_error* error);
    static int playerProperty(sd_bus* bus, const char* path, const char* interface, const char* property,
                              sd_bus_message* reply, void* userdata, sd_bus_error* error);
    // Rate and Volume take what a client sets and stay at 1.0: the music plays at its own
    // speed, and its level is the sound server's to change.
    static int ignoreSet(sd_bus* bus, const char* path, const char* interface, const char* property,
                         sd_bus_message* value, void* userdata, sd_bus_error* error);
    // LoopStatus and Shuffle: the controller's to change; the next publish tells of it.
    static int setMode(sd_bus* bus, const char* path, const char* interface, const char* property,
                       sd_bus_message* value, void* userdata, sd_bus_error* error);
    static int command(sd_bus_message* message, void* userdata, sd_bus_error* error);
    static int seek(sd_bus_message* message, void* userdata, sd_bus_error* error);
    static int setPosition(sd_bus_message* message, void* userdata, sd_bus_error* error);
    static int openUri(sd_bus_message* message, void* userdata, sd_bus_error* error);

  private:
    int appendMetadata(sd_bus_message* reply) const;
    // Runs one of the controller's commands for a property set; a failure becomes the error.
    int apply(const std::function<void()>& action, sd_bus_error* error);
    // Runs one of the controller's commands as the answer to message.
    int run(sd_bus_message* message, const std::function<void()>& action, sd_bus_error* error);
    void close(int result);

    sd_bus* mBus;
    sd_bus_slot* mRootSlot = nullptr;
    sd_bus_slot* mPlayerSlot = nullptr;
    Commands mCommands;
    MediaState mState;
};

const sd_bus_vtable kRootVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Raise", "", "", &MediaControlsSdBus::command, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Quit", "", "", &MediaControlsSdBus::command, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("CanQuit", "b", &MediaControlsSdBus::rootProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("CanRaise", "b", &MediaControlsSdBus::rootProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("HasTrackList", "b", &MediaControlsSdBus::rootProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Identity", "s", &MediaControlsSdBus::rootProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("DesktopEntry", "s", &MediaControlsSdBus::rootProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("SupportedUriSchemes", "as", &MediaControlsSdBus::rootProperty, 0,
                    SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("SupportedMimeTypes", "as", &MediaControlsSdBus::rootProperty, 0,
                    SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_VTABLE_END};

const sd_bus_vtable kPlayerVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Next", "", "", &MediaControlsSdBus::command, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Previous", "", "", &MediaControlsSdBus::command, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Pause", "", "", &MediaControlsSdBus::command, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("PlayPause", "", "", &MediaControlsSdBus::command, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Stop", "", "", &MediaControlsSdBus::command, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Play", "", "", &MediaControlsSdBus::command, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Seek", "x", "", &MediaControlsSdBus::seek, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("SetPosition", "ox", "", &MediaControlsSdBus::setPosition, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("OpenUri", "s", "", &MediaControlsSdBus::openUri, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL("Seeked", "x", 0),
    SD_BUS_PROPERTY("PlaybackStatus", "s", &MediaControlsSdBus::playerProperty, 0,
                    SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_WRITABLE_PROPERTY("Rate", "d", &MediaControlsSdBus::playerProperty, &MediaControlsSdBus::ignoreSet,
                             0, SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_PROPERTY("Metadata", "a{sv}", &MediaControlsSdBus::playerProperty, 0,
                    SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_WRITABLE_PROPERTY("Volume", "d", &MediaControlsSdBus::playerProperty,
                             &MediaControlsSdBus::ignoreSet, 0, SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    // Read when asked; the position changes all the time, so no signal says so.
    SD_BUS_PROPERTY("Position", "x", &MediaControlsSdBus::playerProperty, 0, 0),
    SD_BUS_PROPERTY("MinimumRate", "d", &MediaControlsSdBus::playerProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("MaximumRate", "d", &MediaControlsSdBus::playerProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("CanGoNext", "b", &MediaControlsSdBus::playerProperty, 0,
                    SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_PROPERTY("CanGoPrevious", "b", &MediaControlsSdBus::playerProperty, 0,
                    SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_PROPERTY("CanPlay", "b", &MediaControlsSdBus::playerProperty, 0,
                    SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_PROPERTY("CanPause", "b", &MediaControlsSdBus::playerProperty, 0,
                    SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_PROPERTY("CanSeek", "b", &MediaControlsSdBus::playerProperty, 0,
                    SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_WRITABLE_PROPERTY("LoopStatus", "s", &MediaControlsSdBus::playerProperty,
                             &MediaControlsSdBus::setMode, 0, SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_WRITABLE_PROPERTY("Shuffle", "b", &MediaControlsSdBus::playerProperty,
                             &MediaControlsSdBus::setMode, 0, SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_PROPERTY("CanControl", "b", &MediaControlsSdBus::playerProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_VTABLE_END};

bool MediaControlsSdBus::publishObject(std::string& reason)
{
    int result = sd_bus_add_object_vtable(mBus, &mRootSlot, kObjectPath, kRootInterface, kRootVtable, this);
    if (result >= 0) {
        result =
            sd_bus_add_object_vtable(mBus, &mPlayerSlot, kObjectPath, kPlayerInterface, kPlayerVtable, this);
    }
    if (result < 0) {
        reason = std::strerror(-result);
        return false;
    }
    result = sd_bus_request_name(mBus, kBusName, 0);
    if (result == -EEXIST) {
        // Another Mirvo has the name: a second player takes a name of its own beside it.
        const std::string instance = std::string(kBusName) + ".instance" + std::to_string(getpid());
        result = sd_bus_request_name(mBus, instance.c_str(), 0);
    }
    if (result < 0) {
        reason = std::string("the bus gives no name: ") + std::strerror(-result);
        return false;
    }
    return true;
}

void MediaControlsSdBus::poll()
{
    if (!mBus) {
        return;
    }
    int result = 0;
    do {
        result = sd_bus_process(mBus, nullptr);
    } while (result > 0 && mBus);
    if (result < 0) {
        close(result);
    }
}

void MediaControlsSdBus::publish(const MediaState& state)
{
    const std::vector<std::string> changed = changedProperties(mState, state);
    const bool seeked = state.seeks != mState.seeks;
    mState = state;
    if (seeked && mBus) {
        const int result = sd_bus_emit_signal(mBus, kObjectPath, kPlayerInterface, "Seeked", "x",
                                              static_cast<int64_t>(state.seekedToMicros));
        if (result < 0) {
            close(result);
        }
    }
    if (changed.empty() || !mBus) {
        return;
    }
    std::vector<char*> names;
    for (const std::string& name : changed) {
        names.push_back(const_cast<char*>(name.c_str()));
    }
    names.push_back(nullptr);
    const int result = sd_bus_emit_properties_changed_strv(mBus, kObjectPath, kPlayerInterface, names.data());
    if (result < 0) {
        close(result);
    }
}

void MediaControlsSdBus::close(int result)
{
    // The session bus went away (its daemon ended); the music plays on without the controls.
    std::cerr << "mirvo: the media controls stopped: " << std::strerror(-result) << std::endl;
    sd_bus_slot_unref(mPlayerSlot);
    sd_bus_slot_unref(mRootSlot);
    mPlayerSlot = nullptr;
    mRootSlot = nullptr;
    sd_bus_close_unref(mBus);
    mBus = nullptr;
}

int MediaControlsSdBus::rootProperty(sd_bus*, const char*, const char*, const char* property,
                                     sd_bus_message* reply, void*, sd_bus_error*)
{
    const std::string name = property;
    if (name == "CanQuit") {
        return sd_bus_message_append(reply, "b", 1);
    }
    if (name == "CanRaise" || name == "HasTrackList") {
        return sd_bus_message_append(reply, "b", 0);
    }
    if (name == "Identity") {
        return sd_bus_message_append(reply, "s", "Mirvo");
    }
    if (name == "DesktopEntry") {
        return sd_bus_message_append(reply, "s", "mirvo");
    }
    if (name == "SupportedUriSchemes") {
        return sd_bus_message_append(reply, "as", 1, "file");
    }
    int result = sd_bus_message_open_container(reply, 'a', "s");
    for (const char* type : kMimeTypes) {
        if (result >= 0) {
            result = sd_bus_message_append(reply, "s", type);
        }
    }
    return result < 0 ? result : sd_bus_message_close_container(reply);
}

int MediaControlsSdBus::playerProperty(sd_bus*, const char*, const char*, const char* property,
                                       sd_bus_message* reply, void* userdata, sd_bus_error* error)
{
    const auto& self = *static_cast<const MediaControlsSdBus*>(userdata);
    const MediaState& state = self.mState;
    const std::string name = property;
    if (name == "PlaybackStatus") {
        return sd_bus_message_append(reply, "s", statusName(state.status));
    }
    if (name == "Metadata") {
        return self.appendMetadata(reply);
    }
    if (name == "Position") {
        try {
            const int64_t position =
                state.track && self.mCommands.positionMicros ? self.mCommands.positionMicros() : 0;
            return sd_bus_message_append(reply, "x", position);
        } catch (const std::exception& exc) {
            return sd_bus_error_set(error, SD_BUS_ERROR_FAILED, exc.what());
        }
    }
    if (name == "LoopStatus") {
        return sd_bus_message_append(reply, "s", loopStatusName(state.loop));
    }
    if (name == "Rate" || name == "Volume" || name == "MinimumRate" || name == "MaximumRate") {
        return sd_bus_message_append(reply, "d", 1.0);
    }
    bool value = false;
    if (name == "CanGoNext") {
        value = state.canGoNext;
    } else if (name == "CanGoPrevious") {
        value = state.canGoPrevious;
    } else if (name == "CanPlay") {
        value = state.canPlay;
    } else if (name == "CanPause") {
        value = state.canPause;
    } else if (name == "CanSeek") {
        value = state.canSeek;
    } else if (name == "Shuffle") {
        value = state.shuffle;
    } else if (name == "CanControl") {
        value = true;
    }
    return sd_bus_message_append(reply, "b", value ? 1 : 0);
}

int MediaControlsSdBus::appendMetadata(sd_bus_message* reply) const
{
    const std::optional<MediaTrack>& track = mState.track;
    int result = sd_bus_message_open_container(reply, 'a', "{sv}");
    const auto entry = [&](const char* key, const char* type, auto... values) {
        if (result >= 0) {
            result = sd_bus_message_append(reply, "{sv}", key, type, values...);
        }
    };
    entry("mpris:trackid", "o", track ? track->id.c_str() : kNoTrack);
    if (track) {
        entry("xesam:title", "s", track->title.c_str());
        if (!track->artist.empty()) {
            entry("xesam:artist", "as", 1, track->artist.c_str());
        }
        if (!track->album.empty()) {
            entry("xesam:album", "s", track->album.c_str());
        }
        entry("mpris:length", "x", track->lengthMicros);
    }
    return result < 0 ? result : sd_bus_message_close_container(reply);
}

int MediaControlsSdBus::ignoreSet(sd_bus*, const char*, const char*, const char*, sd_bus_message* value,
                                  void*, sd_bus_error*)
{
    double ignored = 0.0;
    return sd_bus_message_read(value, "d", &ignored);
}

int MediaControlsSdBus::command(sd_bus_message* message, void* userdata, sd_bus_error* error)
{
    auto& self = *static_cast<MediaControlsSdBus*>(userdata);
    const std::string member = sd_bus_message_get_member(message);
    const Commands& commands = self.mCommands;
    const std::function<void()>* action = nullptr;
    if (member == "Quit") {
        action = &commands.quit;
    } else if (member == "Next") {
        action = &commands.next;
    } else if (member == "Previous") {
        action = &commands.previous;
    } else if (member == "Pause") {
        action = &commands.pause;
    } else if (member == "PlayPause") {
        action = &commands.playPause;
    } else if (member == "Stop") {
        action = &commands.stop;
    } else if (member == "Play") {
        action = &commands.play;
    }
    // Raise, and anything without a command, has no effect, as CanRaise says.
    static const std::function<void()> nothing = [] {};
    return self.run(message, action && *action ? *action : nothing, error);
}

int MediaControlsSdBus::setMode(sd_bus*, const char*, const char*, const char* property,
                                sd_bus_message* value, void* userdata, sd_bus_error* error)
{
    auto& self = *static_cast<MediaControlsSdBus*>(userdata);
    if (std::string(property) == "Shuffle") {
        int shuffle = 0;
        const int result = sd_bus_message_read(value, "b", &shuffle);
        if (result < 0) {
            return result;
        }
        return self.apply(
            [&] {
                if (self.mCommands.setShuffle) {
                    self.mCommands.setShuffle(shuffle != 0);
                }
            },
            error);
    }
    const char* name = nullptr;
    const int result = sd_bus_message_read(value, "s", &name);
    if (result < 0) {
        return result;
    }
    const std::optional<LoopStatus> loop = loopStatusNamed(name);
    if (!loop) {
        return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS, "no loop status called '%s'", name);
    }
    return self.apply(
        [&] {
            if (self.mCommands.setLoop) {
                self.mCommands.setLoop(*loop);
            }
        },
        error);
}

int MediaControlsSdBus::seek(sd_bus_message* message, void* userdata, sd_bus_error* error)
{
    auto& self = *static_cast<MediaControlsSdBus*>(userdata);
    int64_t offset = 0;
    const int result = sd_bus_message_read(message, "x", &offset);
    if (result < 0) {
        return result;
    }
    // Where CanSeek is false, a seek has no effect.
    return self.run(
        message,
        [&] {
            if (self.mState.canSeek && self.mCommands.seekBy) {
                self.mCommands.seekBy(offset);
            }
        },
        error);
}

int MediaControlsSdBus::setPosition(sd_bus_message* message, void* userdata, sd_bus_error* error)
{
    auto& self = *static_cast<MediaControlsSdBus*>(userdata);
    const char* trackId = nullptr;
    int64_t position = 0;
    const int result = sd_bus_message_read(message, "ox", &trackId, &position);
    if (result < 0) {
        return result;
    }
    // A position meant for a track that has since ended (the slider of a client that has not
    // caught up) is stale: it moves nothing.
    const std::optional<MediaTrack>& track = self.mState.track;
    const bool current = track && track->id == trackId;
    return self.run(
        message,
        [&] {
            if (current && self.mState.canSeek && self.mCommands.seekTo) {
                self.mCommands.seekTo(position);
            }
        },
        error);
}

int MediaControlsSdBus::openUri(sd_bus_message* message, void* userdata, sd_bus_error* error)
{
    auto& self = *static_cast<MediaControlsSdBus*>(userdata);
    const char* uri = nullptr;
    const int result = sd_bus_message_read(message, "s", &uri);
    if (result < 0) {
        return result;
    }
    const std::optional<std::filesystem::path> path = pathFromFileUri(uri);
    if (!path) {
        return sd_bus_error_setf(error, SD_BUS_ERROR_NOT_SUPPORTED, "only local file:// URIs open: %s", uri);
    }
    return self.run(
        message,
        [&] {
            if (self.mCommands.open) {
                self.mCommands.open(*path);
            }
        },
        error);
}

int MediaControlsSdBus::apply(const std::function<void()>& action, sd_bus_error* error)
{
    try {
        action();
    } catch (const std::exception& exc) {
        return sd_bus_error_set(error, SD_BUS_ERROR_FAILED, exc.what());
    }
    return 0;
}

int MediaControlsSdBus::run(sd_bus_message* message, const std::function<void()>& action, sd_bus_error* error)
{
    try {
        action();
    } catch (const std::exception& exc) {
        return sd_bus_error_set(error, SD_BUS_ERROR_FAILED, exc.what());
    }
    return sd_bus_reply_method_return(message, "");
}

} // namespace

std::unique_ptr<MediaControls> openMediaControls(MediaControls::Commands commands)
{
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) {
        // No session bus: a session without a desktop, which has no media controls to offer.
        return nullptr;
    }
    auto controls = std::make_unique<MediaControlsSdBus>(bus, std::move(commands));
    std::string reason;
    if (!controls->publishObject(reason)) {
        std::cerr << "mirvo: no media controls: " << reason << std::endl;
        return nullptr;
    }
    return controls;
}

} // namespace mirvo
