// The adaptive resolution of a shader scene, driven by frame times alone: it must fall to a
// quarter of each side on a GL that cannot keep up, climb back once there is room, never past the
// scale the panel sets, and leave a render at full size whatever its frames cost.
#include "src/scenes/shader/ShaderScene.h"

#include <gtest/gtest.h>

#include <vector>

namespace mirvo {
namespace {

ShaderFile minimalFile()
{
    return parseShader("adaptive", "void mainImage(out vec4 c, in vec2 p) { c = vec4(1.0); }\n", "/");
}

void run(ShaderScene& scene, int frames, float dt)
{
    for (int i = 0; i < frames; ++i) {
        scene.update(dt);
    }
}

TEST(ShaderScene, TheDrawnScaleFollowsTheFrameRateWithinItsBounds)
{
    std::vector<float> spectrum(1024, 0.0f);
    ShaderScene scene(nullptr, spectrum, minimalFile());
    run(scene, 120, 0.1f);
    EXPECT_FLOAT_EQ(scene.getDrawnScale(), 0.25f) << "ten frames a second: the smallest target";

    // Steady at 65 fps: between the two thresholds, so it stays where it is.
    const float settled = scene.getDrawnScale();
    run(scene, 300, 1.0f / 65.0f);
    EXPECT_FLOAT_EQ(scene.getDrawnScale(), settled) << "no swing while the rate holds";

    run(scene, 3000, 1.0f / 90.0f);
    EXPECT_FLOAT_EQ(scene.getDrawnScale(), 1.0f) << "room to spare: back to full size";

    scene.setResolutionScale(0.5f);
    run(scene, 2000, 1.0f / 90.0f);
    EXPECT_FLOAT_EQ(scene.getDrawnScale(), 0.5f) << "never past the panel's scale";

    scene.setAdaptiveScale(false);
    run(scene, 100, 0.2f);
    EXPECT_FLOAT_EQ(scene.getDrawnScale(), 0.5f) << "without adapting, the panel's scale holds";
}

TEST(ShaderScene, ARenderAlwaysDrawsFullSizeAndCountsFramesFromZero)
{
    std::vector<float> spectrum(1024, 0.0f);
    ShaderScene scene(nullptr, spectrum, minimalFile());
    scene.setWithoutPanels();
    run(scene, 1, 1.0f / 30.0f);
    EXPECT_EQ(scene.getFrame(), 0);
    EXPECT_EQ(scene.getTime(), 0.0f) << "frame 0 is at time 0";
    run(scene, 200, 0.5f);
    EXPECT_FLOAT_EQ(scene.getDrawnScale(), 1.0f);
    EXPECT_EQ(scene.getFrame(), 200);
    EXPECT_FLOAT_EQ(scene.getTime(), 100.0f);
}

} // namespace
} // namespace mirvo

namespace mirvo {
namespace {

// What a shader reads of a click and a drag, frame by frame, in the pixels of a frame drawn at
// 400x200 whatever the window's size: y up, z negative once let go, w positive for one frame.
TEST(ShaderPointer, AClickAndADragReadAsTheConventionSays)
{
    using Mouse = std::array<float, 4>;
    ShaderPointer pointer;
    const Vec2i frame(400, 200);
    EXPECT_EQ(pointer.take(frame), (Mouse{0, 0, 0, 0}));
    pointer.drag(Vec2f(0.5f, 0.5f));
    EXPECT_EQ(pointer.take(frame), (Mouse{0, 0, 0, 0})) << "moving without a button is no drag";
    pointer.press(Vec2f(0.25f, 0.25f));
    EXPECT_EQ(pointer.take(frame), (Mouse{100, 150, 100, 150}));
    EXPECT_EQ(pointer.take(frame), (Mouse{100, 150, 100, -150}));
    pointer.drag(Vec2f(0.5f, 0.5f));
    EXPECT_EQ(pointer.take(frame), (Mouse{200, 100, 100, -150}));
    pointer.release();
    pointer.drag(Vec2f(1.0f, 1.0f));
    EXPECT_EQ(pointer.take(frame), (Mouse{200, 100, -100, -150}));
    EXPECT_EQ(pointer.take(Vec2i(200, 100)), (Mouse{100, 50, -50, -75})) << "a reduced scale, the same place";
}

} // namespace
} // namespace mirvo
