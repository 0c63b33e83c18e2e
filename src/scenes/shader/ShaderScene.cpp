// The shader scene's frame: the sound texture from the same moment of the music the spectrum
// shows, the uniforms, one triangle over the view. Where the GL is slow the frame is drawn into
// a smaller target that is scaled up, since a fragment shader's cost grows with its pixels.
#include "src/scenes/shader/ShaderScene.h"

#include "audio/MonitorSpectralNode.h"
#include "core/Color.h"
#include "params/InterfaceGl.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace mirvo {

namespace {

int glslVersion()
{
    const auto* text = reinterpret_cast<const char*>(glGetString(GL_SHADING_LANGUAGE_VERSION));
    int major = 1;
    int minor = 10;
    if (text != nullptr && std::sscanf(text, "%d.%d", &major, &minor) != 2) {
        return 110;
    }
    return major * 100 + (minor < 10 ? minor * 10 : minor);
}

bool isCompatibilityContext()
{
    if (epoxy_gl_version() < 32) {
        return true;
    }
    GLint mask = 0;
    glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &mask);
    return (mask & GL_CONTEXT_COMPATIBILITY_PROFILE_BIT) != 0;
}

} // namespace

ShaderScene::ShaderScene(MonitorSpectralNodeRef monitor, std::vector<float>& spectrum, ShaderFile file,
                         Report report, SourceGain sourceGain)
    : Visualizer(std::move(monitor), spectrum), mFile(std::move(file)), mReport(std::move(report)),
      mSourceGain(std::move(sourceGain))
{
    for (const ShaderSlider& slider : mFile.sliders) {
        mSliderValues.push_back(slider.value);
    }
}

ShaderScene::~ShaderScene() = default;

void ShaderScene::setup()
{
    // The panel comes with the program: a folder of many shaders builds none until each shows.
    mPanelWanted = mWithPanels;
    if (!mAdaptiveScaleAllowed) {
        mScale.setFollowing(false);
    }
    if (mProgram) {
        makePanel();
    }
}

void ShaderScene::makePanel()
{
    if (mParams || !mPanelWanted) {
        return;
    }
    mParams =
        params::InterfaceGl::create(mFile.name, Vec2i(260, 120 + 20 * static_cast<int>(mFile.sliders.size())),
                                    ColorA(0.3f, 0.3f, 0.3f, 0.4f));
    mScale.addTo(*mParams);
    for (std::size_t i = 0; i < mFile.sliders.size(); ++i) {
        mParams->addParam(mFile.sliders[i].name, &mSliderValues[i], mFile.sliders[i].options, false);
    }
}

gl::GlslProgRef ShaderScene::buildProgram(const ShaderFile& file) const
{
    const ShaderProgramText text = buildProgramText(file, glslVersion(), isCompatibilityContext());
    try {
        return gl::GlslProg::create(text.vertex, text.fragment);
    } catch (const gl::GlslProgCompileExc& exc) {
        const std::string what = exc.what();
        const std::string log = what.substr(std::min(what.find(':') + 1, what.size()));
        const std::string error = firstErrorInFile(log, text);
        const bool numbered = !error.empty() && std::isdigit(static_cast<unsigned char>(error[0])) != 0;
        throw ShaderError(file.path.string() + (numbered ? ":" : ": ") + error);
    } catch (const gl::GlslProgLinkExc& exc) {
        throw ShaderError(file.path.string() + ": does not link: " + firstErrorInFile(exc.what(), text));
    }
}

void ShaderScene::compile()
{
    if (mProgram) {
        return;
    }
    try {
        mProgram = buildProgram(mFile);
    } catch (const ShaderError&) {
        mFailed = true;
        throw;
    }
    mFailed = false;
    makeChannels();
    makePanel();
}

void ShaderScene::makeChannels()
{
    if (!mChannels[0]) {
        mChannels[0] = makeSoundTexture();
    }
    if (!mSound) {
        mSound = std::make_unique<SoundTexture>();
    }
    for (std::size_t channel = 1; channel < ShaderFile::kChannels; ++channel) {
        mChannels[channel].reset();
        if (const std::optional<std::filesystem::path>& image = mFile.images[channel]) {
            try {
                mChannels[channel] = makeImageTexture(readPng(*image));
                continue;
            } catch (const std::exception& exc) {
                if (mReport) {
                    mReport(mFile.path.string() + ": iChannel" + std::to_string(channel) + " '" +
                                image->filename().string() + "': " + exc.what() + "; noise instead",
                            true);
                }
            }
        }
        mChannels[channel] = sharedNoiseTexture();
    }
    mProgram->bind();
    for (std::size_t channel = 0; channel < ShaderFile::kChannels; ++channel) {
        glUniform1i(mProgram->getUniformLocation("iChannel" + std::to_string(channel)),
                    static_cast<GLint>(channel));
    }
    gl::GlslProg::unbind();
}

void ShaderScene::setWatch(std::shared_ptr<InotifyWatch> watch)
{
    mWatch = std::move(watch);
    if (mWatch) {
        mWatch->watch(mFile.path);
    }
}

bool ShaderScene::reloadIfSaved()
{
    if (!mWatch || !mWatch->takeChange(mFile.path)) {
        return false;
    }
    try {
        ShaderFile file = readShaderFile(mFile.path);
        gl::GlslProgRef program = buildProgram(file);
        std::vector<float> values;
        bool sameSliders = file.sliders.size() == mFile.sliders.size();
        for (std::size_t i = 0; i < file.sliders.size(); ++i) {
            float value = file.sliders[i].value;
            for (std::size_t old = 0; old < mFile.sliders.size(); ++old) {
                if (mFile.sliders[old].name == file.sliders[i].name) {
                    value = std::clamp(mSliderValues[old], file.sliders[i].min, file.sliders[i].max);
                }
            }
            sameSliders = sameSliders && mFile.sliders[i].name == file.sliders[i].name &&
                          mFile.sliders[i].options == file.sliders[i].options;
            values.push_back(value);
        }
        // The name stays: it may have been made unique, and the panel is called by it.
        file.name = mFile.name;
        mFile = std::move(file);
        mProgram = std::move(program);
        mFailed = false;
        makeChannels();
        if (sameSliders) {
            // The panel holds the addresses of these values: change them in place.
            std::copy(values.begin(), values.end(), mSliderValues.begin());
        } else {
            const bool visible = mParams && mParams->isVisible();
            const bool hadPanel = mParams != nullptr;
            mParams.reset();
            mSliderValues = std::move(values);
            if (hadPanel) {
                makePanel();
                if (!visible) {
                    mParams->hide();
                }
            }
        }
        if (mReport) {
            mReport(mFile.name + " updated", false);
        }
    } catch (const ShaderError& exc) {
        // The last good version goes on drawing.
        if (mReport) {
            mReport(exc.what(), true);
        }
    }
    return true;
}

void ShaderScene::activate()
{
    mFrame = -1;
    mTime = 0.0;
    if (mSound) {
        mSound->reset();
    }
    reloadIfSaved();
    if (!mProgram && !mFailed) {
        try {
            compile();
        } catch (const ShaderError& exc) {
            if (mReport) {
                mReport(exc.what(), true);
            }
            return;
        }
    }
    if (mProgram && mReport) {
        mReport(mFile.name, false);
    }
}

float ShaderScene::getSampleRate() const
{
    return mMonitor ? static_cast<float>(mMonitor->getSampleRate()) : 0.0f;
}

void ShaderScene::readSound()
{
    if (!mMonitor || !mSound) {
        return;
    }
    // The window that ends where the spectrum's read of this frame ended: the same moment of the
    // music, from the history the audio thread writes anyway.
    const std::size_t channels = std::max<std::size_t>(1, mMonitor->getNumChannels());
    if (mSamples.getNumChannels() != channels || mSamples.getNumFrames() != SoundTexture::kWindow) {
        mSamples = audio::Buffer(SoundTexture::kWindow, channels);
    }
    if (mMonitor->copyHistoryEndingAt(mMonitor->getLastWindowEnd(), mSamples)) {
        mSound->update(mSamples, mSourceGain ? mSourceGain() : 1.0f);
    }
}

void ShaderScene::update(float dt)
{
    if (mFrame < 0) {
        mFrame = 0;
        mTime = 0.0;
    } else {
        ++mFrame;
        mTime += static_cast<double>(dt);
    }
    mDelta = dt;
    reloadIfSaved();
    readSound();
    if (!mWithPanels) {
        mScale.setFullSizeOnly();
    }
    mScale.follow(dt);
}

void ShaderScene::setUniforms(Vec2i size, float dt)
{
    gl::GlslProg& program = *mProgram;
    const auto time = static_cast<float>(mTime);
    glUniform3f(program.getUniformLocation("iResolution"), static_cast<float>(size.x),
                static_cast<float>(size.y), 1.0f);
    glUniform1f(program.getUniformLocation("iTime"), time);
    glUniform1f(program.getUniformLocation("iGlobalTime"), time);
    glUniform1f(program.getUniformLocation("iTimeDelta"), dt);
    glUniform1f(program.getUniformLocation("iFrameRate"), dt > 0.0f ? 1.0f / dt : 60.0f);
    glUniform1i(program.getUniformLocation("iFrame"), std::max(0, mFrame));
    const std::array<float, 4> mouse = mPointer.take(size);
    glUniform4f(program.getUniformLocation("iMouse"), mouse[0], mouse[1], mouse[2], mouse[3]);
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const double fraction =
        std::chrono::duration<double>(now - std::chrono::system_clock::from_time_t(seconds)).count();
    glUniform4f(program.getUniformLocation("iDate"), static_cast<float>(local.tm_year + 1900),
                static_cast<float>(local.tm_mon), static_cast<float>(local.tm_mday),
                static_cast<float>(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec + fraction));
    glUniform1f(program.getUniformLocation("iSampleRate"), getSampleRate());
    std::array<float, 12> resolutions{};
    std::array<float, 4> times{};
    for (std::size_t channel = 0; channel < ShaderFile::kChannels; ++channel) {
        const Vec2i channelSize = mChannels[channel] ? mChannels[channel]->getSize() : Vec2i(0, 0);
        resolutions[channel * 3] = static_cast<float>(channelSize.x);
        resolutions[channel * 3 + 1] = static_cast<float>(channelSize.y);
        resolutions[channel * 3 + 2] = 1.0f;
        times[channel] = time;
    }
    glUniform3fv(program.getUniformLocation("iChannelResolution"), 4, resolutions.data());
    glUniform1fv(program.getUniformLocation("iChannelTime"), 4, times.data());
    for (std::size_t i = 0; i < mFile.sliders.size(); ++i) {
        glUniform1f(program.getUniformLocation(mFile.sliders[i].name), mSliderValues[i]);
    }
}

void ShaderScene::bindChannels() const
{
    for (std::size_t channel = 0; channel < ShaderFile::kChannels; ++channel) {
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(channel));
        glBindTexture(GL_TEXTURE_2D, mChannels[channel] ? mChannels[channel]->getHandle() : 0);
    }
}

void ShaderScene::draw()
{
    if (!mProgram) {
        return;
    }
    if (mFrame < 0) {
        update(0.0f);
    }
    uploadSound(*mChannels[0], mSound->getTexels().data());

    const Vec2i size = mScale.begin(false);

    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    mProgram->bind();
    setUniforms(size, mDelta);
    bindChannels();
    // One triangle past the corners covers the view with no seam down a diagonal.
    glBegin(GL_TRIANGLES);
    glVertex2f(-1.0f, -1.0f);
    glVertex2f(3.0f, -1.0f);
    glVertex2f(-1.0f, 3.0f);
    glEnd();
    gl::GlslProg::unbind();
    for (std::size_t channel = ShaderFile::kChannels; channel-- > 0;) {
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(channel));
        glBindTexture(GL_TEXTURE_2D, 0);
    }

    glPopAttrib();
    mScale.end();
}

} // namespace mirvo
