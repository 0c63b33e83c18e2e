// The application: start-up settings, the audio graph, the three scenes and switching
// between them, the shared spectrum with its gain ramp, the panels, keys and file drops.
// What a run asks beyond that (frame limits, screenshots, the benchmark) lives outside it,
// beside main.
// Everything runs on the main thread inside the framework's frame and event callbacks;
// the audio graph is touched only through its thread-safe node operations.
#pragma once

#include "app/AppBasic.h"
#include "core/Path2d.h"
#include "params/InterfaceGl.h"
#include "src/CommandLine.h"
#include "src/MediaControls.h"
#include "src/Notices.h"
#include "src/PlayQueue.h"
#include "src/scenes/Visualizer.h"
#include "src/scenes/shader/ShaderScene.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mirvo::audio {
class Context;
class FilePlayerNode;
class InputDeviceNode;
class SourceFile;
} // namespace mirvo::audio

namespace mirvo::params {
class NoticeDrawer;
} // namespace mirvo::params

namespace mirvo {

class LiveInput;

class MirvoApp : public app::AppBasic {
  public:
    explicit MirvoApp(CommandLine commandLine = CommandLine());
    ~MirvoApp() override;

    void prepareSettings(Settings* settings) override;
    void setup() override;
    void shutdown() override;
    void update() override;
    void draw() override;
    void keyDown(app::KeyEvent event) override;
    void fileDrop(app::FileDropEvent event) override;

    // Throws std::range_error for an index past the last scene, leaving the scene as it was.
    void setVisualizer(std::size_t index);
    void toggleUi();

    // Takes the scenes, sets them up in order and activates the first. The controller owns
    // them from then on; they go in shutdown, while the GL context they draw with still exists.
    void setupVisualizers(std::vector<std::unique_ptr<Visualizer>> visualizers);
    // One frame's update as of `elapsedSeconds` since the start: the time step, the spectrum,
    // the current scene and the countdown to the next scene. update() passes the
    // application's clock; the tests pass their own.
    void advanceFrame(float elapsedSeconds);

    // The period of the automatic scene change; the countdown starts again from it.
    void setSwitchInterval(float seconds);

    // The analysis end of a music graph in `context`: the spectrum monitor every scene reads,
    // and the gain the music passes through on its way there.
    static MonitorSpectralNodeRef makeSpectrumMonitor(audio::Context& context);
    static constexpr float kAnalysisGain = 10.9f;

    // For drawing without a window (the video renderer): the scenes on `monitor`'s spectrum,
    // drawn at `size`, first scene and spectrum overlay as the command line says. With
    // `smoothEdges` the scenes smooth their own edges, for a frame without multisampling.
    void setupOffscreen(const MonitorSpectralNodeRef& monitor, Vec2i size, bool smoothEdges = false);
    // One frame's update with a time step of exactly `deltaSeconds`, on the spectrum of the
    // window that ends at frame `spectrumEnd` of the music (none: the monitor's own read).
    void advanceFrameBy(float deltaSeconds, std::optional<uint64_t> spectrumEnd = std::nullopt);
    // The frame as the window shows it, without panels and notices, into the bound framebuffer.
    void drawOffscreen();

    Notices& getNotices() { return mNotices; }
    // The files playing in turn: those of the command line or of the last drop that played.
    const PlayQueue& getQueue() const { return mQueue; }
    // The next and previous keys.
    void nextTrack();
    void previousTrack();
    // Space and the media controls. Play after a stop, or after the end of the queue, starts
    // the track (the queue) from its beginning.
    void play();
    void pause();
    void playPause();
    void stopPlayback();
    // What the media controls show now.
    MediaState getMediaState() const;

    std::size_t getCurrentVisualizer() const { return mCurrentVisualizer; }
    std::size_t getNumVisualizers() const { return mVisualizers.size(); }
    Visualizer& getVisualizer(std::size_t index) { return *mVisualizers.at(index); }
    bool isUiVisible() const { return mUiVisible; }
    // The spectrum as the current frame shows it.
    const std::vector<float>& getShownSpectrum() const { return mMagSpectrum; }
    // Null where the graph was built without it (offscreen); else whether it is on.
    LiveInput* getLiveInput() { return mLiveInput.get(); }
    // True once setup has built everything and the frames show the visuals.
    bool isStarted() const { return mStarted; }
    // What main returns: 0, or 1 after a start-up failure.
    int getExitCode() const { return mExitCode; }

  protected:
    // The benchmark run holds the spectrum still and draws its own floor in place of a scene.
    virtual void shapeSpectrum();
    virtual void drawVisualizer();
    // The parts of draw(), each reported as it ends, so that the benchmark can time them.
    enum class DrawPart { SCENE, PANELS, OVERLAY };
    virtual void drawPartDone(DrawPart /*part*/) {}

    std::vector<float>& getMagSpectrum() { return mMagSpectrum; }
    const CommandLine& getCommandLine() const { return mCommandLine; }
    void setExitCode(int exitCode) { mExitCode = exitCode; }

  private:
    // The values of a fresh start, for the constructor and for setup.
    void setDefaults();
    void setupAudio();
    bool hasAudioInput();
    void setupVisualizers();
    // The scene the command line asks to start with: --scene, else the first --shader.
    void showFirstScene();
    // Where shader scenes tell of themselves: failures on standard error, and a notice.
    ShaderScene::Report shaderReport();
    ShaderScene::SourceGain shaderSourceGain();
    // Dropped shader files join the rotation; the first that compiles shows at once.
    void addDroppedShaders(const std::vector<std::filesystem::path>& files);
    void runFrame(float deltaSeconds);
    // The window's size, or the offscreen size when drawing without one.
    Vec2i viewSize() const;
    void drawScene();
    // The frame's spectrum, from the audio heard when the frame shows unless that is turned off.
    void takeSpectrum();
    // The frame's black clear, left out when the scene about to draw clears the frame itself.
    void clearUnlessTheSceneDoes();
    void updateSpectrumPath();
    void drawSpectrum();
    void drawNotices();
    // Tells of a track that starts: its notice, and the track the media controls show.
    void postTrackNotice(const audio::SourceFile& source, const std::string& fileName);
    // Files of a queue that plays, found unplayable since the last frame: one notice counts them.
    void noteSkipped(const std::vector<notice::Failure>& failures);
    void startMediaControls();
    // Replaces the music with sourceFile from its start, and switches live input off.
    void playSource(const std::shared_ptr<audio::SourceFile>& sourceFile);
    // Plays queue's track `index`, or the first playable one after it, and makes queue the one
    // that plays; what cannot be played is told on standard error and collected in failures.
    // False when nothing in the queue from index on plays; the music is then left as it was.
    bool playFromQueue(PlayQueue& queue, std::optional<std::size_t> index,
                       std::vector<notice::Failure>& failures);
    // Builds the queue of the command line and opens its first playable track; throws
    // StartupError when nothing in it plays.
    std::shared_ptr<audio::SourceFile> openFirstTrack(std::size_t sampleRate);
    PlayQueue::Options queueOptions() const;
    // Opens the track after the current one and hands it to the player to follow without a
    // gap; a track that does not open is left for the end of the current one to report.
    void queueAhead();
    // The end of a track moves the queue on; after its last track the music stays stopped.
    void advanceAtEndOfTrack();

    std::vector<std::unique_ptr<Visualizer>> mVisualizers;
    std::size_t mCurrentVisualizer = 0;
    std::optional<std::size_t> mFirstShaderScene;
    float mLastTime;
    float mDeltaTime;
    float mVisualGain;
    float mRampStart;
    float mRampEnd;
    float mSwitchInterval;
    float mSwitchCountdown;
    std::vector<float> mMagSpectrum;
    params::InterfaceGl mParams;
    std::shared_ptr<audio::InputDeviceNode> mInputDeviceNode;
    MonitorSpectralNodeRef mMonitor;
    std::shared_ptr<audio::FilePlayerNode> mFilePlayer;
    Path2d mSpectrumPath;
    bool mUiVisible;
    bool mDisplaySpectrum;
    int32_t mStartIdx;
    int32_t mEndIdx;
    std::optional<Vec2i> mOffscreenSize;
    bool mOffscreenSmoothEdges = false;
    // The music frame the spectrum of this offscreen frame ends at.
    std::optional<uint64_t> mOffscreenSpectrumEnd;

    CommandLine mCommandLine;
    int mExitCode = 0;
    bool mStarted = false;
    app::RendererRef mRenderer;
    Notices mNotices;
    PlayQueue mQueue;
    // The application time at which the current track started, for the previous key.
    float mTrackStartTime = 0.0f;
    // The hand-offs to a queued track seen so far, so that each moves the queue on once.
    uint64_t mHandoffsSeen = 0;
    // The track handed to the player to follow, for its notice once it plays.
    std::shared_ptr<audio::SourceFile> mAheadSource;
    std::unique_ptr<params::NoticeDrawer> mNoticeDrawer;
    std::size_t mSkippedSinceLastFrame = 0;
    // Null without a session bus.
    std::unique_ptr<MediaControls> mMediaControls;
    std::optional<MediaTrack> mNowPlaying;
    uint64_t mTracksStarted = 0;
    // Stopped by the media controls: Play starts the track again from its beginning.
    bool mStopped = false;
    std::unique_ptr<LiveInput> mLiveInput;
    // Steady-clock nanoseconds from a frame's update to the end of its drawing, smoothed: how
    // far ahead of the update the frame shows.
    int64_t mUpdateStartNs = 0;
    int64_t mDisplayLeadNs = 0;
};

} // namespace mirvo
