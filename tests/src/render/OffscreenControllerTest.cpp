#include "src/MirvoApp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace mirvo {
namespace {

class StepScene : public Visualizer {
  public:
    explicit StepScene(std::vector<float>& spectrum) : Visualizer(nullptr, spectrum) {}
    void activate() override { ++activations; }
    void deactivate() override {}
    void update(float dt) override { steps.push_back(dt); }
    void draw() override {}

    int activations = 0;
    std::vector<float> steps;
};

struct Controller {
    Controller()
    {
        std::vector<std::unique_ptr<Visualizer>> owned;
        for (int i = 0; i < 3; ++i) {
            owned.push_back(std::make_unique<StepScene>(spectrum));
            scenes.push_back(static_cast<StepScene*>(owned.back().get()));
        }
        app.setupVisualizers(std::move(owned));
    }

    std::vector<float> spectrum = std::vector<float>(1024, 0.0f);
    MirvoApp app;
    std::vector<StepScene*> scenes;
};

// However long a render, every step is exactly one frame: a time step computed from an
// accumulated clock would drift in float once the song is long.
TEST(OffscreenController, EveryStepIsExactlyTheFramePeriodAtAnyPointOfALongSong)
{
    Controller controller;
    controller.app.setSwitchInterval(std::numeric_limits<float>::infinity());
    const float period = 1.0f / 60.0f;
    for (int frame = 0; frame < 60 * 60 * 10; ++frame) {
        controller.app.advanceFrameBy(period);
    }
    const std::vector<float>& steps = controller.scenes[0]->steps;
    ASSERT_EQ(steps.size(), 36000u);
    for (float step : steps) {
        ASSERT_EQ(step, period);
    }
    EXPECT_EQ(controller.app.getCurrentVisualizer(), 0u);
}

TEST(OffscreenController, ScenesChangeOnVideoTimeAtTheIntervalGiven)
{
    Controller controller;
    controller.app.setSwitchInterval(2.0f);
    std::vector<int> changes;
    std::size_t scene = 0;
    for (int frame = 1; frame <= 30 * 7; ++frame) {
        controller.app.advanceFrameBy(1.0f / 30.0f);
        if (controller.app.getCurrentVisualizer() != scene) {
            scene = controller.app.getCurrentVisualizer();
            changes.push_back(frame);
        }
    }
    // Each scene gets its whole interval from the frame it came in on, so a change is due
    // 2 s after the last one, within one frame (float steps of 1/30 may fall just short of it).
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_NEAR(changes[0], 60, 1);
    for (std::size_t i = 1; i < changes.size(); ++i) {
        EXPECT_GE(changes[i] - changes[i - 1], 60) << i;
        EXPECT_LE(changes[i] - changes[i - 1], 61) << i;
    }
    EXPECT_EQ(controller.app.getCurrentVisualizer(), 0u);
}

} // namespace
} // namespace mirvo
