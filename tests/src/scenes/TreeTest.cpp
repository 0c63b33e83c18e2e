#include "src/scenes/Tree.h"

#include "core/Rand.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace mirvo {
namespace {

constexpr float kTolerance = 1e-4f;
constexpr float kWindowHeight = 768.0f;

struct Line {
    Vec2f start;
    Vec2f end;
};

std::vector<Line> linesOf(const Tree& tree, const TreeParams& params)
{
    std::vector<Line> lines;
    tree.visitBranch(params.start, params.end, params.rules, 0, [&](const Vec2f& a, const Vec2f& b) {
        lines.push_back({a, b});
    });
    return lines;
}

class TreeScene : public ::testing::Test {
  protected:
    TreeScene() : spectrum(1024, 0.0f), tree(nullptr, spectrum)
    {
        tree.assignDefaults();
        tree.setWindowHeightSource([] { return kWindowHeight; });
    }

    std::vector<float> spectrum;
    Tree tree;
};

TEST_F(TreeScene, FirstTrunkRisesFromBelowTheWindowTowardTheCentre)
{
    tree.regrow(kWindowHeight);
    ASSERT_EQ(tree.getTrees().size(), 3u);
    const TreeParams& first = tree.getTrees()[0];
    EXPECT_NEAR(first.start.x, 0.0f, kTolerance);
    EXPECT_NEAR(first.start.y, 460.8f, kTolerance);
    EXPECT_NEAR(first.end.x, 0.0f, kTolerance);
    EXPECT_NEAR(first.end.y, 268.8f, kTolerance);
}

TEST_F(TreeScene, TrunksAreSpreadEvenlyAroundTheCentre)
{
    tree.regrow(kWindowHeight);
    const float step = 2.0f * static_cast<float>(M_PI) / 3.0f;
    const TreeParams& second = tree.getTrees()[1];
    // (x, y) -> (x cos + y sin, -x sin + y cos) applied to (0, 460.8).
    EXPECT_NEAR(second.start.x, 460.8f * std::sin(step), 1e-3f);
    EXPECT_NEAR(second.start.y, 460.8f * std::cos(step), 1e-3f);
}

TEST_F(TreeScene, ASingleTreeIsNotTurned)
{
    tree.setTreeCount(1);
    tree.regrow(kWindowHeight);
    ASSERT_EQ(tree.getTrees().size(), 1u);
    EXPECT_NEAR(tree.getTrees()[0].start.x, 0.0f, kTolerance);
    EXPECT_NEAR(tree.getTrees()[0].end.y, 268.8f, kTolerance);
}

TEST_F(TreeScene, RulesAreRotationsWithLengthFactorsInRangeAndHuesOpposite)
{
    tree.regrow(kWindowHeight);
    for (const TreeParams& params : tree.getTrees()) {
        ASSERT_EQ(params.rules.size(), 2u);
        for (const BranchRule& rule : params.rules) {
            EXPECT_GE(rule.lengthFactor, 0.5f);
            EXPECT_LT(rule.lengthFactor, 0.8f);
            EXPECT_NEAR(rule.rotation[0], rule.rotation[3], kTolerance);
            EXPECT_NEAR(rule.rotation[1], -rule.rotation[2], kTolerance);
            EXPECT_NEAR(rule.rotation[0] * rule.rotation[0] + rule.rotation[2] * rule.rotation[2], 1.0f,
                        kTolerance);
        }
    }
    EXPECT_GE(tree.getLineHue(), 0.0f);
    EXPECT_LT(tree.getLineHue(), 1.0f);
    EXPECT_NEAR(tree.getBackgroundHue(), std::fmod(tree.getLineHue() + 0.5f, 1.0f), kTolerance);

    // The forests a run shows come from the seed 214 drawn in one order: per tree and rule the
    // length and then the angle, the line hue last of all.
    Tree fresh(nullptr, spectrum);
    fresh.assignDefaults();
    fresh.regrow(kWindowHeight);
    Rand rand(214);
    for (const TreeParams& params : fresh.getTrees()) {
        for (const BranchRule& rule : params.rules) {
            EXPECT_FLOAT_EQ(rule.lengthFactor, 0.3f * rand.nextFloat() + 0.5f);
            const float angle = 144.0f * rand.nextFloat() - 72.0f;
            EXPECT_NEAR(rule.rotation[0], std::cos(angle), kTolerance);
            EXPECT_NEAR(rule.rotation[2], std::sin(angle), kTolerance);
        }
    }
    EXPECT_FLOAT_EQ(fresh.getLineHue(), rand.nextFloat());
}

TEST(Tree, EveryRunGrowsTheSameSequenceOfForests)
{
    std::vector<float> spectrum(1024, 0.0f);
    Tree a(nullptr, spectrum);
    Tree b(nullptr, spectrum);
    a.assignDefaults();
    b.assignDefaults();
    a.regrow(kWindowHeight);
    a.regrow(kWindowHeight);
    b.regrow(kWindowHeight);
    EXPECT_NE(a.getTrees()[0].rules[0].lengthFactor, b.getTrees()[0].rules[0].lengthFactor);
    b.regrow(kWindowHeight);
    EXPECT_EQ(a.getTrees()[0].rules[0].lengthFactor, b.getTrees()[0].rules[0].lengthFactor);
    EXPECT_EQ(a.getLineHue(), b.getLineHue());
}

TEST_F(TreeScene, ADefaultTreeHas63LinesAndChildrenStartAtTheirParentsEnd)
{
    tree.regrow(kWindowHeight);
    const std::vector<Line> lines = linesOf(tree, tree.getTrees()[0]);
    ASSERT_EQ(lines.size(), 63u);
    EXPECT_EQ(lines[1].start, lines[0].end);
}

TEST_F(TreeScene, SilenceBendsEveryChildByMinusAQuarterRadian)
{
    tree.regrow(kWindowHeight);
    const TreeParams& params = tree.getTrees()[0];
    const std::vector<Line> lines = linesOf(tree, params);

    // The trunk points up: direction (0, -1), length 192. The first child uses rule 0,
    // turned by its own angle plus the flex (0 - 0.5) * 0.5.
    const BranchRule& rule = params.rules[0];
    const float angle = std::atan2(rule.rotation[2], rule.rotation[0]) - 0.25f;
    const Vec2f direction(0.0f, -1.0f);
    const float length = 192.0f * rule.lengthFactor;
    const Vec2f expected(
        params.end.x + (std::cos(angle) * direction.x + std::sin(angle) * direction.y) * length,
        params.end.y + (-std::sin(angle) * direction.x + std::cos(angle) * direction.y) * length);
    EXPECT_NEAR(lines[1].end.x, expected.x, 1e-2f);
    EXPECT_NEAR(lines[1].end.y, expected.y, 1e-2f);
}

TEST_F(TreeScene, BinsOneAndTwoBendTheFirstAndSecondChild)
{
    tree.setAngleFlexibility(0.0f);
    tree.regrow(kWindowHeight);
    const std::vector<Line> straight = linesOf(tree, tree.getTrees()[0]);

    tree.setAngleFlexibility(1.0f);
    spectrum[1] = 0.5f; // flex (0.5 - 0.5) * 1 = 0 for every first child
    spectrum[2] = 0.5f;
    const std::vector<Line> neutral = linesOf(tree, tree.getTrees()[0]);
    for (std::size_t i = 0; i < straight.size(); ++i) {
        EXPECT_NEAR(neutral[i].end.x, straight[i].end.x, 1e-2f) << "line " << i;
        EXPECT_NEAR(neutral[i].end.y, straight[i].end.y, 1e-2f) << "line " << i;
    }

    spectrum[2] = 1.0f; // bends only the second children
    const std::vector<Line> bent = linesOf(tree, tree.getTrees()[0]);
    EXPECT_NEAR(bent[1].end.x, straight[1].end.x, 1e-2f);
    EXPECT_GT(std::abs(bent.back().end.x - straight.back().end.x) +
                  std::abs(bent.back().end.y - straight.back().end.y),
              1e-2f);
}

TEST_F(TreeScene, ZeroLengthBranchesEndTheRecursionInsteadOfDividingByZero)
{
    tree.setLengthFactors(0.0f, 0.0f);
    tree.regrow(kWindowHeight);
    const std::vector<Line> lines = linesOf(tree, tree.getTrees()[0]);
    ASSERT_EQ(lines.size(), 3u); // the trunk and its two collapsed children
    for (const Line& line : lines) {
        EXPECT_TRUE(std::isfinite(line.end.x) && std::isfinite(line.end.y));
    }
    EXPECT_EQ(lines[1].end, lines[0].end);
}

TEST_F(TreeScene, SilenceNeitherTurnsNorRecoloursButStillRegrows)
{
    tree.activate();
    const float hue = tree.getLineHue();
    const float firstRule = tree.getTrees()[0].rules[0].lengthFactor;

    tree.update(1.0f);
    EXPECT_EQ(tree.getRotationAngle(), 0.0f);
    EXPECT_EQ(tree.getLineHue(), hue);
    EXPECT_NEAR(tree.getRegrowTimer(), 2.0f, kTolerance);

    tree.update(2.5f);
    EXPECT_NEAR(tree.getRegrowTimer(), 3.0f, kTolerance);
    EXPECT_NE(tree.getTrees()[0].rules[0].lengthFactor, firstRule);
}

TEST_F(TreeScene, LowBandTurnsTheRingAndShiftsBothHues)
{
    tree.activate();
    std::fill(spectrum.begin(), spectrum.begin() + 300, 0.5f);
    const float hue = tree.getLineHue();
    const float low = 0.5f * 205.0f / 204.0f; // bins 0..204 over 204

    tree.update(0.1f);
    EXPECT_NEAR(tree.getRotationAngle(), low * 0.1f * 30.0f, kTolerance);
    EXPECT_NEAR(tree.getLineHue(), std::fmod(hue + low * 0.1f, 1.0f), kTolerance);
    const Color expectedLine = hsvToRgb(tree.getLineHue(), 0.4f, 0.9f);
    EXPECT_NEAR(tree.getLineColor().r, expectedLine.r, kTolerance);
    EXPECT_EQ(tree.getBackgroundColor().a, 1.0f);
}

} // namespace
} // namespace mirvo
