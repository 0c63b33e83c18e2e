// A scene drawn by a fragment shader from a file, written to the common shader convention:
// mainImage, the i* uniforms, the sound on iChannel0, noise or images on iChannel1..3. The
// program is compiled on first show (or at once, for a file the command line names), so that
// a folder of many shaders costs nothing until each is seen. Main thread only.
#pragma once

#include "src/scenes/AdaptiveScale.h"
#include "src/scenes/Visualizer.h"
#include "src/scenes/shader/ChannelTextures.h"
#include "src/scenes/shader/InotifyWatch.h"
#include "src/scenes/shader/ShaderPointer.h"
#include "src/scenes/shader/ShaderSource.h"
#include "src/scenes/shader/SoundTexture.h"

#include "audio/Buffer.h"
#include "gl/GlslProg.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mirvo {

class ShaderScene : public Visualizer {
  public:
    // Told one line at a time: the name when the scene shows (failure false), a compile failure or
    // a channel image that cannot be used (failure true).
    using Report = std::function<void(const std::string& line, bool failure)>;
    // The gain the monitor's samples went through on their way to it: the sound texture shows
    // the sound as it was, as the convention's levels assume.
    using SourceGain = std::function<float()>;

    ShaderScene(MonitorSpectralNodeRef monitor, std::vector<float>& spectrum, ShaderFile file,
                Report report = {}, SourceGain sourceGain = {});
    ~ShaderScene() override;

    void setup() override;
    void activate() override;
    void deactivate() override {}
    void update(float dt) override;
    void draw() override;
    InterfaceGlRef getParams() override { return mParams; }
    bool clearsWholeFrame() const override { return mProgram != nullptr; }

    // Compiles the program now, with the GL context current. Throws ShaderError, one line:
    // "path:line: message".
    void compile();
    // Recompiles the file whenever it is saved, while the scene shows or when it next shows; a
    // version that fails is reported and the last good one goes on drawing.
    void setWatch(std::shared_ptr<InotifyWatch> watch);
    // False once the program failed to compile: the rotation passes the scene by.
    bool isShowable() const override { return !mFailed; }
    void pointerPressed(float x, float y) override { mPointer.press(Vec2f(x, y)); }
    void pointerDragged(float x, float y) override { mPointer.drag(Vec2f(x, y)); }
    void pointerReleased() override { mPointer.release(); }
    const std::string& getName() const { return mFile.name; }
    // Before setup: the panel takes the name as its title, which must be unique.
    void rename(std::string name) { mFile.name = std::move(name); }
    const ShaderFile& getFile() const { return mFile; }

    // The share of each side drawn; below 1 the frame is drawn smaller and scaled up.
    void setResolutionScale(float scale) { mScale.setLimit(scale); }
    float getResolutionScale() const { return mScale.getLimit(); }
    // Lets the scale follow the frame rate, between 1/4 and the set scale.
    void setAdaptiveScale(bool adaptive) { mScale.setFollowing(adaptive); }
    float getDrawnScale() const { return mScale.getScale(); }

    // What the next draw hands the shader, for tests and the renderer.
    float getTime() const { return static_cast<float>(mTime); }
    int getFrame() const { return mFrame; }
    // After compile.
    const SoundTexture& getSoundTexture() const { return *mSound; }
    // Feeds the sound texture the newest samples directly, after compile: for a scene without a
    // monitor.
    void takeSound(const audio::Buffer& samples) { mSound->update(samples); }
    // The samples the sound texture is computed from, at the audio's own rate.
    float getSampleRate() const;

  private:
    // Throws ShaderError, one line naming the file.
    gl::GlslProgRef buildProgram(const ShaderFile& file) const;
    // The channels' textures for mFile and the samplers' units in mProgram.
    void makeChannels();
    void makePanel();
    // True when the file was saved since the last look, whether or not it compiled.
    bool reloadIfSaved();
    void readSound();
    void bindChannels() const;
    void setUniforms(Vec2i size, float dt);

    ShaderFile mFile;
    Report mReport;
    SourceGain mSourceGain;
    std::shared_ptr<InotifyWatch> mWatch;
    gl::GlslProgRef mProgram;
    bool mFailed = false;
    std::array<ChannelTextureRef, ShaderFile::kChannels> mChannels;
    // Made with the program, like the panel.
    std::unique_ptr<SoundTexture> mSound;
    audio::Buffer mSamples;
    std::vector<float> mSliderValues;
    InterfaceGlRef mParams;
    bool mPanelWanted = false;

    double mTime = 0.0;
    float mDelta = 0.0f;
    int mFrame = -1;
    ShaderPointer mPointer;
    AdaptiveScale mScale;
};

} // namespace mirvo
