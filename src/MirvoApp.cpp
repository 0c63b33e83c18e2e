// The application controller: start-up, the per-frame drive of the stage and the player, keys
// and file drops, with the start-up choices the command line makes (window, first scene, music,
// output device, notices).
#include "src/MirvoApp.h"

#include "app/Renderer.h"
#include "app/RendererGl.h"
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
#include "gl/GlslProg.h"
#include "params/NoticeDrawer.h"
#include "src/FailureText.h"
#include "src/desktop/PlayerControls.h"
#include "src/desktop/PlayerWatch.h"
#include "src/live/LiveInput.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>

namespace mirvo {

namespace {

constexpr uint32_t kOptionKey = app::Event::ALT_DOWN;
// The arrow keys' seeks, plain and with Shift.
using StartupError = Player::StartupError;

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

MirvoApp::MirvoApp(CommandLine commandLine)
    : mCommandLine(std::move(commandLine)), mPlayer(mNotices, mCommandLine.repeat, mCommandLine.shuffle)
{
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

void MirvoApp::setup()
{
    try {
        mParams = params::InterfaceGl("Spectrum", Vec2i(225, 200), ColorA(0.3f, 0.3f, 0.3f, 0.4f));
        mStage.bindPanel(mParams);

        mRenderer = getWindow()->getRenderer();
        setupAudio();
        // A window drawn without samples because its GL rasterises on the CPU (see main): the
        // scenes smooth their own edges. --msaa 0 asks for none of either.
        const auto* renderer = dynamic_cast<const app::RendererGl*>(mRenderer.get());
        const bool smoothEdges = !mCommandLine.msaa && renderer && renderer->getAntiAliasing() == 0;
        mStage.getScenes().allowAdaptiveScale(!mCommandLine.noAdaptiveScale);
        mStage.addStandardScenes([this] { return static_cast<float>(getWindowHeight()); }, false,
                                 smoothEdges);
        std::vector<notice::Failure> shaderFailures;
        const std::optional<std::string> firstShader = addShaderScenes(
            mStage, mCommandLine.shaderPaths, shaderReport(), shaderSourceGain(), true, shaderFailures);
        mNotices.post(notice::failures(shaderFailures));
        SceneSet& scenes = mStage.getScenes();
        scenes.setup();
        // --scene, else the first shader the command line names.
        const std::string firstName =
            mCommandLine.sceneName.empty() ? firstShader.value_or("") : mCommandLine.sceneName;
        if (const std::optional<std::size_t> first = scenes.find(firstName); first && *first != 0) {
            scenes.select(*first);
        }
        hideCursor();
        // The benchmark and the renderer are no players a desktop should offer to control.
        if (mCommandLine.action == CommandLine::Action::RUN) {
            mPlayerControls = PlayerControls::open(mPlayer, [this] { quit(); });
        }
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

    const MonitorSpectralNodeRef monitor = Stage::makeSpectrumMonitor(*context);
    mStage.setMonitor(monitor);

    if (hasInput) {
        mInputDeviceNode = context->createInputDeviceNode(audio::Device::getDefaultInput());
        mInputDeviceNode->connect(monitor);
    }

    const size_t sampleRate = context->getOutput()->getSampleRate();
    audio::SourceFileRef sourceFile;
    if (!mCommandLine.musicFiles.empty()) {
        sourceFile = mPlayer.openFirst(mCommandLine.musicFiles, sampleRate);
    } else {
        sourceFile = openSourceFile(app::loadResource("init.mp3"), "init.mp3", sampleRate);
        mPlayer.announce(*sourceFile, "init.mp3");
    }
    auto filePlayer = context->makeNode(new audio::FilePlayerNode(sourceFile, true));

    auto listeningGain = context->makeNode(new audio::GainNode(0.9f));
    auto analysisGain = context->makeNode(new audio::GainNode(Stage::kAnalysisGain));

    filePlayer->connect(listeningGain);
    listeningGain->connect(context->getOutput());
    filePlayer->connect(analysisGain);
    analysisGain->connect(monitor);

    context->enable();

    filePlayer->enable();
    if (mInputDeviceNode) {
        mInputDeviceNode->disable();
    }
    mPlayer.setNode(filePlayer);
    mPlayer.setOutputLatency([this] { return outputLatencySeconds(); });
    mPlayer.started();

    mLiveInput = std::make_unique<LiveInput>(*context, monitor, filePlayer, mNotices, &watchPlayingPlayer);
    // New music, or Play from the desktop, ends live input as the D key does.
    mPlayer.setLiveInputEnder([this] {
        if (mInputDeviceNode) {
            mInputDeviceNode->disable();
        }
        mLiveInput->stop();
    });
    if (mCommandLine.liveInput) {
        mLiveInput->start(*mCommandLine.liveInput);
    }

    mStage.takeSpectrum();
}

void MirvoApp::shutdown()
{
    // The scenes and the notice drawer own GL objects, and the scenes hold the analysis end of
    // the audio graph. The window's context outlives shutdown, so free them here while it can
    // still be made current, instead of leaving them and the player's read thread to the
    // process exit. The panel layer has already ended on the shutdown signal; releasing the
    // panels now only lets go of their handles.
    mPlayerControls.reset();
    if (mRenderer) {
        mRenderer->makeCurrentContext();
    }
    mStage.getScenes().clear();
    mNoticeDrawer.reset();
    mLiveInput.reset();
    mParams = params::InterfaceGl();
    mRenderer.reset();
}

void MirvoApp::update()
{
    if (!mStarted) {
        return;
    }
    mUpdateStartNs = steadyNowNs();
    if (mLiveInput) {
        mLiveInput->update();
    }
    advanceFrame(static_cast<float>(getElapsedSeconds()));
    if (mPlayerControls) {
        mPlayerControls->update();
    }
}

void MirvoApp::advanceFrame(float elapsedSeconds)
{
    mDeltaTime = elapsedSeconds - mLastTime;
    mLastTime = elapsedSeconds;

    takeSpectrum();
    shapeSpectrum();
    if (mStage.isOverlayShown()) {
        mStage.updateOverlay(getWindowSize());
    }
    mPlayer.update(mLastTime);
    mStage.getScenes().update(mDeltaTime);
}

void MirvoApp::takeSpectrum()
{
    const MonitorSpectralNodeRef& monitor = mStage.getMonitor();
    if (!monitor) {
        return;
    }
    // Without the sync the monitor's own read stands.
    if (!mCommandLine.avSync) {
        mStage.takeSpectrum();
        return;
    }
    const audio::MonitorNode::WritePosition written = monitor->getWritePosition();
    // Live input was heard before it was captured: nothing to wait for.
    if (mLiveInput && mLiveInput->isLive()) {
        mStage.takeSpectrumEndingAt(written.frames);
        return;
    }
    const double latency = outputLatencySeconds();
    const auto delayNs = static_cast<int64_t>((latency + mCommandLine.avOffsetMs * 1.0e-3) * 1.0e9);
    const size_t rate = audio::Context::master()->getOutput()->getSampleRate();
    mStage.takeSpectrumEndingAt(
        audio::MonitorNode::heardFrame(written, mUpdateStartNs + mDisplayLeadNs, delayNs, rate));
}

double MirvoApp::outputLatencySeconds() const
{
    if (const std::optional<double> measured = mLiveInput ? mLiveInput->getPlaybackLatency() : std::nullopt) {
        return *measured;
    }
    if (const auto output =
            std::dynamic_pointer_cast<audio::OutputDeviceNode>(audio::Context::master()->getOutput())) {
        return output->getLatencySeconds();
    }
    return 0.0;
}

void MirvoApp::shapeSpectrum()
{
    mStage.shapeSpectrum();
}

void MirvoApp::draw()
{
    if (!mStarted) {
        gl::clear(ColorA(0.0f, 0.0f, 0.0f, 1.0f), true);
        return;
    }
    mStage.clear();
    drawVisualizer();
    drawPartDone(DrawPart::SCENE);

    if (mUiVisible) {
        mStage.getScenes().drawPanels();
        mParams.draw();
    }
    drawPartDone(DrawPart::PANELS);

    mStage.drawOverlay(getWindowSize());
    if (mCommandLine.notices) {
        drawNotices();
    }
    drawPartDone(DrawPart::OVERLAY);
    if (mUpdateStartNs != 0) {
        const int64_t lead = steadyNowNs() - mUpdateStartNs;
        mDisplayLeadNs = mDisplayLeadNs == 0 ? lead : (mDisplayLeadNs * 7 + lead) / 8;
    }
}

void MirvoApp::drawVisualizer()
{
    mStage.drawScene(getWindowSize());
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

// The pointer goes to the scene shown, which may follow it (a shader's iMouse).
void MirvoApp::mouseDown(app::MouseEvent event)
{
    if (mStarted && event.isLeft()) {
        mStage.pointerPressed(event.getPos(), getWindowSize());
    }
}

void MirvoApp::mouseDrag(app::MouseEvent event)
{
    if (mStarted && event.isLeftDown()) {
        mStage.pointerDragged(event.getPos(), getWindowSize());
    }
}

void MirvoApp::mouseUp(app::MouseEvent event)
{
    if (mStarted && event.isLeft()) {
        mStage.pointerReleased();
    }
}

void MirvoApp::keyDown(app::KeyEvent event)
{
    const int code = event.getCode();
    const bool arrow = code == app::KeyEvent::KEY_RIGHT || code == app::KeyEvent::KEY_LEFT;
    if (arrow && (event.getModifiers() & kOptionKey) != 0) {
        code == app::KeyEvent::KEY_RIGHT ? mStage.getScenes().selectNext()
                                         : mStage.getScenes().selectPrevious();
        return;
    }
    if (mPlayer.takeKey(code, event.isShiftDown())) {
        return;
    }
    if (code == app::KeyEvent::KEY_t) {
        toggleUi();
    } else if (code == app::KeyEvent::KEY_d && mLiveInput) {
        // Not L: the galaxy panel lowers a value with it, and panel shortcuts take keys first.
        mLiveInput->toggle();
    }
}

void MirvoApp::setVisualizer(std::size_t index)
{
    mStage.getScenes().select(index);
}

void MirvoApp::toggleUi()
{
    const bool show = !mUiVisible;
    mStage.getScenes().showPanels(show);
    mUiVisible = show;
    if (show) {
        mParams.show(true);
        showCursor();
    } else {
        mParams.hide();
        hideCursor();
    }
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
    return [this] { return mLiveInput && mLiveInput->isLive() ? 1.0f : Stage::kAnalysisGain; };
}

void MirvoApp::fileDrop(app::FileDropEvent event)
{
    // Shader files join the scenes and the first shows at once. The music plays on while the
    // drop's other files load; its first playable file then replaces it.
    std::vector<std::filesystem::path> music;
    std::vector<std::filesystem::path> shaders;
    for (const std::filesystem::path& path : event.getFiles()) {
        (isShaderFile(path) ? shaders : music).push_back(path);
    }
    if (!shaders.empty()) {
        std::vector<notice::Failure> failures;
        const std::optional<std::size_t> first =
            addDroppedShaderScenes(mStage, shaders, shaderReport(), shaderSourceGain(), failures);
        mNotices.post(notice::failures(failures));
        if (first) {
            mStage.getScenes().select(*first);
        }
        if (music.empty()) {
            return;
        }
    }
    mPlayer.open(music);
}

} // namespace mirvo
