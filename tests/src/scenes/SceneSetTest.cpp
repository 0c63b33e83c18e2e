// The scene set as the window and the renderer drive it: named scenes in rotation, the change
// on a period of video or wall time, and scenes added while it runs.
#include "src/scenes/SceneSet.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace mirvo {
namespace {

class StepScene : public Visualizer {
  public:
    StepScene(std::vector<float>& spectrum, std::vector<std::string>* log = nullptr, std::string name = "")
        : Visualizer(nullptr, spectrum), mLog(log), mName(std::move(name))
    {
    }
    void setup() override { note("setup"); }
    void activate() override
    {
        ++activations;
        note("activate");
    }
    void deactivate() override { note("deactivate"); }
    void update(float dt) override { steps.push_back(dt); }
    void draw() override {}

    int activations = 0;
    std::vector<float> steps;

  private:
    void note(const std::string& what)
    {
        if (mLog) {
            mLog->push_back(mName + "." + what);
        }
    }

    std::vector<std::string>* mLog;
    std::string mName;
};

struct Scenes {
    Scenes()
    {
        for (const char* name : {"galaxy", "tree", "triangles"}) {
            auto scene = std::make_unique<StepScene>(spectrum);
            scenes.push_back(scene.get());
            set.add(name, std::move(scene));
        }
        set.setup();
    }

    std::vector<float> spectrum = std::vector<float>(1024, 0.0f);
    SceneSet set;
    std::vector<StepScene*> scenes;
};

// However long a render, every step is exactly one frame: a time step computed from an
// accumulated clock would drift in float once the song is long.
TEST(SceneSet, EveryStepIsExactlyTheFramePeriodAtAnyPointOfALongSong)
{
    Scenes scenes;
    scenes.set.setSwitchInterval(std::numeric_limits<float>::infinity());
    const float period = 1.0f / 60.0f;
    for (int frame = 0; frame < 60 * 60 * 10; ++frame) {
        scenes.set.update(period);
    }
    const std::vector<float>& steps = scenes.scenes[0]->steps;
    ASSERT_EQ(steps.size(), 36000u);
    for (float step : steps) {
        ASSERT_EQ(step, period);
    }
    EXPECT_EQ(scenes.set.getCurrentIndex(), 0u);
}

TEST(SceneSet, ScenesChangeOnVideoTimeAtTheIntervalGiven)
{
    Scenes scenes;
    scenes.set.setSwitchInterval(2.0f);
    std::vector<int> changes;
    std::size_t scene = 0;
    for (int frame = 1; frame <= 30 * 7; ++frame) {
        scenes.set.update(1.0f / 30.0f);
        if (scenes.set.getCurrentIndex() != scene) {
            scene = scenes.set.getCurrentIndex();
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
    EXPECT_EQ(scenes.set.getCurrentIndex(), 0u);
    // The scene kept for the next run is one a person chose, not one the rotation came to.
    EXPECT_EQ(scenes.set.getChoiceCount(), 0u);
}

TEST(SceneSet, ScenesAreKnownByTheirNames)
{
    Scenes scenes;
    EXPECT_EQ(scenes.set.find("tree"), 1u);
    EXPECT_EQ(scenes.set.getName(2), "triangles");
    EXPECT_FALSE(scenes.set.find("stars"));
}

// What a scene loaded while the program runs needs: one call, and it takes its turn.
TEST(SceneSet, ASceneAddedWhileRunningIsSetUpAtOnceAndJoinsTheRotationAtItsEnd)
{
    Scenes scenes;
    std::vector<std::string> log;
    scenes.set.add("plasma", std::make_unique<StepScene>(scenes.spectrum, &log, "plasma"));
    EXPECT_EQ(log, (std::vector<std::string>{"plasma.setup"}));
    EXPECT_EQ(scenes.set.find("plasma"), 3u);
    scenes.set.selectPrevious();
    EXPECT_EQ(scenes.set.getCurrentIndex(), 3u);
    EXPECT_EQ(log, (std::vector<std::string>{"plasma.setup", "plasma.activate"}));
    scenes.set.selectNext();
    EXPECT_EQ(scenes.set.getCurrentIndex(), 0u);
    EXPECT_EQ(scenes.set.getChoiceCount(), 2u);
}

} // namespace
} // namespace mirvo
