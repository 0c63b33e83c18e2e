// Command-line parsing: long options with their value either after '=' or as the next
// argument, and at most one music file.
#include "src/CommandLine.h"

#include <charconv>

namespace mirvo {

namespace {

bool parseInt(const std::string& text, int& value)
{
    const char* first = text.data();
    const char* last = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && ptr == last && !text.empty();
}

Vec2i parseWindowSize(const std::string& text)
{
    const auto x = text.find('x');
    int width = 0;
    int height = 0;
    if (x == std::string::npos || !parseInt(text.substr(0, x), width) ||
        !parseInt(text.substr(x + 1), height) || width <= 0 || height <= 0) {
        throw CommandLineError("bad window size '" + text + "' for --windowed (expected WxH, e.g. 1280x720)");
    }
    return {width, height};
}

std::size_t parseScene(const std::string& name)
{
    if (name == "galaxy") {
        return 0;
    }
    if (name == "tree") {
        return 1;
    }
    if (name == "triangles") {
        return 2;
    }
    throw CommandLineError("unknown scene '" + name + "' for --scene (expected galaxy, tree or triangles)");
}

} // namespace

CommandLine CommandLine::parse(const std::vector<std::string>& args)
{
    CommandLine result;
    bool optionsEnded = false;
    // args[0] is the program path.
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
                throw CommandLineError("unknown option '" + arg + "' (see --help)");
            }
            if (result.musicFile) {
                throw CommandLineError("more than one music file given ('" + *result.musicFile + "' and '" +
                                       arg + "')");
            }
            result.musicFile = arg;
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }

        const auto eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        const std::optional<std::string> inlineValue =
            eq == std::string::npos ? std::nullopt : std::optional<std::string>(arg.substr(eq + 1));
        auto takeValue = [&]() -> std::string {
            if (inlineValue) {
                return *inlineValue;
            }
            if (i + 1 >= args.size()) {
                throw CommandLineError("option '" + name + "' needs a value (see --help)");
            }
            return args[++i];
        };
        auto noValue = [&]() {
            if (inlineValue) {
                throw CommandLineError("option '" + name + "' takes no value");
            }
        };

        if (name == "--help") {
            noValue();
            result.action = Action::HELP;
        } else if (name == "--version") {
            noValue();
            result.action = Action::VERSION;
        } else if (name == "--list-audio-devices") {
            noValue();
            result.action = Action::LIST_AUDIO_DEVICES;
        } else if (name == "--benchmark") {
            noValue();
            result.action = Action::BENCHMARK;
        } else if (name == "--windowed") {
            result.windowed = true;
            if (inlineValue) {
                result.windowSize = parseWindowSize(*inlineValue);
            }
        } else if (name == "--audio-device") {
            result.audioDevice = takeValue();
            if (result.audioDevice->empty()) {
                throw CommandLineError("empty device name for --audio-device");
            }
        } else if (name == "--scene") {
            result.firstScene = parseScene(takeValue());
        } else if (name == "--frames") {
            const std::string value = takeValue();
            int frames = 0;
            if (!parseInt(value, frames) || frames <= 0) {
                throw CommandLineError("bad frame count '" + value +
                                       "' for --frames (expected a positive integer)");
            }
            result.frames = frames;
        } else if (name == "--screenshot") {
            result.screenshotPath = takeValue();
            if (result.screenshotPath->empty()) {
                throw CommandLineError("empty path for --screenshot");
            }
        } else if (name == "--report-startup") {
            noValue();
            result.reportStartup = true;
        } else if (name == "--test-drop") {
            result.testDropFiles.push_back(takeValue());
        } else if (name == "--no-notices") {
            noValue();
            result.notices = false;
        } else if (name == "--test-drop-one-by-one") {
            noValue();
            result.testDropOneByOne = true;
        } else {
            throw CommandLineError("unknown option '" + name + "' (see --help)");
        }
    }

    if (result.screenshotPath && !result.frames) {
        throw CommandLineError("--screenshot needs --frames N (the screenshot is of the last frame)");
    }
    return result;
}

std::string CommandLine::usage()
{
    return "Usage: mirvo [OPTIONS] [FILE]\n"
           "An audio-reactive music visualizer. Without arguments it plays its start-up music full screen.\n"
           "\n"
           "  FILE                     play this audio file instead of the start-up music\n"
           "  --windowed[=WxH]         open a window instead of going full screen (default 1280x720)\n"
           "  --audio-device NAME      play through the output device called NAME\n"
           "  --list-audio-devices     list the audio devices and exit\n"
           "  --scene NAME             first scene: galaxy, tree or triangles (default galaxy)\n"
           "  --frames N               quit after N frames\n"
           "  --screenshot PATH        with --frames: write the last frame to PATH as PNG\n"
           "  --benchmark              measure the frame cost of every scene and exit\n"
           "  --no-notices             show no notices over the visuals (what plays, failed drops, pause)\n"
           "  --report-startup         print the wall-clock time when the first frame is drawn\n"
           "  --test-drop FILE         drop FILE on the window after the first frame (for tests)\n"
           "  --test-drop-one-by-one   drop the --test-drop files one per frame, not all at once\n"
           "  --help                   show this help and exit\n"
           "  --version                show the version and exit\n"
           "\n"
           "Keys: Alt+Right / Alt+Left next / previous scene, Space pause, T panels, Ctrl+Q quit.\n";
}

} // namespace mirvo
