#include "src/run/RunControl.h"

#include "app/Renderer.h"
#include "app/RendererGl.h"
#include "app/Surface.h"
#include "app/Window.h"
#include "gl/Gl.h"
#include "gl/SoftwareRenderer.h"
#include "src/FailureText.h"
#include "src/MirvoApp.h"
#include "src/run/PngWriter.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace mirvo {

RunControl::RunControl(MirvoApp& app, CommandLine commandLine)
    : mApp(app), mCommandLine(std::move(commandLine))
{
    // The window exists only once the app has set up; its first update is the first moment
    // it can be followed.
    mUpdateConnection = mApp.getSignalUpdate().connect([this] { attachToWindow(); });
    mStopConnection = mApp.getSignalUpdate().connect([this] { quitOnSignal(); });
}

RunControl::~RunControl() = default;

int RunControl::getExitCode() const
{
    return mStoppedBy != 0 ? StopSignals::exitStatusFor(mStoppedBy) : mExitCode;
}

void RunControl::quitOnSignal()
{
    if (mStoppedBy != 0 || mStopSignals.getSignal() == 0) {
        return;
    }
    mStoppedBy = mStopSignals.getSignal();
    mApp.quit();
}

void RunControl::attachToWindow()
{
    mUpdateConnection.disconnect();
    if (!mApp.isStarted()) {
        return;
    }
    mPostDrawConnection = mApp.getWindow()->getSignalPostDraw().connect([this] { frameDrawn(); });
    const auto* glRenderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    mSoftwareRenderer = glRenderer && gl::isSoftwareRenderer(glRenderer);
    if (const auto* renderer = dynamic_cast<const app::RendererGl*>(mApp.getWindow()->getRenderer().get())) {
        mSamples = renderer->getAntiAliasing();
    }
}

void RunControl::watchFrameRate()
{
    if (!mSoftwareRenderer || mWarnedSlowFrames) {
        return;
    }
    const std::optional<double> held = mFrameRateWatch.frameAt(mApp.getElapsedSeconds());
    if (!held) {
        return;
    }
    // The display's refresh is not known here; 60 is what most displays show.
    const double target = std::min(60.0, static_cast<double>(mApp.getFrameRate()));
    if (const std::optional<std::string> warning = slowFramesWarning(true, *held, target, mSamples)) {
        std::cerr << *warning << std::endl;
        mWarnedSlowFrames = true;
    }
}

void RunControl::frameDrawn()
{
    ++mFramesDrawn;
    watchFrameRate();
    if (mFramesDrawn == 1 && mCommandLine.reportStartup) {
        glFinish();
        const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
        std::cout << "first frame drawn at "
                  << std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch).count()
                  << " ns (unix time)" << std::endl;
    }
    if (!mCommandLine.testDropFiles.empty()) {
        dropTestFiles();
    }
    if (mCommandLine.reportSpectrumPeak || mCommandLine.frameLogPath) {
        reportSpectrum();
    }
    if (!mCommandLine.frames || mFramesDrawn != static_cast<uint64_t>(*mCommandLine.frames)) {
        return;
    }
    if (mCommandLine.screenshotPath) {
        saveScreenshot();
    }
    mApp.quit();
}

void RunControl::reportSpectrum()
{
    const std::vector<float>& spectrum = mApp.getShownSpectrum();
    if (spectrum.empty()) {
        return;
    }
    // Bin 0 is the DC term, no tone's.
    std::size_t peak = 1;
    float energy = 0.0f;
    for (std::size_t bin = 1; bin < spectrum.size(); ++bin) {
        energy += spectrum[bin];
        if (spectrum[bin] > spectrum[peak]) {
            peak = bin;
        }
    }
    if (mCommandLine.reportSpectrumPeak && mFramesDrawn % 10 == 0) {
        std::cerr << "spectrum peak at bin " << peak << " (level " << spectrum[peak] << ")" << std::endl;
    }
    if (mCommandLine.frameLogPath) {
        if (!mFrameLog.is_open()) {
            mFrameLog.open(*mCommandLine.frameLogPath, std::ios::trunc);
        }
        // The frame is on screen once the GPU has finished it.
        glFinish();
        const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
        mFrameLog << std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch).count() << ' ' << energy
                  << ' ' << peak << ' ' << (mApp.getPlayer().isLoading() ? 1 : 0) << '\n';
    }
}

void RunControl::dropTestFiles()
{
    const std::vector<std::string>& dropped = mCommandLine.testDropFiles;
    std::vector<std::filesystem::path> files;
    if (mCommandLine.testDropOneByOne) {
        if (mFramesDrawn <= dropped.size()) {
            files.emplace_back(dropped[mFramesDrawn - 1]);
        }
    } else if (mFramesDrawn == 1) {
        files.assign(dropped.begin(), dropped.end());
    }
    if (files.empty()) {
        return;
    }
    const app::WindowRef window = mApp.getWindow();
    app::FileDropEvent event(window, 0, 0, std::move(files));
    window->emitFileDrop(event);
}

void RunControl::saveScreenshot()
{
    try {
        const app::Surface8u surface = mApp.getWindow()->getRenderer()->copyWindowSurface();
        std::vector<uint8_t> rgb;
        rgb.reserve(static_cast<std::size_t>(surface.width) * static_cast<std::size_t>(surface.height) * 3);
        for (std::size_t i = 0; i + 3 < surface.rgba.size() + 1; i += 4) {
            rgb.insert(rgb.end(), {surface.rgba[i], surface.rgba[i + 1], surface.rgba[i + 2]});
        }
        writePng(*mCommandLine.screenshotPath, surface.width, surface.height, rgb, false);
    } catch (const std::exception& exc) {
        std::cerr << "mirvo: " << oneLine(exc.what()) << std::endl;
        mExitCode = 1;
    }
}

} // namespace mirvo
