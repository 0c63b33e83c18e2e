// The fractal tree scene: regrowth, the low-band drift and the recursive branch geometry.
#include "src/scenes/Tree.h"

#include "app/App.h"
#include "gl/Draw.h"
#include "gl/Gl.h"
#include "params/InterfaceGl.h"

#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>

namespace mirvo {

namespace {

constexpr uint32_t kSeed = 214;
constexpr float kRegrowInterval = 3.0f;

std::string formatSixDecimals(double value)
{
    char text[64];
    std::snprintf(text, sizeof(text), "%f", value);
    return text;
}

} // namespace

Tree::Tree(MonitorSpectralNodeRef monitor, std::vector<float>& spectrum)
    : Visualizer(std::move(monitor), spectrum), mMaxDepth(5), mRand(kSeed)
{
    assignDefaults();
}

void Tree::assignDefaults()
{
    mBranchCount = 2;
    mMinLengthFactor = 0.5f;
    mMaxLengthFactor = 0.8f;
    mMinAngleOffset = -72.0f;
    mMaxAngleOffset = 72.0f;
    mAngleFlexibility = 0.5f;
    mRotationAngle = 0.0f;
    mRotationSpeed = 30.0f;
    mColorMorphSpeed = 1.0f;
    mTreeCount = 3;
}

void Tree::setup()
{
    assignDefaults();
    if (!mWithPanels) {
        return;
    }

    mParams = params::InterfaceGl::create("FractalTree", Vec2i(225, 200), ColorA(0.3f, 0.3f, 0.3f, 0.4f));
    mParams->addParam("Min Length Factor", &mMinLengthFactor, "min=0.0", false);
    mParams->addParam("Max Length Factor", &mMaxLengthFactor, "min=0.0", false);
    mParams->addParam("Min Angle Offset", &mMinAngleOffset, "max=0.0", false);
    mParams->addParam("Max Angle Offset", &mMaxAngleOffset, "min=0.0", false);
    mParams->addParam("Color Morph Speed", &mColorMorphSpeed, "min=0.0 max=1.0", false);
    mParams->addParam("Rotation Speed", &mRotationSpeed, false);
    mParams->addParam("Tree Count", &mTreeCount, "min=1 max=10", false);
    mParams->addParam("Angle Flexibility", &mAngleFlexibility,
                      "min=" + formatSixDecimals(-180.0) + " max=" + formatSixDecimals(180.0), false);
}

void Tree::activate()
{
    regrow();
}

void Tree::deactivate()
{
}

void Tree::setLengthFactors(float minFactor, float maxFactor)
{
    mMinLengthFactor = minFactor;
    mMaxLengthFactor = maxFactor;
}

void Tree::regrow()
{
    regrow(mWindowHeightSource ? mWindowHeightSource()
                               : static_cast<float>(app::App::get()->getWindowHeight()));
}

void Tree::regrow(float windowHeight)
{
    mRegrowTimer = kRegrowInterval;
    // The panel allows 1 to 10; a count below 1 would leave no tree and divide by zero.
    const int32_t treeCount = mTreeCount < 1 ? 1 : mTreeCount;
    mTrees.resize(static_cast<std::size_t>(treeCount));

    const float step = static_cast<float>(2.0 * std::numbers::pi / treeCount);
    const float cs = std::cos(step);
    const float sn = std::sin(step);

    Vec2f start(0.0f, windowHeight * 0.6f);
    Vec2f end(0.0f, windowHeight * 0.35f);
    for (TreeParams& tree : mTrees) {
        tree.rules.resize(mBranchCount);
        for (BranchRule& rule : tree.rules) {
            rule.lengthFactor = (mMaxLengthFactor - mMinLengthFactor) * mRand.nextFloat() + mMinLengthFactor;
            // The angle goes to cos and sin unconverted: the default range of +-72 spans many
            // full turns, which is what gives the forests their variety.
            const float angle = (mMaxAngleOffset - mMinAngleOffset) * mRand.nextFloat() + mMinAngleOffset;
            const float c = std::cos(angle);
            const float s = std::sin(angle);
            rule.rotation[0] = c;
            rule.rotation[1] = -s;
            rule.rotation[2] = s;
            rule.rotation[3] = c;
        }
        tree.start = start;
        tree.end = end;

        start = Vec2f(start.x * cs + start.y * sn, -start.x * sn + start.y * cs);
        end = Vec2f(end.x * cs + end.y * sn, -end.x * sn + end.y * cs);
    }

    mLineHue = mRand.nextFloat();
    mBackgroundHue = static_cast<float>(std::fmod(mLineHue + 0.5, 1.0));
}

void Tree::update(float dt)
{
    mRegrowTimer -= dt;
    if (!(mRegrowTimer >= 0.0f)) {
        regrow();
    }

    const float low = avgMagnitudeInRange(mLowStart, mLowEnd);
    mRotationAngle += low * dt * mRotationSpeed;

    const float morph = low * mColorMorphSpeed * dt;
    mLineHue = static_cast<float>(std::fmod(mLineHue + morph, 1.0));
    mBackgroundHue = static_cast<float>(std::fmod(morph + mBackgroundHue, 1.0));

    mLineColor = ColorA(hsvToRgb(mLineHue, 0.4f, 0.9f), 1.0f);
    mBackgroundColor = ColorA(hsvToRgb(mBackgroundHue, 0.65f, 0.06f), 1.0f);
}

void Tree::draw()
{
    // Colour alone: the lines are drawn without the depth test, so nothing reads the depth,
    // and clearing it cost a software renderer twice what drawing the whole forest does.
    gl::clear(mBackgroundColor, false);
    glDisable(GL_DEPTH_TEST);
    glColor4f(mLineColor.r, mLineColor.g, mLineColor.b, mLineColor.a);
    gl::rotate(Vec3f(0.0f, 0.0f, mRotationAngle));

    glLineWidth(2.0f);
    if (mSmoothEdges) {
        glEnable(GL_LINE_SMOOTH);
        gl::enableAlphaBlending();
    }
    for (const TreeParams& tree : mTrees) {
        drawBranch(tree.start, tree.end, tree.rules, 0);
    }
    if (mSmoothEdges) {
        gl::disableAlphaBlending();
        glDisable(GL_LINE_SMOOTH);
    }
    glLineWidth(1.0f);
}

void Tree::drawBranch(const Vec2f& start, const Vec2f& end, const std::vector<BranchRule>& rules,
                      int32_t depth)
{
    // The whole branch in one draw: thousands of two-point draws cost a software renderer more
    // than their pixels.
    mLineVertices.clear();
    visitBranch(start, end, rules, depth, [this](const Vec2f& a, const Vec2f& b) {
        mLineVertices.push_back(a);
        mLineVertices.push_back(b);
    });
    gl::drawLines(mLineVertices);
}

void Tree::visitBranch(const Vec2f& start, const Vec2f& end, const std::vector<BranchRule>& rules,
                       int32_t depth, const LineSink& sink) const
{
    sink(start, end);
    if (depth >= mMaxDepth || rules.empty()) {
        return;
    }

    const Vec2f delta = end - start;
    const float length = delta.length();
    if (!(length >= kMinBranchLength)) {
        return;
    }
    const Vec2f direction = delta / length;

    const std::vector<float>& spectrum = *mSpectrum;
    std::size_t k = 1;
    for (const BranchRule& rule : rules) {
        const float magnitude = spectrum.empty() ? 0.0f : spectrum[k % spectrum.size()];
        const float flex = (magnitude - 0.5f) * mAngleFlexibility;
        const float cx = static_cast<float>(std::cos(static_cast<double>(flex)));
        const float sx = static_cast<float>(std::sin(static_cast<double>(flex)));
        const float* r = rule.rotation;
        const float m[4] = {cx * r[0] - sx * r[2], cx * r[1] - sx * r[3], sx * r[0] + cx * r[2],
                            sx * r[1] + cx * r[3]};

        const Vec2f turned(m[0] * direction.x + m[2] * direction.y, m[1] * direction.x + m[3] * direction.y);
        const Vec2f childEnd = end + turned * (rule.lengthFactor * length);
        visitBranch(end, childEnd, rules, depth + 1, sink);
        ++k;
    }
}

} // namespace mirvo
