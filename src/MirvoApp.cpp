// The application controller: start-up, the per-frame spectrum and scene drive, keys and
// file drops, with the start-up choices the command line makes (window, first scene, music,
// output device, notices).
#include "src/MirvoApp.h"

#include "app/Renderer.h"
#include "audio/Context.h"
#include "audio/Device.h"
#include "audio/FilePlayerNode.h"
#include "audio/GainNode.h"
#include "audio/InputDeviceNode.h"
#include "audio/MonitorSpectralNode.h"
#include "audio/OutputDeviceNode.h"
#include "audio/OutputNode.h"
#include "audio/SourceFile.h"
#include "core/DataSource.h"
#include "core/Resources.h"
#include "gl/Draw.h"
#include "gl/Gl.h"
#include "gl/GlslProg.h"
#include "params/NoticeDrawer.h"
#include "src/FailureText.h"
#include "src/LiveInput.h"
#include "src/SpectrumOverlay.h"
#include "src/SpectrumShaping.h"
#include "src/scenes/Galaxy.h"
#include "src/scenes/Tree.h"
#include "src/scenes/Triangles.h"
#include "src/scenes/shader/ShaderScenes.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>

namespace mirvo {

namespace {

constexpr uint32_t kOptionKey = app::Event::ALT_DOWN;
// A failure a person can meet at start-up, already phrased for them.
class StartupError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

audio::SourceFileRef openSourceFile(const DataSourceRef& source, const std::string& name, size_t sampleRate)
{
    try {
        return audio::SourceFileRef(audio::load(source, sampleRate));
    } catch (const std::exception& exc) {
        throw StartupError("cannot play " + quotedName(name) + ": " + reasonForLog(exc));
    }
}

int64_t steadyNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Text grows with the screen, so that a notice stays readable from a distance on a large one.
constexpr float kNoticeReferenceHeight = 480.0f;

} // namespace

MirvoApp::MirvoApp(CommandLine commandLine) : mCommandLine(std::move(commandLine))
{
    setDefaults();
}

MirvoApp::~MirvoApp() = default;

void MirvoApp::prepareSettings(Settings* settings)
{
    settings->setFrameRate(80.0f);
    if (settings->getDefaultWindowFormat().getTitle().empty()) {
        settings->getDefaultWindowFormat().setTitle(settings->getTitle());
    }
    if (mCommandLine.windowed) {
        settings->setFullScreen(false);
        settings->setWindowSize(mCommandLine.windowSize);
    } else {
        settings->setFullScreen(true);
    }
}

void MirvoApp::setDefaults()
{
    mLastTime = 0.0f;
    mDeltaTime = 0.0f;
    mVisualGain = 50.0f;
    mRampStart = 0.05f;
    mRampEnd = 1.0f;
    mSwitchInterval = 15.0f;
    mSwitchCountdown = 15.0f;
    mUiVisible = false;
    mDisplaySpectrum = false;
    mStartIdx = 1;
    mEndIdx = 511;
}

void MirvoApp::setup()
{
    try {
        setDefaults();

        mParams = params::InterfaceGl("Spectrum", Vec2i(225, 200), ColorA(0.3f, 0.3f, 0.3f, 0.4f));
        const std::string indexOptions = "min=1 max=" + std::to_string(512) + " step=10";
        mParams.addParam("Start Idx", &mStartIdx, indexOptions, false);
        mParams.addParam("End Idx", &mEndIdx, indexOptions, false);
        mParams.addParam("Visual Gain", &mVisualGain, "min=0.01 max=100000.0 step=0.05", false);
        mParams.addParam("Ramp Start", &mRampStart, "min=0.01 max=100000.0 step=0.05", false);
        mParams.addParam("Ramp End", &mRampEnd, "min=0.01 max=100000.0 step=0.05", false);
        mParams.addParam("Display Spectrum", &mDisplaySpectrum, false);

        mRenderer = getWindow()->getRenderer();
        setupAudio();
        setupVisualizers();
        showFirstScene();
        hideCursor();
        startMediaControls();
        mStarted = true;
    } catch (const gl::GlslProgCompileExc& exc) {
        const std::string what = exc.what();
        const char* file = what.rfind("FRAGMENT", 0) == 0 ? "stars.frag" : "stars.vert";
        std::cerr << "mirvo: the shader '" << file << "' does not compile: " << oneLine(what) << std::endl;
        mExitCode = 1;
    } catch (const std::exception& exc) {
        std::cerr << "mirvo: cannot start: " << oneLine(exc.what()) << std::endl;
        mExitCode = 1;
    }
    if (!mStarted) {
        quit();
    }
}

bool MirvoApp::hasAudioInput()
{
    for (const audio::DeviceRef& device : audio::Device::getDevices()) {
        if (device->getNumInputChannels() > 0) {
            return true;
        }
    }
    std::cout << "No audio input!" << std::endl;
    return false;
}

void MirvoApp::setupAudio()
{
    audio::Context* context = audio::Context::master();
    if (mCommandLine.audioDevice) {
        const audio::DeviceRef device = audio::Device::findDeviceByName(*mCommandLine.audioDevice);
        if (!device || device->getNumOutputChannels() == 0) {
            throw StartupError("no audio output device called '" + *mCommandLine.audioDevice +
                               "' (see --list-audio-devices)");
        }
        context->setOutput(context->createOutputDeviceNode(device));
    }

    const bool hasInput = hasAudioInput();

    mMonitor = makeSpectrumMonitor(*context);

    if (hasInput) {
        mInputDeviceNode = context->createInputDeviceNode(audio::Device::getDefaultInput());
        mInputDeviceNode->connect(mMonitor);
    }

    const size_t sampleRate = context->getOutput()->getSampleRate();
    audio::SourceFileRef sourceFile;
    if (!mCommandLine.musicFiles.empty()) {
        sourceFile = openFirstTrack(sampleRate);
    } else {
        sourceFile = openSourceFile(app::loadResource("init.mp3"), "init.mp3", sampleRate);
        postTrackNotice(*sourceFile, "init.mp3");
    }
    mFilePlayer = context->makeNode(new audio::FilePlayerNode(sourceFile, true));

    auto listeningGain = context->makeNode(new audio::GainNode(0.9f));
    auto analysisGain = context->makeNode(new audio::GainNode(kAnalysisGain));

    mFilePlayer->connect(listeningGain);
    listeningGain->connect(context->getOutput());
    mFilePlayer->connect(analysisGain);
    analysisGain->connect(mMonitor);

    context->enable();

    mFilePlayer->enable();
    if (mQueue.current()) {
        queueAhead();
    }
    if (mInputDeviceNode) {
        mInputDeviceNode->disable();
    }

    mLiveInput = std::make_unique<LiveInput>(*context, mMonitor, mFilePlayer, mNotices);
    if (mCommandLine.liveInput) {
        mLiveInput->start(*mCommandLine.liveInput);
    }

    mMagSpectrum = mMonitor->getMagSpectrum();
}

MonitorSpectralNodeRef MirvoApp::makeSpectrumMonitor(audio::Context& context)
{
    auto monitorFormat =
        audio::MonitorSpectralNode::Format().windowSize(512).fftSize(2048).windowType(audio::dsp::HANN);
    return context.makeNode(new audio::MonitorSpectralNode(monitorFormat));
}

void MirvoApp::setupOffscreen(const MonitorSpectralNodeRef& monitor, Vec2i size, bool smoothEdges)
{
    mOffscreenSize = size;
    mOffscreenSmoothEdges = smoothEdges;
    mMonitor = monitor;
    mMagSpectrum = mMonitor->getMagSpectrum();
    mDisplaySpectrum = mCommandLine.renderSpectrum;
    setupVisualizers();
    showFirstScene();
}

void MirvoApp::shutdown()
{
    // The scenes and the notice drawer own GL objects, and the scenes hold the analysis end of
    // the audio graph. The window's context outlives shutdown, so free them here while it can
    // still be made current, instead of leaving them and the player's read thread to the
    // process exit. The panel layer has already ended on the shutdown signal; releasing the
    // panels now only lets go of their handles.
    mMediaControls.reset();
    if (mRenderer) {
        mRenderer->makeCurrentContext();
    }
    mVisualizers.clear();
    mNoticeDrawer.reset();
    mLiveInput.reset();
    mParams = params::InterfaceGl();
    mRenderer.reset();
}

void MirvoApp::setupVisualizers()
{
    std::vector<std::unique_ptr<Visualizer>> scenes;
    scenes.push_back(std::make_unique<Galaxy>(mMonitor, mMagSpectrum));
    auto tree = std::make_unique<Tree>(mMonitor, mMagSpectrum);
    tree->setWindowHeightSource([this] { return static_cast<float>(viewSize().y); });
    scenes.push_back(std::move(tree));
    scenes.push_back(std::make_unique<Triangles>(mMonitor, mMagSpectrum));
    ShaderScenes shaders =
        makeShaderScenes(mMonitor, mMagSpectrum, defaultShaderFolders(), mCommandLine.shaderPaths,
                         shaderReport(), shaderSourceGain(), !mOffscreenSize);
    mNotices.post(notice::failures(shaders.failures));
    mFirstShaderScene.reset();
    if (shaders.firstGiven) {
        mFirstShaderScene = scenes.size() + *shaders.firstGiven;
    }
    for (std::unique_ptr<ShaderScene>& scene : shaders.scenes) {
        if (mCommandLine.sceneName && scene->getName() == *mCommandLine.sceneName && !mFirstShaderScene) {
            mFirstShaderScene = scenes.size();
        }
        scenes.push_back(std::move(scene));
    }
    if (mOffscreenSize) {
        for (const std::unique_ptr<Visualizer>& scene : scenes) {
            scene->setWithoutPanels();
            scene->setSmoothEdges(mOffscreenSmoothEdges);
        }
    }
    setupVisualizers(std::move(scenes));
}

ShaderScene::Report MirvoApp::shaderReport()
{
    return [this](const std::string& line, bool failure) {
        if (failure) {
            std::cerr << "mirvo: " << line << std::endl;
        }
        mNotices.post({line});
    };
}

ShaderScene::SourceGain MirvoApp::shaderSourceGain()
{
    // Live input reaches the monitor as captured; the music through the analysis gain.
    return [this] { return mLiveInput && mLiveInput->isLive() ? 1.0f : kAnalysisGain; };
}

void MirvoApp::addDroppedShaders(const std::vector<std::filesystem::path>& files)
{
    ShaderScenes added =
        makeDroppedShaderScenes(mMonitor, mMagSpectrum, files, shaderReport(), shaderSourceGain());
    mNotices.post(notice::failures(added.failures));
    if (added.scenes.empty()) {
        return;
    }
    const std::size_t first = mVisualizers.size();
    for (std::unique_ptr<ShaderScene>& scene : added.scenes) {
        scene->setup();
        mVisualizers.push_back(std::move(scene));
    }
    setVisualizer(first);
}

void MirvoApp::showFirstScene()
{
    std::size_t first = mCommandLine.firstScene;
    if (mCommandLine.sceneName || (mFirstShaderScene && first == 0)) {
        if (!mFirstShaderScene) {
            throw StartupError("no scene called '" + *mCommandLine.sceneName + "'");
        }
        first = *mFirstShaderScene;
    }
    if (first != 0) {
        setVisualizer(first);
    }
}

void MirvoApp::setupVisualizers(std::vector<std::unique_ptr<Visualizer>> visualizers)
{
    for (std::unique_ptr<Visualizer>& visualizer : visualizers) {
        mVisualizers.push_back(std::move(visualizer));
    }
    mCurrentVisualizer = 0;
    for (const std::unique_ptr<Visualizer>& visualizer : mVisualizers) {
        visualizer->setup();
    }
    mVisualizers[0]->activate();
}

void MirvoApp::update()
{
    if (!mStarted) {
        return;
    }
    if (mMediaControls) {
        mMediaControls->poll();
    }
    mUpdateStartNs = steadyNowNs();
    if (mLiveInput) {
        mLiveInput->update();
    }
    advanceFrame(static_cast<float>(getElapsedSeconds()));
    if (mMediaControls) {
        mMediaControls->publish(getMediaState());
    }
}

void MirvoApp::advanceFrame(float elapsedSeconds)
{
    const float deltaSeconds = elapsedSeconds - mLastTime;
    mLastTime = elapsedSeconds;
    runFrame(deltaSeconds);
}

void MirvoApp::advanceFrameBy(float deltaSeconds, std::optional<uint64_t> spectrumEnd)
{
    mLastTime += deltaSeconds;
    mOffscreenSpectrumEnd = spectrumEnd;
    runFrame(deltaSeconds);
}

void MirvoApp::runFrame(float deltaSeconds)
{
    mDeltaTime = deltaSeconds;

    takeSpectrum();
    shapeSpectrum();
    if (mDisplaySpectrum) {
        updateSpectrumPath();
    }

    // The player has gone on to the track queued ahead without a gap, or, where it could not
    // take one ahead, stopped at the end of the file: the queue then plays the next one.
    if (mFilePlayer && mQueue.current() && mFilePlayer->getNumHandoffs() != mHandoffsSeen) {
        mQueue.next();
        mTrackStartTime = mLastTime;
        if (mFilePlayer->isEof()) {
            // Handed off just as the player found the end: play the track from the start.
            std::vector<notice::Failure> failures;
            playFromQueue(mQueue, mQueue.current(), failures);
            noteSkipped(failures);
        } else {
            if (mAheadSource) {
                postTrackNotice(*mAheadSource, mQueue.currentPath().filename().string());
            }
            queueAhead();
        }
    } else if (mFilePlayer && mQueue.current() && mFilePlayer->isEof()) {
        advanceAtEndOfTrack();
    }
    mNotices.post(notice::skipped(mSkippedSinceLastFrame));
    mSkippedSinceLastFrame = 0;

    mVisualizers[mCurrentVisualizer]->update(mDeltaTime);

    // However long the frame, one change at most: scenes skipped within one frame would
    // never be seen, and the next scene gets its whole interval.
    mSwitchCountdown -= mDeltaTime;
    if (mSwitchCountdown > 0.0f) {
        return;
    }
    mSwitchCountdown = mSwitchInterval;
    setVisualizer((mCurrentVisualizer + 1) % mVisualizers.size());
}

void MirvoApp::takeSpectrum()
{
    if (!mMonitor) {
        return;
    }
    // A frame of video shows the window that ends at its own moment of the music. The
    // monitor's own read hands over the oldest window queued, which lags the frame and, as
    // more is pulled per frame than one window holds, can miss a short sound altogether.
    if (mOffscreenSpectrumEnd) {
        mMagSpectrum = mMonitor->getMagSpectrumEndingAt(*mOffscreenSpectrumEnd);
        return;
    }
    // Offscreen frames have no display time, and without the sync the monitor's own read stands.
    if (!mCommandLine.avSync || mOffscreenSize) {
        mMagSpectrum = mMonitor->getMagSpectrum();
        return;
    }
    const audio::MonitorNode::WritePosition written = mMonitor->getWritePosition();
    // Live input was heard before it was captured: nothing to wait for.
    if (mLiveInput && mLiveInput->isLive()) {
        mMagSpectrum = mMonitor->getMagSpectrumEndingAt(written.frames);
        return;
    }
    double latency = 0.0;
    if (const std::optional<double> measured = mLiveInput ? mLiveInput->getPlaybackLatency() : std::nullopt) {
        latency = *measured;
    } else if (const auto output = std::dynamic_pointer_cast<audio::OutputDeviceNode>(
                   audio::Context::master()->getOutput())) {
        latency = output->getLatencySeconds();
    }
    const auto delayNs = static_cast<int64_t>((latency + mCommandLine.avOffsetMs * 1.0e-3) * 1.0e9);
    const size_t rate = audio::Context::master()->getOutput()->getSampleRate();
    const uint64_t end =
        audio::MonitorNode::heardFrame(written, mUpdateStartNs + mDisplayLeadNs, delayNs, rate);
    mMagSpectrum = mMonitor->getMagSpectrumEndingAt(end);
}

void MirvoApp::setSwitchInterval(float seconds)
{
    mSwitchInterval = seconds;
    mSwitchCountdown = seconds;
}

void MirvoApp::shapeSpectrum()
{
    mirvo::shapeSpectrum(mMagSpectrum, mVisualGain, mRampStart, mRampEnd);
}

void MirvoApp::updateSpectrumPath()
{
    const Vec2i size = viewSize();
    buildSpectrumPath(mSpectrumPath, mMagSpectrum, static_cast<float>(size.x), static_cast<float>(size.y));
}

Vec2i MirvoApp::viewSize() const
{
    return mOffscreenSize ? *mOffscreenSize : getWindowSize();
}

void MirvoApp::draw()
{
    clearUnlessTheSceneDoes();
    if (!mStarted) {
        return;
    }

    drawScene();
    drawPartDone(DrawPart::SCENE);

    if (mUiVisible) {
        for (const std::unique_ptr<Visualizer>& visualizer : mVisualizers) {
            if (InterfaceGlRef panel = visualizer->getParams()) {
                panel->draw();
            }
        }
        mParams.draw();
    }
    drawPartDone(DrawPart::PANELS);

    if (mDisplaySpectrum) {
        drawSpectrum();
    }
    if (mCommandLine.notices) {
        drawNotices();
    }
    drawPartDone(DrawPart::OVERLAY);
    if (mUpdateStartNs != 0) {
        const int64_t lead = steadyNowNs() - mUpdateStartNs;
        mDisplayLeadNs = mDisplayLeadNs == 0 ? lead : (mDisplayLeadNs * 7 + lead) / 8;
    }
}

void MirvoApp::drawOffscreen()
{
    clearUnlessTheSceneDoes();
    drawScene();
    if (mDisplaySpectrum) {
        drawSpectrum();
    }
}

void MirvoApp::clearUnlessTheSceneDoes()
{
    // On a software renderer a clear of the multisampled frame costs milliseconds, and a scene
    // that clears the frame itself would paint over this one unseen.
    const bool sceneDraws = (mStarted || mOffscreenSize) && !mVisualizers.empty();
    if (sceneDraws && mVisualizers[mCurrentVisualizer]->clearsWholeFrame()) {
        return;
    }
    gl::clear(ColorA(0.0f, 0.0f, 0.0f, 1.0f), true);
}

void MirvoApp::drawScene()
{
    gl::pushModelView();
    const Vec2i size = viewSize();
    gl::translate(Vec2f(static_cast<float>(size.x / 2), static_cast<float>(size.y / 2)));
    drawVisualizer();
    gl::popModelView();
}

void MirvoApp::drawVisualizer()
{
    mVisualizers[mCurrentVisualizer]->draw();
}

void MirvoApp::drawSpectrum()
{
    const Vec2i size = viewSize();
    const float height = static_cast<float>(size.y);
    const float width = static_cast<float>(size.x);

    glColor4f(1.0f, 0.2f, 0.2f, 1.0f);
    const float startX = spectrumBinX(static_cast<float>(mStartIdx), width);
    gl::drawLine(Vec2f(startX, height), Vec2f(startX, 0.9f * height));
    const float endX = spectrumBinX(static_cast<float>(mEndIdx), width);
    gl::drawLine(Vec2f(endX, height), Vec2f(endX, 0.8f * height));

    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    gl::draw(mSpectrumPath);
}

void MirvoApp::drawNotices()
{
    std::vector<params::NoticeBox> boxes;
    for (Notices::Shown& shown : mNotices.visible(mLastTime)) {
        boxes.push_back({std::move(shown.lines), shown.opacity});
    }
    if (boxes.empty()) {
        return;
    }
    if (!mNoticeDrawer) {
        mNoticeDrawer = std::make_unique<params::NoticeDrawer>();
    }
    const float contentScale = getWindow()->getContentScale();
    const float height = static_cast<float>(getWindowHeight());
    const float textScale = contentScale * std::max(1.0f, height / kNoticeReferenceHeight);
    mNoticeDrawer->draw(boxes, static_cast<int>(static_cast<float>(getWindowWidth()) * contentScale),
                        static_cast<int>(height * contentScale), textScale);
}

void MirvoApp::postTrackNotice(const audio::SourceFile& source, const std::string& fileName)
{
    const std::size_t rate = source.getSampleRate();
    const double seconds =
        rate > 0 ? static_cast<double>(source.getNumFrames()) / static_cast<double>(rate) : 0.0;
    mNotices.post({notice::track(source.getTitle(), source.getArtist(), fileName, seconds)});
    mNowPlaying = mediaTrack(++mTracksStarted, source.getTitle(), source.getArtist(), source.getAlbum(),
                             fileName, source.getNumFrames(), rate);
    mStopped = false;
}

void MirvoApp::noteSkipped(const std::vector<notice::Failure>& failures)
{
    mSkippedSinceLastFrame += failures.size();
}

void MirvoApp::keyDown(app::KeyEvent event)
{
    const bool option = (event.getModifiers() & kOptionKey) != 0;
    switch (event.getCode()) {
    case app::KeyEvent::KEY_RIGHT:
        if (option) {
            setVisualizer((mCurrentVisualizer + 1) % mVisualizers.size());
        }
        break;
    case app::KeyEvent::KEY_LEFT:
        if (option) {
            setVisualizer(mCurrentVisualizer == 0 ? mVisualizers.size() - 1 : mCurrentVisualizer - 1);
        }
        break;
    case app::KeyEvent::KEY_SPACE:
        if (mFilePlayer) {
            mFilePlayer->setEnabled(!mFilePlayer->isEnabled());
            mNotices.setPaused(!mFilePlayer->isEnabled());
            mStopped = false;
        }
        break;
    case app::KeyEvent::KEY_n:
        nextTrack();
        break;
    case app::KeyEvent::KEY_p:
        previousTrack();
        break;
    case app::KeyEvent::KEY_t:
        toggleUi();
        break;
    // Not L: the galaxy panel lowers a value with it, and panel shortcuts take keys first.
    case app::KeyEvent::KEY_d:
        if (mLiveInput) {
            mLiveInput->toggle();
        }
        break;
    default:
        break;
    }
}

void MirvoApp::setVisualizer(std::size_t index)
{
    if (index >= mVisualizers.size()) {
        throw std::range_error("Invalid visualizer idx given");
    }
    mVisualizers[mCurrentVisualizer]->deactivate();
    mCurrentVisualizer = index;
    mVisualizers[mCurrentVisualizer]->activate();
    // A shader that fails on its first show gives way to the next scene; the built-ins always show.
    for (std::size_t tried = 1;
         !mVisualizers[mCurrentVisualizer]->isShowable() && tried < mVisualizers.size(); ++tried) {
        mCurrentVisualizer = (mCurrentVisualizer + 1) % mVisualizers.size();
        mVisualizers[mCurrentVisualizer]->activate();
    }
}

void MirvoApp::toggleUi()
{
    const bool show = !mUiVisible;
    for (const std::unique_ptr<Visualizer>& visualizer : mVisualizers) {
        if (InterfaceGlRef panel = visualizer->getParams()) {
            if (show) {
                panel->show(true);
            } else {
                panel->hide();
            }
        }
    }
    mUiVisible = show;
    if (show) {
        mParams.show(true);
        showCursor();
    } else {
        mParams.hide();
        hideCursor();
    }
}

void MirvoApp::fileDrop(app::FileDropEvent event)
{
    // A drop makes a new queue of its files and folders; its first playable file replaces the
    // music at once, and the music plays on meanwhile. Files that cannot be played are skipped
    // with one line each on standard error and one notice for them all. A drop in which nothing
    // plays keeps the queue that was playing. Shader files join the scenes and the first shows.
    std::vector<std::filesystem::path> dropped;
    std::vector<std::filesystem::path> shaders;
    for (const std::filesystem::path& path : event.getFiles()) {
        (isShaderFile(path) ? shaders : dropped).push_back(path);
    }
    if (!shaders.empty()) {
        addDroppedShaders(shaders);
        if (dropped.empty()) {
            return;
        }
    }
    PlayQueue queue(collectTracks(dropped), queueOptions());
    std::vector<notice::Failure> failures;
    const std::optional<std::size_t> first = queue.start();
    if (playFromQueue(queue, first, failures)) {
        noteSkipped(failures);
        return;
    }
    if (queue.empty()) {
        // Only folders, and no audio in them: say so, or the drop would seem ignored.
        for (const std::filesystem::path& folder : dropped) {
            std::cerr << "mirvo: cannot play " << quotedName(folder.string()) << ": it holds no audio files"
                      << std::endl;
            failures.push_back({folder.filename().string(), "no audio files in it"});
        }
    }
    mNotices.post(notice::failures(failures));
}

PlayQueue::Options MirvoApp::queueOptions() const
{
    return {mCommandLine.repeat, mCommandLine.shuffle, std::random_device{}()};
}

audio::SourceFileRef MirvoApp::openFirstTrack(size_t sampleRate)
{
    const std::vector<std::string>& given = mCommandLine.musicFiles;
    PlayQueue queue(collectTracks({given.begin(), given.end()}), queueOptions());
    if (queue.empty()) {
        throw StartupError(given.size() == 1 ? "no audio files in '" + given.front() + "'"
                                             : std::string("no audio files in the folders given"));
    }
    std::vector<notice::Failure> failures;
    audio::SourceFileRef source;
    std::optional<std::size_t> index = queue.start();
    while (index && !source) {
        const std::filesystem::path& path = queue.getTracks()[*index];
        try {
            source = audio::SourceFileRef(audio::load(loadFile(path.string()), sampleRate));
        } catch (const std::exception& exc) {
            const std::string line = "cannot play " + quotedName(path.string()) + ": " + reasonForLog(exc);
            if (queue.size() == 1) {
                throw StartupError(line);
            }
            std::cerr << "mirvo: " << line << std::endl;
            failures.push_back({path.filename().string(), reasonForNotice(exc)});
            index = queue.skipUnplayable();
        }
    }
    if (!source) {
        throw StartupError("none of the " + std::to_string(queue.size()) + " files given can be played");
    }
    noteSkipped(failures);
    postTrackNotice(*source, queue.currentPath().filename().string());
    mQueue = std::move(queue);
    mTrackStartTime = 0.0f;
    return source;
}

bool MirvoApp::playFromQueue(PlayQueue& queue, std::optional<std::size_t> index,
                             std::vector<notice::Failure>& failures)
{
    while (index) {
        const std::filesystem::path& path = queue.getTracks()[*index];
        try {
            const audio::SourceFileRef sourceFile(audio::load(loadFile(path.string()), 0));
            if (mFilePlayer) {
                playSource(sourceFile);
                mNotices.setPaused(false);
                postTrackNotice(*sourceFile, path.filename().string());
            }
            if (&queue != &mQueue) {
                mQueue = std::move(queue);
            }
            mTrackStartTime = mLastTime;
            queueAhead();
            return true;
        } catch (const std::exception& exc) {
            std::cerr << "mirvo: cannot play " << quotedName(path.string()) << ": " << reasonForLog(exc)
                      << std::endl;
            failures.push_back({path.filename().string(), reasonForNotice(exc)});
            index = queue.skipUnplayable();
        }
    }
    return false;
}

void MirvoApp::queueAhead()
{
    if (!mFilePlayer) {
        return;
    }
    mHandoffsSeen = mFilePlayer->getNumHandoffs();
    mAheadSource.reset();
    // A track that does not open is told now and passed over, so that the one after it can
    // still follow without a gap.
    std::vector<notice::Failure> failures;
    for (std::optional<std::size_t> next = mQueue.peekNext(); next && !mAheadSource;
         next = mQueue.peekNext()) {
        const std::filesystem::path& path = mQueue.getTracks()[*next];
        try {
            mAheadSource = audio::SourceFileRef(audio::load(loadFile(path.string()), 0));
        } catch (const std::exception& exc) {
            std::cerr << "mirvo: cannot play " << quotedName(path.string()) << ": " << reasonForLog(exc)
                      << std::endl;
            failures.push_back({path.filename().string(), reasonForNotice(exc)});
            mQueue.markUnplayable(*next);
        }
    }
    noteSkipped(failures);
    if (!mFilePlayer->queueSourceFile(mAheadSource)) {
        mAheadSource.reset();
    }
}

void MirvoApp::advanceAtEndOfTrack()
{
    std::vector<notice::Failure> failures;
    playFromQueue(mQueue, mQueue.next(), failures);
    noteSkipped(failures);
}

void MirvoApp::nextTrack()
{
    // The last track without repeat has no next one: the key leaves it playing.
    if (!mQueue.current() || !mQueue.peekNext()) {
        return;
    }
    advanceAtEndOfTrack();
}

void MirvoApp::previousTrack()
{
    if (mQueue.empty()) {
        return;
    }
    std::vector<notice::Failure> failures;
    playFromQueue(mQueue, mQueue.previous(static_cast<double>(mLastTime - mTrackStartTime)), failures);
    noteSkipped(failures);
}

void MirvoApp::play()
{
    if (!mFilePlayer) {
        return;
    }
    if (mStopped || mFilePlayer->isEof()) {
        if (!mQueue.empty() && !mQueue.current()) {
            // The queue has played to its end: it starts again.
            std::vector<notice::Failure> failures;
            playFromQueue(mQueue, mQueue.start(), failures);
            noteSkipped(failures);
        } else {
            mFilePlayer->start();
            mTrackStartTime = mLastTime;
            // Stopping dropped the track queued to follow.
            queueAhead();
        }
        mStopped = false;
    } else {
        mFilePlayer->enable();
    }
    mNotices.setPaused(false);
}

void MirvoApp::pause()
{
    if (mFilePlayer && mFilePlayer->isEnabled()) {
        mFilePlayer->disable();
        mNotices.setPaused(true);
    }
}

void MirvoApp::playPause()
{
    if (getMediaState().status == PlaybackStatus::PLAYING) {
        pause();
    } else {
        play();
    }
}

void MirvoApp::stopPlayback()
{
    if (!mFilePlayer) {
        return;
    }
    mFilePlayer->stop();
    mStopped = true;
    mNotices.setPaused(false);
}

MediaState MirvoApp::getMediaState() const
{
    MediaState state;
    if (!mFilePlayer) {
        return state;
    }
    if (mStopped || mFilePlayer->isEof()) {
        state.status = PlaybackStatus::STOPPED;
    } else {
        state.status = mFilePlayer->isEnabled() ? PlaybackStatus::PLAYING : PlaybackStatus::PAUSED;
    }
    state.track = mNowPlaying;
    state.canGoNext = mQueue.current() && mQueue.peekNext();
    state.canGoPrevious = !mQueue.empty();
    state.canPlay = true;
    state.canPause = true;
    return state;
}

void MirvoApp::startMediaControls()
{
    // The benchmark and the renderer are no players a desktop should offer to control.
    if (mCommandLine.action != CommandLine::Action::RUN) {
        return;
    }
    MediaControls::Commands commands;
    commands.play = [this] { play(); };
    commands.pause = [this] { pause(); };
    commands.playPause = [this] { playPause(); };
    commands.stop = [this] { stopPlayback(); };
    // A desktop's Next and Previous move through the queue and leave a paused or stopped player
    // as it was; the N and P keys start the track they move to.
    const auto keepingStatus = [this](void (MirvoApp::*move)()) {
        const PlaybackStatus before = getMediaState().status;
        (this->*move)();
        if (before == PlaybackStatus::PAUSED) {
            pause();
        } else if (before == PlaybackStatus::STOPPED && !mStopped) {
            stopPlayback();
        }
    };
    commands.next = [keepingStatus] { keepingStatus(&MirvoApp::nextTrack); };
    commands.previous = [keepingStatus] { keepingStatus(&MirvoApp::previousTrack); };
    commands.quit = [this] { quit(); };
    commands.open = [this](const std::filesystem::path& path) {
        fileDrop(app::FileDropEvent(nullptr, 0, 0, {path}));
    };
    commands.positionMicros = [this] {
        if (!mFilePlayer) {
            return int64_t{0};
        }
        // The reader runs ahead of what is heard by what it has buffered.
        const size_t read = mFilePlayer->getReadPosition();
        const size_t buffered = mFilePlayer->getNumBufferedFrames();
        const auto heard = static_cast<int64_t>(read > buffered && !mStopped ? read - buffered : 0);
        const auto rate = static_cast<int64_t>(mFilePlayer->getSampleRate());
        return rate > 0 ? heard / rate * 1000000 + heard % rate * 1000000 / rate : int64_t{0};
    };
    mMediaControls = openMediaControls(std::move(commands));
}

void MirvoApp::playSource(const audio::SourceFileRef& sourceFile)
{
    // Swaps the music only once the file is ready to play; a failure throws and leaves it as it was.
    mFilePlayer->playSourceFile(sourceFile);
    if (mInputDeviceNode) {
        mInputDeviceNode->disable();
    }
    if (mLiveInput) {
        mLiveInput->stop();
    }
}

} // namespace mirvo
