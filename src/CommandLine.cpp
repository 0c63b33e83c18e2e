// The options are declared once, on a CLI11 parser; parsing, validation and the --help text all
// come from those declarations. Every failure becomes one CommandLineError line.
#include "src/CommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <filesystem>
#include <memory>
#include <optional>
#include <utility>

namespace mirvo {

namespace {

constexpr std::array<const char*, 3> kSceneNames = {"galaxy", "tree", "triangles"};
// The renderer's anti-aliasing levels of the sample counts --msaa accepts, and the default.
constexpr std::array<std::pair<int, int>, 5> kMsaaLevels = {{{0, 0}, {2, 1}, {4, 2}, {8, 4}, {16, 5}}};
constexpr int kDefaultAntiAliasingLevel = 5;

bool parseInt(const std::string& text, int& value)
{
    const char* first = text.data();
    const char* last = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && ptr == last && !text.empty();
}

// --windowed without a size; a size given is kept between runs, the default is not.
constexpr const char* kDefaultWindowSize = "\x01"
                                           "default";

// Empty when `text` is a window size, else why not.
std::string checkWindowSize(const std::string& text)
{
    if (text == kDefaultWindowSize) {
        return {};
    }
    const auto x = text.find('x');
    int width = 0;
    int height = 0;
    if (x == std::string::npos || !parseInt(text.substr(0, x), width) ||
        !parseInt(text.substr(x + 1), height) || width <= 0 || height <= 0) {
        return "bad window size '" + text + "' (expected WxH, e.g. 1280x720)";
    }
    return {};
}

// The shapes videos are posted in, by the names people use for them.
constexpr std::array<std::pair<const char*, Vec2i>, 4> kNamedRenderSizes = {
    {{"vertical", {1080, 1920}}, {"square", {1080, 1080}}, {"1080p", {1920, 1080}}, {"4k", {3840, 2160}}}};

std::optional<Vec2i> namedRenderSize(const std::string& text)
{
    for (const auto& [name, size] : kNamedRenderSizes) {
        if (text == name) {
            return size;
        }
    }
    return std::nullopt;
}

// Empty when `text` is a video size: a name, or even sides (for 4:2:0 chroma) up to 8K UHD.
std::string checkRenderSize(const std::string& text)
{
    if (namedRenderSize(text)) {
        return {};
    }
    const auto x = text.find('x');
    int width = 0;
    int height = 0;
    if (x == std::string::npos || !parseInt(text.substr(0, x), width) ||
        !parseInt(text.substr(x + 1), height) || width <= 0 || height <= 0 || width % 2 != 0 ||
        height % 2 != 0 || width > 7680 || height > 4320) {
        return "bad video size '" + text +
               "' (expected even WxH up to 7680x4320, or vertical, square, 1080p or 4k)";
    }
    return {};
}

Vec2i parseWindowSize(const std::string& text)
{
    const auto x = text.find('x');
    int width = 0;
    int height = 0;
    parseInt(text.substr(0, x), width);
    parseInt(text.substr(x + 1), height);
    return {width, height};
}

// Validators are named "" so that --help shows only the value's own name.
const CLI::Validator kNotEmpty(
    [](const std::string& value) { return value.empty() ? std::string("must not be empty") : std::string(); },
    "");

const CLI::Validator kPositiveCount(
    [](const std::string& value) {
        int count = 0;
        return parseInt(value, count) && count > 0
                   ? std::string()
                   : "bad count '" + value + "' (expected a positive integer)";
    },
    "");

const CLI::Validator kOffset(
    [](const std::string& value) {
        float ms = 0.0f;
        auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), ms);
        return ec == std::errc() && ptr == value.data() + value.size() && ms > -1000.0f && ms < 1000.0f
                   ? std::string()
                   : "bad offset '" + value + "' (expected milliseconds between -1000 and 1000)";
    },
    "");

const CLI::Validator kFrameRate(
    [](const std::string& value) {
        int fps = 0;
        return parseInt(value, fps) && fps >= 1 && fps <= 240
                   ? std::string()
                   : "bad frame rate '" + value + "' (expected 1 to 240)";
    },
    "");

const CLI::Validator kCrf(
    [](const std::string& value) {
        int crf = 0;
        return parseInt(value, crf) && crf >= 0 && crf <= 63
                   ? std::string()
                   : "bad quality '" + value + "' (expected 0 to 63)";
    },
    "");

const CLI::Validator kSeconds(
    [](const std::string& value) {
        float seconds = -1.0f;
        auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
        return ec == std::errc() && ptr == value.data() + value.size() && seconds >= 0.0f && seconds < 1.0e6f
                   ? std::string()
                   : "bad interval '" + value + "' (expected seconds, 0 or more)";
    },
    "");

const CLI::Validator kMsaa(
    [](const std::string& value) {
        int samples = -1;
        const bool known = parseInt(value, samples) &&
                           std::any_of(kMsaaLevels.begin(), kMsaaLevels.end(),
                                       [samples](const auto& level) { return level.first == samples; });
        return known ? std::string() : "bad multisample count '" + value + "' (expected 0, 2, 4, 8 or 16)";
    },
    "");

// --title without a value: the text stands for the song's own title, which no tag can spell.
constexpr const char* kTitleFromTags = "\x01tags";

// The options' texts until parse reads them.
struct OverlayOptions {
    std::string title;
    std::string cover;
    std::string format;
    // What a folder render gives the program it starts for one track: its video, and its song
    // unless that is the start-up music.
    std::optional<std::string> jobOutput;
    std::string jobTrack;
};

// A flag that may carry a value is declared as "--name{default}"; help shows it as --name[=VALUE].
class UsageFormatter : public CLI::Formatter {
  public:
    std::string make_option_name(const CLI::Option* option, bool positional) const override
    {
        std::string name = CLI::Formatter::make_option_name(option, positional);
        const auto brace = name.find('{');
        if (brace != std::string::npos) {
            name = name.substr(0, brace) + "[=" + option->get_type_name() + "]";
        }
        return name;
    }

    std::string make_option_opts(const CLI::Option* option) const override
    {
        // Such a flag takes no separate value, so its value's name is already in its own.
        const bool flagWithValue = option->get_expected_max() == 0 && option->get_type_size() != 0;
        return flagWithValue ? std::string() : CLI::Formatter::make_option_opts(option);
    }
};

// The parser bound to `result`'s fields; `usage` builds one without a result to print from.
std::unique_ptr<CLI::App> makeParser(CommandLine& result, std::string& windowSize, std::string& scene,
                                     std::string& renderSize, std::string& liveInput,
                                     OverlayOptions& overlays)
{
    auto parser = std::make_unique<CLI::App>(
        "An audio-reactive music visualizer. Without arguments it plays its start-up music full screen.",
        "mirvo");
    parser->set_help_flag();
    parser->footer("Keys: Alt+Right / Alt+Left next / previous scene, Space pause, N / P next / previous "
                   "track, Right / Left seek 5 s (with Shift 30 s), R repeat off / queue / track, X shuffle, "
                   "T panels, D desktop sound / music, Ctrl+Q quit.");
    parser->formatter(std::make_shared<UsageFormatter>());
    parser->get_formatter()->column_width(28);

    parser
        ->add_option("FILE", result.musicFiles,
                     "play these audio files and folders in order instead of the start-up music")
        ->type_name("");
    parser->add_flag("--repeat", result.repeat, "play the files again after the last one")
        ->disable_flag_override();
    parser->add_flag("--shuffle", result.shuffle, "play the files in a random order, each once a round")
        ->disable_flag_override();
    parser
        ->add_flag("--windowed{" + std::string(kDefaultWindowSize) + "}", windowSize,
                   "open a window instead of going full screen (default 1280x720, or the size it had last)")
        ->type_name("WxH")
        ->check(CLI::Validator(checkWindowSize, ""));
    parser->add_option("--audio-device", result.audioDevice, "play through the output device called NAME")
        ->type_name("NAME")
        ->check(kNotEmpty);
    parser
        ->add_flag(
            "--input{default}", liveInput,
            "start with live input: what the desktop plays, or the source NAME of --list-audio-devices; "
            "app:NAME: that application's sound alone; playing: that of the player the media controls say "
            "plays")
        ->type_name("NAME");
    parser
        ->add_option("--av-offset", result.avOffsetMs,
                     "show the spectrum MS later (negative: earlier) than the output's latency says")
        ->type_name("MS")
        ->check(kOffset);
    parser
        ->add_flag_callback(
            "--no-av-sync", [&result] { result.avSync = false; },
            "take the spectrum as rendered, not as heard through the output's latency")
        ->disable_flag_override();
    parser
        ->add_flag("--report-spectrum-peak", result.reportSpectrumPeak,
                   "print the spectrum's loudest bin on standard error every 10 frames (for tests)")
        ->disable_flag_override();
    parser
        ->add_option("--log-frames", result.frameLogPath,
                     "write each drawn frame's wall-clock time and spectrum energy to PATH (for measuring)")
        ->type_name("PATH")
        ->check(kNotEmpty);
    parser
        ->add_option("--scene", scene,
                     "first scene: galaxy, tree, triangles or a shader scene's name (default the first "
                     "--shader, else the one chosen last, else galaxy)")
        ->type_name("NAME")
        ->check(kNotEmpty);
    parser
        ->add_option("--shader", result.shaderPaths,
                     "add the shader file PATH as a scene, or every .glsl and .frag file in the folder PATH")
        ->type_name("PATH")
        ->check(kNotEmpty)
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    parser->add_option("--frames", result.frames, "quit after N frames")
        ->type_name("N")
        ->check(kPositiveCount);
    parser
        ->add_option("--msaa", result.msaa,
                     "multisample the window N times: 0, 2, 4, 8 or 16 (default 16, or the most the GL has; "
                     "none on a software renderer, the scenes smoothing their own edges)")
        ->type_name("N")
        ->check(kMsaa);
    parser->add_flag(
        "--no-adaptive-scale", result.noAdaptiveScale,
        "draw every scene at the window's full size, however slowly the GL draws it (by default "
        "Galaxy and shader scenes draw smaller and are scaled up while frames come slower than 60 a "
        "second)");
    parser
        ->add_option("--screenshot", result.screenshotPath,
                     "with --frames: write the last frame to PATH as PNG")
        ->type_name("PATH")
        ->check(kNotEmpty);
    parser
        ->add_flag_callback(
            "--no-notices", [&result] { result.notices = false; },
            "show no notices over the visuals (what plays, failed drops, pause)")
        ->disable_flag_override();
    parser
        ->add_flag("--report-startup", result.reportStartup,
                   "print the wall-clock time when the first frame is drawn")
        ->disable_flag_override();
    parser
        ->add_option("--test-drop", result.testDropFiles,
                     "drop FILE on the window after the first frame (for tests)")
        ->type_name("FILE")
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    parser
        ->add_flag("--test-drop-one-by-one", result.testDropOneByOne,
                   "drop the --test-drop files one per frame, not all at once")
        ->disable_flag_override();

    parser
        ->add_option(
            "--render", result.renderPath,
            "render FILE (or the start-up music) to the video OUT (.mp4, .mkv, .webm, .y4m) and exit; "
            "several files or folders make one video with a chapter a track, or in a folder OUT/ one a track")
        ->type_name("OUT")
        ->check(kNotEmpty);
    parser
        ->add_option(
            "--size", renderSize,
            "with --render: the video's size, or vertical (1080x1920), square (1080x1080), 1080p, 4k "
            "(default 1920x1080)")
        ->type_name("WxH")
        ->check(CLI::Validator(checkRenderSize, ""));
    parser->add_option("--fps", result.renderFps, "with --render: frames per second, 1 to 240 (default 60)")
        ->type_name("N")
        ->check(kFrameRate);
    parser
        ->add_option("--crf", result.renderCrf,
                     "with --render: the encoder's quality, lower is better (default 20; 31 for .webm)")
        ->type_name("N")
        ->check(kCrf);
    parser
        ->add_option("--scene-interval", result.sceneInterval,
                     "with --render: seconds of video between scene changes, 0 never (default 15)")
        ->type_name("S")
        ->check(kSeconds);
    parser->add_flag("--spectrum", result.renderSpectrum, "with --render: draw the spectrum over the scenes")
        ->disable_flag_override();
    parser->add_flag("--overwrite", result.overwrite, "with --render: replace OUT if it exists")
        ->disable_flag_override();
    parser
        ->add_option("--preset", result.renderPreset,
                     "with --render: the H.264 encoder's speed, ultrafast to veryslow (default superfast)")
        ->type_name("NAME")
        ->check(CLI::IsMember(CommandLine::renderPresets()).description(""));
    parser
        ->add_flag("--render-stats", result.renderStats,
                   "with --render: say at the end where the time went (times the GL phases apart)")
        ->disable_flag_override();

    // What a video shows over its scenes.
    parser
        ->add_flag("--title{" + std::string(kTitleFromTags) + "}", overlays.title,
                   "with --render: show the song's title and artist from its tags, or TEXT (--title=TEXT)")
        ->type_name("TEXT");
    parser
        ->add_flag("--cover{corner}", overlays.cover,
                   "with --render: show the song's cover (its own, else cover.jpg, folder.jpg or front.png "
                   "beside it) in a corner, or centred (--cover=centre)")
        ->type_name("corner|centre")
        ->check(CLI::IsMember({"corner", "centre", "center"}).description(""));
    parser
        ->add_flag("--progress", result.renderProgress,
                   "with --render: draw a thin bar of the song's elapsed share along the bottom")
        ->disable_flag_override();
    parser
        ->add_option(
            "--jobs", result.renderJobs,
            "with --render OUTDIR/: render N tracks at once (default: two, or half the cores where more)")
        ->type_name("N")
        ->check(kPositiveCount);
    parser
        ->add_option("--format", overlays.format,
                     "with --render OUTDIR/: the videos' container, mp4, mkv, webm or y4m (default mp4)")
        ->type_name("EXT")
        ->check(CLI::IsMember({"mp4", "mkv", "webm", "y4m"}).description(""));
    parser->add_option("--job-track", overlays.jobTrack)->group("");
    parser->add_option("--job-output", overlays.jobOutput)->group("");

    // The settings kept between runs.
    parser
        ->add_flag("--no-settings", result.noSettings,
                   "neither read nor write the settings kept between runs (panels, scene, window size, "
                   "--msaa)")
        ->disable_flag_override();
    parser
        ->add_flag("--reset-settings", result.resetSettings,
                   "remove the settings kept between runs first, and start from the defaults")
        ->disable_flag_override();

    struct Informational {
        const char* name;
        CommandLine::Action action;
        const char* help;
    };
    for (const Informational& option :
         {Informational{"--list-audio-devices", CommandLine::Action::LIST_AUDIO_DEVICES,
                        "list the audio devices and exit"},
          Informational{"--benchmark", CommandLine::Action::BENCHMARK,
                        "measure the frame cost of every scene and exit"},
          Informational{"--help", CommandLine::Action::HELP, "show this help and exit"},
          Informational{"--version", CommandLine::Action::VERSION, "show the version and exit"}}) {
        parser
            ->add_flag_callback(
                option.name, [&result, action = option.action] { result.action = action; }, option.help)
            ->disable_flag_override();
    }
    return parser;
}

std::string lowerCase(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// The render options mean nothing to a window, and the container must be known before any work.
void checkRenderOptions(const CLI::App& parser, const CommandLine& result)
{
    if (!result.renderPath) {
        for (const char* option :
             {"--size", "--fps", "--crf", "--scene-interval", "--spectrum", "--overwrite", "--preset",
              "--render-stats", "--title", "--cover", "--progress", "--jobs", "--format"}) {
            if (parser.count(option) > 0) {
                throw CommandLineError(std::string(option) + " needs --render OUT");
            }
        }
        return;
    }
    for (const char* option : {"--jobs", "--format"}) {
        if (!result.renderToFolder && !result.renderJob && parser.count(option) > 0) {
            throw CommandLineError(std::string(option) + " needs --render OUTDIR/ (a folder)");
        }
    }
    const std::string extension = lowerCase(std::filesystem::path(*result.renderPath).extension().string());
    const std::vector<std::string>& supported = CommandLine::renderExtensions();
    if (!result.renderToFolder &&
        std::find(supported.begin(), supported.end(), extension) == supported.end()) {
        std::string list;
        for (const std::string& known : supported) {
            list += (list.empty() ? "" : ", ") + known;
        }
        throw CommandLineError("cannot render to '" + *result.renderPath + "': no video container for '" +
                               extension + "' (supported: " + list + ", or OUT/ for a video a track)");
    }
    if (result.action == CommandLine::Action::BENCHMARK || result.frames || result.windowed) {
        throw CommandLineError("--render does not go with a window's options");
    }
    if (result.repeat || result.shuffle) {
        throw CommandLineError("--render plays the music once, in order: not with --repeat or --shuffle");
    }
}

} // namespace

CommandLine CommandLine::parse(const std::vector<std::string>& args)
{
    CommandLine result;
    std::string windowSize;
    std::string scene;
    std::string renderSize;
    std::string liveInput;
    OverlayOptions overlays;
    std::unique_ptr<CLI::App> parser = makeParser(result, windowSize, scene, renderSize, liveInput, overlays);

    // CLI11 takes the arguments last first, without the program name.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    if (!reversed.empty()) {
        reversed.pop_back();
    }
    try {
        parser->parse(reversed);
    } catch (const CLI::ParseError& error) {
        std::string message = error.what();
        for (char& c : message) {
            if (c == '\n') {
                c = ' ';
            }
        }
        throw CommandLineError(message + " (see --help)");
    }

    if (parser->count("--input") > 0) {
        result.liveInput = liveInput == "default" ? std::string() : liveInput;
        if (liveInput == "app:") {
            throw CommandLineError(
                "--input=app:NAME needs the name of an application (see --list-audio-devices)");
        }
    }
    if (!windowSize.empty()) {
        result.windowed = true;
        result.windowSizeGiven = windowSize != kDefaultWindowSize;
        if (result.windowSizeGiven) {
            result.windowSize = parseWindowSize(windowSize);
        }
    }
    result.sceneName = scene;
    if (result.screenshotPath && !result.frames) {
        throw CommandLineError("--screenshot needs --frames N (the screenshot is of the last frame)");
    }
    if (!renderSize.empty()) {
        result.renderSize = namedRenderSize(renderSize).value_or(parseWindowSize(renderSize));
    }
    if (parser->count("--title") > 0) {
        result.renderTitle = overlays.title == kTitleFromTags ? std::string() : overlays.title;
    }
    if (parser->count("--cover") > 0) {
        result.renderCover =
            overlays.cover == "corner" ? CommandLine::CoverPlace::CORNER : CommandLine::CoverPlace::CENTRE;
    }
    if (overlays.jobOutput) {
        result.renderJob = true;
        result.renderPath = overlays.jobOutput;
        result.musicFiles.clear();
        if (!overlays.jobTrack.empty()) {
            result.musicFiles.push_back(overlays.jobTrack);
        }
    }
    if (result.renderPath && !result.renderJob) {
        std::error_code error;
        result.renderToFolder =
            result.renderPath->back() == '/' || std::filesystem::is_directory(*result.renderPath, error);
    }
    if (!overlays.format.empty()) {
        result.renderFormat = "." + overlays.format;
    }
    checkRenderOptions(*parser, result);
    return result;
}

int CommandLine::antiAliasingLevel() const
{
    for (const auto& [samples, level] : kMsaaLevels) {
        if (msaa && *msaa == samples) {
            return level;
        }
    }
    return kDefaultAntiAliasingLevel;
}

bool CommandLine::isBuiltInScene(const std::string& name)
{
    return std::find(kSceneNames.begin(), kSceneNames.end(), name) != kSceneNames.end();
}

std::string CommandLine::usage()
{
    CommandLine unused;
    std::string windowSize;
    std::string scene;
    std::string renderSize;
    std::string liveInput;
    OverlayOptions overlays;
    return makeParser(unused, windowSize, scene, renderSize, liveInput, overlays)->help();
}

const std::vector<std::string>& CommandLine::renderExtensions()
{
    static const std::vector<std::string> extensions = {".mp4", ".mkv", ".webm", ".y4m"};
    return extensions;
}

const std::vector<std::string>& CommandLine::renderPresets()
{
    static const std::vector<std::string> presets = {"ultrafast", "superfast", "veryfast", "faster",  "fast",
                                                     "medium",    "slow",      "slower",   "veryslow"};
    return presets;
}

} // namespace mirvo
