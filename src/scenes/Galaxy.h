// The galaxy scene: a slowly turning ball of point-sprite stars, one FFT bin per star,
// whose size and colour follow that bin. The star field comes from a fixed seed so every
// run looks the same. Main thread only, with the GL context current.
#pragma once

#include "core/Rand.h"
#include "core/Vec.h"
#include "src/scenes/AdaptiveScale.h"
#include "src/scenes/StarSplat.h"
#include "src/scenes/ViewImage.h"
#include "src/scenes/Visualizer.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace mirvo::gl {
class GlslProg;
class VboMesh;
} // namespace mirvo::gl

namespace mirvo {

class Galaxy : public Visualizer {
  public:
    Galaxy(MonitorSpectralNodeRef monitor, std::vector<float>& spectrum);

    void setup() override;
    void activate() override;
    void deactivate() override;
    void update(float dt) override;
    void draw() override;
    // The frame is cleared by the scene: when the stars go to the smaller target, its scaled-up
    // copy covers the whole frame and a clear of the frame would be overwritten unseen.
    bool clearsWholeFrame() const override { return true; }
    InterfaceGlRef getParams() override { return mParams; }

    // The tunable defaults, without loading shaders or building the panel.
    void assignDefaults();
    // Rewrites hue and magnitude of every star in the mesh from the current spectrum.
    void updateMeshMagnitudes();
    std::size_t drawnStars() const;

    // Star positions in units of the mean galaxy radius, drawn from `rand` in the fixed
    // order the look of the galaxy depends on.
    static std::vector<Vec3f> generateStarPositions(Rand& rand, std::size_t count);
    static float starHue(std::size_t index, std::size_t spectrumSize);

    const Vec3f& getRotation() const { return mRotation; }
    std::size_t getMaxStars() const { return mMaxStars; }
    void setStarCount(int32_t count) { mStarCount = count; }
    void setAngularVelocity(float velocity) { mAngularVelocity = velocity; }
    // The star fill is the one built-in drawing whose cost grows with its pixels: where the GL
    // is slow the stars are drawn into a smaller target that is scaled up.
    void setAdaptiveScale(bool adaptive) { mScale.setFollowing(adaptive); }
    float getDrawnScale() const { return mScale.getScale(); }
    // After setup: whether the stars are added up on the CPU rather than drawn as GL sprites. The
    // setup chooses the CPU where the GL is a software renderer; the picture is the same.
    void setStarsOnCpu(bool onCpu) { mStarsOnCpu = onCpu; }
    bool areStarsOnCpu() const { return mStarsOnCpu; }

  private:
    void buildMesh();
    void drawSprites();
    void drawOnCpu();

    std::size_t mMaxStars;
    InterfaceGlRef mParams;
    std::shared_ptr<gl::VboMesh> mMesh;
    std::shared_ptr<gl::GlslProg> mShader;
    Rand mRand;
    // The panel's values; assignDefaults gives them their defaults, at construction and setup.
    int32_t mStarCount;
    float mMinGalaxyRadius;
    float mMaxGalaxyRadius;
    float mMinStarRadius;
    float mMaxStarRadius;
    float mMinSaturation;
    float mMaxSaturation;
    float mMinBrightness;
    float mMaxBrightness;
    float mAngularVelocity;
    Vec3f mRotation;
    AdaptiveScale mScale;

    bool mStarsOnCpu = false;
    std::vector<Vec3f> mPositions;
    // The sizes a sprite may have on this GL: the CPU's stars are clamped alike.
    float mMinPointSize = 1.0f;
    float mMaxPointSize = 1.0f;
    StarSplat mSplat;
    // What the last frame's sum took, for the scale to follow.
    float mSplatSeconds = 0.0f;
    ViewImage mImage;
    // Per spectrum bin: each star's size and colour follow its bin alone.
    std::vector<float> mBinDiameters;
    std::vector<Vec3f> mBinColors;
};

} // namespace mirvo
