#include "src/MirvoApp.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace mirvo {
namespace {

// A scene that writes its life-cycle calls into a shared log.
class RecordingScene : public Visualizer {
  public:
    RecordingScene(std::string name, std::vector<std::string>& log, std::vector<float>& spectrum)
        : Visualizer(nullptr, spectrum), mName(std::move(name)), mLog(log)
    {
    }
    void setup() override { mLog.push_back(mName + ".setup"); }
    void activate() override { mLog.push_back(mName + ".activate"); }
    void deactivate() override { mLog.push_back(mName + ".deactivate"); }
    void update(float) override {}
    void draw() override {}

  private:
    std::string mName;
    std::vector<std::string>& mLog;
};

app::KeyEvent keyDown(int code, uint32_t modifiers)
{
    return app::KeyEvent(nullptr, code, 0, 0, modifiers, 0);
}

class Controller : public ::testing::Test {
  protected:
    Controller() : spectrum(1024, 0.0f)
    {
        for (const char* name : {"galaxy", "tree", "triangles"}) {
            scenes.push_back(std::make_unique<RecordingScene>(name, log, spectrum));
        }
        app.setupVisualizers({scenes[0].get(), scenes[1].get(), scenes[2].get()});
        log.clear();
    }

    std::vector<float> spectrum;
    std::vector<std::string> log;
    // The application keeps its scenes for the whole run and never deletes them.
    std::vector<std::unique_ptr<RecordingScene>> scenes;
    MirvoApp app;
};

TEST(MirvoApp, SetsUpEverySceneInOrderThenActivatesOnlyTheFirst)
{
    std::vector<float> spectrum(8, 0.0f);
    std::vector<std::string> log;
    RecordingScene a("a", log, spectrum);
    RecordingScene b("b", log, spectrum);
    MirvoApp app;
    app.setupVisualizers({&a, &b});
    EXPECT_EQ(log, (std::vector<std::string>{"a.setup", "b.setup", "a.activate"}));
    EXPECT_EQ(app.getCurrentVisualizer(), 0u);
}

TEST_F(Controller, OptionArrowsWrapAroundTheSceneList)
{
    app.keyDown(keyDown(app::KeyEvent::KEY_LEFT, app::Event::ALT_DOWN));
    EXPECT_EQ(app.getCurrentVisualizer(), 2u);
    app.keyDown(keyDown(app::KeyEvent::KEY_RIGHT, app::Event::ALT_DOWN));
    EXPECT_EQ(app.getCurrentVisualizer(), 0u);
    app.keyDown(keyDown(app::KeyEvent::KEY_RIGHT, app::Event::ALT_DOWN | app::Event::SHIFT_DOWN));
    EXPECT_EQ(app.getCurrentVisualizer(), 1u);
    EXPECT_EQ(log,
              (std::vector<std::string>{"galaxy.deactivate", "triangles.activate", "triangles.deactivate",
                                        "galaxy.activate", "galaxy.deactivate", "tree.activate"}));
}

TEST_F(Controller, ArrowsWithoutOptionAndOtherKeysLeaveTheScene)
{
    app.keyDown(keyDown(app::KeyEvent::KEY_RIGHT, 0));
    app.keyDown(keyDown(app::KeyEvent::KEY_LEFT, app::Event::CTRL_DOWN));
    app.keyDown(keyDown(app::KeyEvent::KEY_a, app::Event::ALT_DOWN));
    // Space with no music player yet must not fail either.
    app.keyDown(keyDown(app::KeyEvent::KEY_SPACE, 0));
    EXPECT_EQ(app.getCurrentVisualizer(), 0u);
    EXPECT_TRUE(log.empty());
}

TEST_F(Controller, ABadSceneIndexThrowsAndLeavesTheCurrentScene)
{
    app.setVisualizer(1);
    log.clear();
    try {
        app.setVisualizer(3);
        FAIL() << "no exception";
    } catch (const std::range_error& error) {
        EXPECT_STREQ(error.what(), "Invalid visualizer idx given");
    }
    EXPECT_EQ(app.getCurrentVisualizer(), 1u);
    EXPECT_TRUE(log.empty());
}

TEST_F(Controller, SelectingTheCurrentSceneRestartsIt)
{
    app.setVisualizer(0);
    EXPECT_EQ(log, (std::vector<std::string>{"galaxy.deactivate", "galaxy.activate"}));
}

} // namespace
} // namespace mirvo
