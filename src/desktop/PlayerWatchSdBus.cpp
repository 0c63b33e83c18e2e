// The desktop's media players watched through sd-bus: every name under the media players' prefix
// (Mirvo's own left out) with its process and its playback status, kept up to date from the
// bus's signals. Every question is asked without waiting for its answer, and the connection is
// read from the frame loop, so a player that is slow to answer never holds a frame.
#include "src/desktop/PlayerWatch.h"

#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>

namespace mirvo {

namespace {

constexpr const char* kPrefix = "org.mpris.MediaPlayer2.";
constexpr const char* kOwnName = "org.mpris.MediaPlayer2.mirvo";
constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";
constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr const char* kBus = "org.freedesktop.DBus";
constexpr const char* kBusPath = "/org/freedesktop/DBus";
// Messages handled in one poll at most: a flood of signals must not hold the frame.
constexpr int kMaxMessagesPerPoll = 256;

bool isPlayerName(const std::string& name)
{
    const std::string own = kOwnName;
    // Mirvo's own name, and the instance names a second Mirvo would take beside it.
    const bool ours = name == own || name.rfind(own + ".", 0) == 0;
    return name.rfind(kPrefix, 0) == 0 && !ours;
}

class PlayerWatchSdBus {
  public:
    explicit PlayerWatchSdBus(sd_bus* bus) : mBus(bus) {}
    ~PlayerWatchSdBus()
    {
        sd_bus_slot_unref(mOwnerSlot);
        sd_bus_slot_unref(mPropertiesSlot);
        sd_bus_flush_close_unref(mBus);
    }
    PlayerWatchSdBus(const PlayerWatchSdBus&) = delete;
    PlayerWatchSdBus& operator=(const PlayerWatchSdBus&) = delete;

    // Listens for players coming, going and changing, and asks for those there are.
    bool start();
    // Waits up to `timeout` for the answers about the players there are, so that the first
    // poll already knows which plays.
    void settle(std::chrono::milliseconds timeout);
    std::optional<PlayingPlayer> poll();

  private:
    struct Player {
        std::string owner;
        int64_t processId = 0;
        bool playing = false;
        // When it last started playing, in the order of the changes seen.
        uint64_t playingSince = 0;
    };
    enum class Question { OWNER, PROCESS, STATUS };

    static int onNameOwnerChanged(sd_bus_message* message, void* userdata, sd_bus_error* error);
    static int onPropertiesChanged(sd_bus_message* message, void* userdata, sd_bus_error* error);
    static int onListNames(sd_bus_message* reply, void* userdata, sd_bus_error* error);
    static int onAnswer(sd_bus_message* reply, void* userdata, sd_bus_error* error);

    // Asks what the player under `name` is and does; `owner` when the bus has already said it.
    void discover(const std::string& name, const std::string& owner);
    void ask(const std::string& name, Question question);
    void setPlaying(Player& player, bool playing);
    // Reads a "s" variant holding a playback status.
    static int readStatus(sd_bus_message* message, bool& playing);

    sd_bus* mBus;
    sd_bus_slot* mOwnerSlot = nullptr;
    sd_bus_slot* mPropertiesSlot = nullptr;
    bool mBroken = false;
    bool mListed = false;
    std::map<std::string, Player> mPlayers;
    // The questions on their way, by the cookie of the message that asked.
    std::map<uint64_t, std::pair<std::string, Question>> mAsked;
    uint64_t mChanges = 0;
};

bool PlayerWatchSdBus::start()
{
    const std::string owners =
        std::string("type='signal',sender='") + kBus +
        "',interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0namespace='" +
        "org.mpris.MediaPlayer2'";
    const std::string properties = std::string("type='signal',interface='org.freedesktop.DBus.Properties',"
                                               "member='PropertiesChanged',path='") +
                                   kObjectPath + "',arg0='" + kPlayerInterface + "'";
    if (sd_bus_add_match_async(mBus, &mOwnerSlot, owners.c_str(), &PlayerWatchSdBus::onNameOwnerChanged,
                               nullptr, this) < 0 ||
        sd_bus_add_match_async(mBus, &mPropertiesSlot, properties.c_str(),
                               &PlayerWatchSdBus::onPropertiesChanged, nullptr, this) < 0) {
        return false;
    }
    // Floating: the bus owns the slot, which goes with it.
    return sd_bus_call_method_async(mBus, nullptr, kBus, kBusPath, kBus, "ListNames",
                                    &PlayerWatchSdBus::onListNames, this, "") >= 0;
}

void PlayerWatchSdBus::settle(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!mBroken && (!mListed || !mAsked.empty())) {
        const int result = sd_bus_process(mBus, nullptr);
        if (result < 0) {
            mBroken = true;
        } else if (result == 0) {
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return;
            }
            sd_bus_wait(mBus, static_cast<uint64_t>(left.count()));
        }
    }
}

std::optional<PlayingPlayer> PlayerWatchSdBus::poll()
{
    for (int i = 0; i < kMaxMessagesPerPoll && !mBroken; ++i) {
        const int result = sd_bus_process(mBus, nullptr);
        if (result < 0) {
            // The bus went away: no player can be told playing any more.
            mBroken = true;
            mPlayers.clear();
        }
        if (result <= 0) {
            break;
        }
    }
    const Player* newest = nullptr;
    const std::string* newestName = nullptr;
    for (const auto& [name, player] : mPlayers) {
        if (player.playing && player.processId > 0 && player.processId != static_cast<int64_t>(getpid()) &&
            (!newest || player.playingSince > newest->playingSince)) {
            newest = &player;
            newestName = &name;
        }
    }
    if (!newest) {
        return std::nullopt;
    }
    return PlayingPlayer{newest->processId, newestName->substr(std::strlen(kPrefix))};
}

void PlayerWatchSdBus::discover(const std::string& name, const std::string& owner)
{
    Player& player = mPlayers[name];
    player = Player();
    player.owner = owner;
    if (owner.empty()) {
        ask(name, Question::OWNER);
    }
    ask(name, Question::PROCESS);
    ask(name, Question::STATUS);
}

void PlayerWatchSdBus::ask(const std::string& name, Question question)
{
    sd_bus_message* message = nullptr;
    int result = 0;
    if (question == Question::STATUS) {
        result = sd_bus_message_new_method_call(mBus, &message, name.c_str(), kObjectPath,
                                                "org.freedesktop.DBus.Properties", "Get");
        if (result >= 0) {
            result = sd_bus_message_append(message, "ss", kPlayerInterface, "PlaybackStatus");
        }
    } else {
        result = sd_bus_message_new_method_call(mBus, &message, kBus, kBusPath, kBus,
                                                question == Question::OWNER ? "GetNameOwner"
                                                                            : "GetConnectionUnixProcessID");
        if (result >= 0) {
            result = sd_bus_message_append(message, "s", name.c_str());
        }
    }
    if (result >= 0) {
        result = sd_bus_call_async(mBus, nullptr, message, &PlayerWatchSdBus::onAnswer, this, 0);
    }
    uint64_t cookie = 0;
    if (result >= 0 && sd_bus_message_get_cookie(message, &cookie) >= 0) {
        mAsked[cookie] = {name, question};
    }
    sd_bus_message_unref(message);
}

void PlayerWatchSdBus::setPlaying(Player& player, bool playing)
{
    if (playing && !player.playing) {
        player.playingSince = ++mChanges;
    }
    player.playing = playing;
}

int PlayerWatchSdBus::readStatus(sd_bus_message* message, bool& playing)
{
    const char* status = nullptr;
    const int result = sd_bus_message_read(message, "v", "s", &status);
    if (result >= 0) {
        playing = status && std::strcmp(status, "Playing") == 0;
    }
    return result;
}

int PlayerWatchSdBus::onListNames(sd_bus_message* reply, void* userdata, sd_bus_error*)
{
    auto& self = *static_cast<PlayerWatchSdBus*>(userdata);
    self.mListed = true;
    if (sd_bus_message_is_method_error(reply, nullptr)) {
        return 0;
    }
    char** names = nullptr;
    if (sd_bus_message_read_strv(reply, &names) < 0 || !names) {
        return 0;
    }
    for (char** name = names; *name; ++name) {
        // One that came in the meantime is known from its signal already.
        if (isPlayerName(*name) && self.mPlayers.count(*name) == 0) {
            self.discover(*name, "");
        }
        std::free(*name);
    }
    std::free(names);
    return 0;
}

int PlayerWatchSdBus::onAnswer(sd_bus_message* reply, void* userdata, sd_bus_error*)
{
    auto& self = *static_cast<PlayerWatchSdBus*>(userdata);
    uint64_t cookie = 0;
    if (sd_bus_message_get_reply_cookie(reply, &cookie) < 0) {
        return 0;
    }
    const auto asked = self.mAsked.find(cookie);
    if (asked == self.mAsked.end()) {
        return 0;
    }
    const auto [name, question] = asked->second;
    self.mAsked.erase(asked);
    const auto player = self.mPlayers.find(name);
    // A player gone meanwhile, or one that does not answer: nothing to learn.
    if (player == self.mPlayers.end() || sd_bus_message_is_method_error(reply, nullptr)) {
        return 0;
    }
    if (question == Question::OWNER) {
        const char* owner = nullptr;
        if (sd_bus_message_read(reply, "s", &owner) >= 0 && owner) {
            player->second.owner = owner;
        }
    } else if (question == Question::PROCESS) {
        uint32_t processId = 0;
        if (sd_bus_message_read(reply, "u", &processId) >= 0) {
            player->second.processId = processId;
        }
    } else {
        bool playing = false;
        if (readStatus(reply, playing) >= 0) {
            self.setPlaying(player->second, playing);
        }
    }
    return 0;
}

int PlayerWatchSdBus::onNameOwnerChanged(sd_bus_message* message, void* userdata, sd_bus_error*)
{
    auto& self = *static_cast<PlayerWatchSdBus*>(userdata);
    const char* name = nullptr;
    const char* oldOwner = nullptr;
    const char* newOwner = nullptr;
    if (sd_bus_message_read(message, "sss", &name, &oldOwner, &newOwner) < 0 || !name ||
        !isPlayerName(name)) {
        return 0;
    }
    if (!newOwner || *newOwner == '\0') {
        self.mPlayers.erase(name);
    } else {
        // A new owner is a new player, whatever the name's last owner did.
        self.discover(name, newOwner);
    }
    return 0;
}

int PlayerWatchSdBus::onPropertiesChanged(sd_bus_message* message, void* userdata, sd_bus_error*)
{
    auto& self = *static_cast<PlayerWatchSdBus*>(userdata);
    const char* sender = sd_bus_message_get_sender(message);
    if (!sender) {
        return 0;
    }
    std::string name;
    Player* player = nullptr;
    for (auto& [playerName, known] : self.mPlayers) {
        if (known.owner == sender) {
            name = playerName;
            player = &known;
        }
    }
    const char* interface = nullptr;
    if (!player || sd_bus_message_read(message, "s", &interface) < 0 ||
        sd_bus_message_enter_container(message, 'a', "{sv}") < 0) {
        return 0;
    }
    while (sd_bus_message_enter_container(message, 'e', "sv") > 0) {
        const char* property = nullptr;
        if (sd_bus_message_read(message, "s", &property) < 0) {
            return 0;
        }
        bool playing = false;
        if (property && std::strcmp(property, "PlaybackStatus") == 0 && readStatus(message, playing) >= 0) {
            self.setPlaying(*player, playing);
        } else if (sd_bus_message_skip(message, "v") < 0) {
            return 0;
        }
        if (sd_bus_message_exit_container(message) < 0) {
            return 0;
        }
    }
    if (sd_bus_message_exit_container(message) < 0 || sd_bus_message_enter_container(message, 'a', "s") < 0) {
        return 0;
    }
    // A status said to have changed without its value: asked for.
    const char* invalidated = nullptr;
    while (sd_bus_message_read(message, "s", &invalidated) > 0) {
        if (invalidated && std::strcmp(invalidated, "PlaybackStatus") == 0) {
            self.ask(name, Question::STATUS);
        }
    }
    return 0;
}

} // namespace

PlayingPlayerWatch watchPlayingPlayer()
{
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) {
        return {};
    }
    auto watch = std::make_shared<PlayerWatchSdBus>(bus);
    if (!watch->start()) {
        return {};
    }
    // The bus's own answers come at once; a player that answers late is heard of as it does.
    watch->settle(std::chrono::milliseconds(500));
    return [watch] { return watch->poll(); };
}

} // namespace mirvo
