// The application: start-up settings, the audio graph, the three scenes and switching
// between them, the shared spectrum with its gain ramp, the panels, keys and file drops.
// Everything runs on the main thread inside the framework's frame and event callbacks;
// the audio graph is touched only through its thread-safe node operations.
#pragma once

#include "app/AppBasic.h"
#include "core/Path2d.h"
#include "params/InterfaceGl.h"
#include "src/CommandLine.h"
#include "src/FrameBenchmark.h"
#include "src/Notices.h"
#include "src/Visualizer.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mirvo::audio {
class FilePlayerNode;
class InputDeviceNode;
class SourceFile;
} // namespace mirvo::audio

namespace mirvo::params {
class NoticeDrawer;
} // namespace mirvo::params

namespace mirvo {

class BareStars;
class Galaxy;
class Tree;

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

    // Takes the scenes (they live until the process ends), sets them up in order and
    // activates the first.
    void setupVisualizers(std::vector<Visualizer*> visualizers);
    // One frame's update as of `elapsedSeconds` since the start: the time step, the spectrum,
    // the current scene and the countdown to the next scene. update() passes the
    // application's clock; the tests pass their own.
    void advanceFrame(float elapsedSeconds);

    Notices& getNotices() { return mNotices; }

    std::size_t getCurrentVisualizer() const { return mCurrentVisualizer; }
    std::size_t getNumVisualizers() const { return mVisualizers.size(); }
    bool isUiVisible() const { return mUiVisible; }
    // What main returns: 0, or 1 after a start-up failure.
    int getExitCode() const { return mExitCode; }

  private:
    void setupAudio();
    bool hasAudioInput();
    void setupVisualizers();
    void shapeSpectrum();
    void updateSpectrumPath();
    void drawSpectrum();
    void drawNotices();
    void postTrackNotice(const audio::SourceFile& source, const std::string& fileName);
    // Replaces the music with sourceFile from its start, and switches live input off.
    void playSource(const std::shared_ptr<audio::SourceFile>& sourceFile);
    void countFrameAndMaybeQuit();
    void dropTestFiles();
    void applyBenchmarkCase();
    void finishBenchmarkFrame();

    std::vector<Visualizer*> mVisualizers;
    std::size_t mCurrentVisualizer = 0;
    float mLastTime = 0.0f;
    float mDeltaTime = 0.0f;
    float mVisualGain = 50.0f;
    float mRampStart = 0.05f;
    float mRampEnd = 1.0f;
    float mSwitchInterval = 15.0f;
    float mSwitchCountdown = 15.0f;
    std::vector<float> mMagSpectrum;
    params::InterfaceGl mParams;
    std::shared_ptr<audio::InputDeviceNode> mInputDeviceNode;
    MonitorSpectralNodeRef mMonitor;
    std::shared_ptr<audio::FilePlayerNode> mFilePlayer;
    Path2d mSpectrumPath;
    bool mUiVisible = false;
    bool mDisplaySpectrum = false;
    int32_t mStartIdx = 1;
    int32_t mEndIdx = 511;

    CommandLine mCommandLine;
    int mExitCode = 0;
    bool mStarted = false;
    uint64_t mFramesDrawn = 0;
    app::RendererRef mRenderer;
    Galaxy* mGalaxy = nullptr;
    Tree* mTree = nullptr;
    std::unique_ptr<FrameBenchmark> mBenchmark;
    std::unique_ptr<BareStars> mBareStars;
    std::chrono::steady_clock::time_point mFrameStart;
    Notices mNotices;
    std::unique_ptr<params::NoticeDrawer> mNoticeDrawer;
};

} // namespace mirvo
