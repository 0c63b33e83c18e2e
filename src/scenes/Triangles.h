// The triangles scene: red, green and blue triangles blended additively at the window
// centre, each spun and reshaped by one band (low, mid, high in turn). Main thread only.
#pragma once

#include "core/Color.h"
#include "gl/SmoothTriangle.h"
#include "src/scenes/Visualizer.h"

#include <array>
#include <cstddef>
#include <vector>

namespace mirvo {

class Triangles : public Visualizer {
  public:
    Triangles(MonitorSpectralNodeRef monitor, std::vector<float>& spectrum);

    void setup() override;
    void activate() override;
    void deactivate() override;
    void update(float dt) override;
    void draw() override;
    InterfaceGlRef getParams() override { return mParams; }

    // The tunable defaults, without building the panel.
    void assignDefaults();
    // Keeps existing angles so a triangle resumes where it stopped; every ratio restarts at 0.8.
    void resetTriangles(std::size_t count);

    const std::vector<float>& getAngles() const { return mAngles; }
    const std::vector<float>& getRatios() const { return mRatios; }
    void setRatioMorphSpeed(float speed) { mRatioMorphSpeed = speed; }

  private:
    std::size_t mNumTriangles;
    std::size_t mNumColors;
    std::array<ColorA, 3> mColors;
    std::vector<float> mAngles;
    std::vector<float> mRatios;
    // The panel's values; assignDefaults gives them their defaults, at construction and setup.
    float mSize;
    float mAngularVelocity;
    float mMinRatio;
    float mMaxRatio;
    float mRatioMorphSpeed;
    InterfaceGlRef mParams;
    gl::SmoothTriangleDrawer mSmoothTriangle;
};

} // namespace mirvo
