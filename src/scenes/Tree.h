// The fractal tree scene: a ring of recursively branching trees whose rules are redrawn
// every three seconds, turned and recoloured by the low band and bent by bins 1 and 2.
// Created and driven by the controller on the main thread.
#pragma once

#include "core/Color.h"
#include "core/Rand.h"
#include "core/Vec.h"
#include "src/scenes/Visualizer.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace mirvo {

struct BranchRule {
    float lengthFactor = 0.0f;
    // A 2x2 rotation stored column-major: cos a, -sin a, sin a, cos a.
    float rotation[4] = {1.0f, 0.0f, 0.0f, 1.0f};
};

struct TreeParams {
    Vec2f start;
    Vec2f end;
    std::vector<BranchRule> rules;
};

class Tree : public Visualizer {
  public:
    using LineSink = std::function<void(const Vec2f& start, const Vec2f& end)>;

    Tree(MonitorSpectralNodeRef monitor, std::vector<float>& spectrum);

    void setup() override;
    void activate() override;
    void deactivate() override;
    void update(float dt) override;
    void draw() override;
    InterfaceGlRef getParams() override { return mParams; }
    // The background colour is cleared over the whole frame first thing.
    bool clearsWholeFrame() const override { return true; }

    // The tunable defaults, without building the panel.
    void assignDefaults();
    // New rules, trunks and hues; the window height is read from the application.
    void regrow();
    void regrow(float windowHeight);
    void drawBranch(const Vec2f& start, const Vec2f& end, const std::vector<BranchRule>& rules,
                    int32_t depth);
    // The geometry of drawBranch: hands every line of the branch and its descendants to
    // the sink, in drawing order.
    void visitBranch(const Vec2f& start, const Vec2f& end, const std::vector<BranchRule>& rules,
                     int32_t depth, const LineSink& sink) const;

    const std::vector<TreeParams>& getTrees() const { return mTrees; }
    float getLineHue() const { return mLineHue; }
    float getBackgroundHue() const { return mBackgroundHue; }
    float getRotationAngle() const { return mRotationAngle; }
    float getRegrowTimer() const { return mRegrowTimer; }
    const ColorA& getLineColor() const { return mLineColor; }
    const ColorA& getBackgroundColor() const { return mBackgroundColor; }
    void setTreeCount(int32_t count) { mTreeCount = count; }
    void setLengthFactors(float minFactor, float maxFactor);
    void setAngleFlexibility(float flexibility) { mAngleFlexibility = flexibility; }
    // Where regrow reads the window height; the application's window unless replaced.
    void setWindowHeightSource(std::function<float()> source) { mWindowHeightSource = std::move(source); }

    // Branches shorter than this have no direction to hand on, so they get no children.
    static constexpr float kMinBranchLength = 1e-4f;

  private:
    // drawBranch's lines, two points each; kept to draw without allocating once grown.
    std::vector<Vec2f> mLineVertices;
    int32_t mMaxDepth;
    Rand mRand;
    std::vector<TreeParams> mTrees;
    ColorA mLineColor;
    ColorA mBackgroundColor;
    // The panel's values among these take their defaults from assignDefaults, at construction
    // and setup.
    std::size_t mBranchCount;
    float mMinLengthFactor;
    float mMaxLengthFactor;
    float mMinAngleOffset;
    float mMaxAngleOffset;
    float mRegrowTimer = 3.0f;
    float mLineHue = 0.0f;
    float mBackgroundHue = 0.5f;
    float mRotationAngle;
    float mRotationSpeed;
    float mAngleFlexibility;
    float mColorMorphSpeed;
    int32_t mTreeCount;
    InterfaceGlRef mParams;
    std::function<float()> mWindowHeightSource;
};

} // namespace mirvo
