// The application: start-up settings, the audio graph, the scenes and the spectrum they read
// (the stage, shared with the offline renderer), the "Spectrum" panel, keys and file drops,
// each handed to the part that does the work: the player plays, the stage shows, live input
// listens, the desktop's controls drive the player. What a run asks beyond that (frame limits,
// screenshots, the benchmark) lives in src/run/.
// Everything runs on the main thread inside the framework's frame and event callbacks;
// the audio graph is touched only through its thread-safe node operations.
#pragma once

#include "app/AppBasic.h"
#include "params/InterfaceGl.h"
#include "src/CommandLine.h"
#include "src/Notices.h"
#include "src/player/Player.h"
#include "src/scenes/Stage.h"
#include "src/scenes/shader/ShaderScenes.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace mirvo::audio {
class InputDeviceNode;
} // namespace mirvo::audio

namespace mirvo::params {
class NoticeDrawer;
} // namespace mirvo::params

namespace mirvo {

class LiveInput;
class PlayerControls;

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
    void mouseDown(app::MouseEvent event) override;
    void mouseDrag(app::MouseEvent event) override;
    void mouseUp(app::MouseEvent event) override;
    void fileDrop(app::FileDropEvent event) override;

    // Throws std::range_error for an index past the last scene, leaving the scene as it was.
    void setVisualizer(std::size_t index);
    void toggleUi();

    // One frame's update as of `elapsedSeconds` since the start: the time step, the spectrum,
    // the player, the current scene and the countdown to the next scene. update() passes the
    // application's clock; the tests pass their own.
    void advanceFrame(float elapsedSeconds);

    Notices& getNotices() { return mNotices; }
    Player& getPlayer() { return mPlayer; }
    // The scenes; one added here joins the rotation with no more to do.
    SceneSet& getScenes() { return mStage.getScenes(); }
    // The "Spectrum" panel; empty until setup.
    params::InterfaceGl& getPanel() { return mParams; }
    bool isUiVisible() const { return mUiVisible; }
    // The spectrum as the current frame shows it.
    const std::vector<float>& getShownSpectrum() const { return mStage.getSpectrum(); }
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

    std::vector<float>& getMagSpectrum() { return mStage.getSpectrum(); }
    const CommandLine& getCommandLine() const { return mCommandLine; }
    void setExitCode(int exitCode) { mExitCode = exitCode; }

  private:
    void setupAudio();
    bool hasAudioInput();
    // The frame's spectrum, from the audio heard when the frame shows unless that is turned off.
    void takeSpectrum();
    // What the output holds before it is heard: measured, or as the device states it.
    double outputLatencySeconds() const;
    void drawNotices();
    // Where shader scenes tell of themselves: failures on standard error, and a notice.
    ShaderScene::Report shaderReport();
    ShaderScene::SourceGain shaderSourceGain();

    Stage mStage;
    float mLastTime = 0.0f;
    float mDeltaTime = 0.0f;
    params::InterfaceGl mParams;
    std::shared_ptr<audio::InputDeviceNode> mInputDeviceNode;
    bool mUiVisible = false;

    CommandLine mCommandLine;
    int mExitCode = 0;
    bool mStarted = false;
    app::RendererRef mRenderer;
    Notices mNotices;
    Player mPlayer;
    std::unique_ptr<params::NoticeDrawer> mNoticeDrawer;
    std::unique_ptr<LiveInput> mLiveInput;
    // Null without a session bus.
    std::unique_ptr<PlayerControls> mPlayerControls;
    // Steady-clock nanoseconds from a frame's update to the end of its drawing, smoothed: how
    // far ahead of the update the frame shows.
    int64_t mUpdateStartNs = 0;
    int64_t mDisplayLeadNs = 0;
};

} // namespace mirvo
