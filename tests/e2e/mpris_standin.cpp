// A media player as the desktop's media controls see one, for the live input tests: it owns
// org.mpris.MediaPlayer2.NAME on the session bus, reports its playback status, and plays by
// running COMMAND (paplay, say) as its child, as players play from helper processes.
//   mirvo_mpris_standin NAME Playing|Paused COMMAND [ARGS...]
// SIGUSR1 makes it Playing, SIGUSR2 Paused, each told to listeners; SIGTERM ends it and its child.
#include <systemd/sd-bus.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t wanted = 0; // 1 Playing, 2 Paused
volatile std::sig_atomic_t ending = 0;
std::string status;

int getStatus(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*)
{
    return sd_bus_message_append(reply, "s", status.c_str());
}

const sd_bus_vtable kPlayer[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("PlaybackStatus", "s", &getStatus, 0, SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_VTABLE_END};

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: mirvo_mpris_standin NAME Playing|Paused COMMAND [ARGS...]\n");
        return 2;
    }
    status = argv[2];
    std::signal(SIGUSR1, [](int) { wanted = 1; });
    std::signal(SIGUSR2, [](int) { wanted = 2; });
    std::signal(SIGTERM, [](int) { ending = 1; });

    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[3], argv + 3);
        _exit(127);
    }
    sd_bus* bus = nullptr;
    const std::string name = std::string("org.mpris.MediaPlayer2.") + argv[1];
    if (child < 0 || sd_bus_open_user(&bus) < 0 ||
        sd_bus_add_object_vtable(bus, nullptr, "/org/mpris/MediaPlayer2", "org.mpris.MediaPlayer2.Player",
                                 kPlayer, nullptr) < 0 ||
        sd_bus_request_name(bus, name.c_str(), 0) < 0) {
        std::fprintf(stderr, "mirvo_mpris_standin: cannot take %s\n", name.c_str());
        if (child > 0) {
            kill(child, SIGTERM);
        }
        return 1;
    }
    while (!ending) {
        if (wanted != 0) {
            status = wanted == 1 ? "Playing" : "Paused";
            wanted = 0;
            sd_bus_emit_properties_changed(bus, "/org/mpris/MediaPlayer2", "org.mpris.MediaPlayer2.Player",
                                           "PlaybackStatus", nullptr);
        }
        while (sd_bus_process(bus, nullptr) > 0) {
        }
        sd_bus_wait(bus, 50 * 1000);
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    sd_bus_flush_close_unref(bus);
    return 0;
}
