// The program's command line: what `main` reads before the application starts. Without
// arguments every field keeps the behaviour of a plain start (full screen, the start-up
// music, the galaxy first, running until quit).
#pragma once

#include "core/Vec.h"

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace mirvo {

// A command line that cannot be run; the message is one line for the user.
class CommandLineError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct CommandLine {
    enum class Action { RUN, HELP, VERSION, LIST_AUDIO_DEVICES, BENCHMARK };

    Action action = Action::RUN;
    // Files and folders to play, in order, in place of the start-up music.
    std::vector<std::string> musicFiles;
    // Start the queue again after its last track, or play it in a random order.
    bool repeat = false;
    bool shuffle = false;
    bool windowed = false;
    Vec2i windowSize{1280, 720};
    // --windowed=WxH, not the default size.
    bool windowSizeGiven = false;
    std::optional<std::string> audioDevice;
    // --input: start with live input on from this source; empty names the monitor of the
    // default output (what the desktop plays).
    std::optional<std::string> liveInput;
    // The spectrum of the audio being heard at each frame's display time, the output's latency
    // and avOffsetMs later than it is rendered; off: the window the monitor has queued longest.
    bool avSync = true;
    float avOffsetMs = 0.0f;
    // Test and measuring aids: the spectrum's peak bin on standard error every few frames, and
    // one line per drawn frame (its wall-clock time and spectrum energy) into a file.
    bool reportSpectrumPeak = false;
    std::optional<std::string> frameLogPath;
    // The name of the first scene: a built-in scene's or a shader file's stem; empty for the
    // first of the rotation.
    std::string sceneName;
    // --shader: shader files and folders of them, each a scene.
    std::vector<std::string> shaderPaths;
    std::optional<int> frames;
    // --msaa: the window's multisample count (0, 2, 4, 8 or 16) in place of the default level.
    std::optional<int> msaa;
    // --no-adaptive-scale: no scene draws smaller to hold the frame rate.
    bool noAdaptiveScale = false;
    std::optional<std::string> screenshotPath;
    // Print the wall-clock time at the end of the first frame's drawing (start-up figures).
    bool reportStartup = false;
    // Files handed to the window's drop path after the first frame, as one drop, or with
    // testDropOneByOne as one drop each on successive frames.
    std::vector<std::string> testDropFiles;
    bool testDropOneByOne = false;
    // Draw the notices (what plays, failed drops, paused); frame-comparing tests turn them off.
    bool notices = true;
    // --render: the video to write instead of opening a window, and how it is made.
    std::optional<std::string> renderPath;
    Vec2i renderSize{1920, 1080};
    int renderFps = 60;
    std::optional<int> renderCrf;
    // Seconds of video between scene changes; 0 keeps the first scene throughout.
    float sceneInterval = 15.0f;
    bool renderSpectrum = false;
    bool overwrite = false;
    // The H.264 encoder's speed preset; empty: the render's default.
    std::string renderPreset;
    // Print where the render's time went when it ends.
    bool renderStats = false;
    // What a video shows over its scenes. --title: the song's title and artist from its tags
    // (an empty text), or the text given; --cover: the song's cover, in a corner or centred;
    // --progress: a bar of the elapsed share along the bottom.
    std::optional<std::string> renderTitle;
    enum class CoverPlace { NONE, CORNER, CENTRE };
    CoverPlace renderCover = CoverPlace::NONE;
    bool renderProgress = false;
    // The settings kept between runs: --no-settings neither reads nor writes them,
    // --reset-settings removes them first.
    bool noSettings = false;
    bool resetSettings = false;
    // --render OUTDIR/ (or an existing folder): one video per track, named after it, in the
    // container --format names, --jobs at once (0: as many as the machine's cores allow).
    bool renderToFolder = false;
    std::string renderFormat = ".mp4";
    int renderJobs = 0;
    // Set on the program a folder render starts for one of its tracks: its progress goes to
    // that render as lines it reads.
    bool renderJob = false;

    // Throws CommandLineError for unknown options, missing or bad values.
    static CommandLine parse(const std::vector<std::string>& args);
    // The renderer's anti-aliasing level for the window: the default, or the one --msaa names.
    int antiAliasingLevel() const;
    // The --help text, made from the same declarations that parse reads.
    static std::string usage();
    // One of the scenes every run has: galaxy, tree or triangles.
    static bool isBuiltInScene(const std::string& name);
    // The file name extensions --render writes, with a dot, in the order --help lists them.
    static const std::vector<std::string>& renderExtensions();
    // The H.264 speed presets --preset takes, fastest first.
    static const std::vector<std::string>& renderPresets();
};

} // namespace mirvo
