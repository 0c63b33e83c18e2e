#include "src/MirvoApp.h"
#include "tests/TestPaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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
    void update(float dt) override { updates.push_back(dt); }
    void draw() override {}

    std::vector<float> updates;

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
            auto scene = std::make_unique<RecordingScene>(name, log, spectrum);
            scenes.push_back(scene.get());
            app.getScenes().add(name, std::move(scene));
        }
        app.getScenes().setup();
        log.clear();
    }

    std::vector<float> spectrum;
    std::vector<std::string> log;
    MirvoApp app;
    // Owned by the app.
    std::vector<RecordingScene*> scenes;
};

TEST(MirvoApp, SetsUpEverySceneInOrderThenActivatesOnlyTheFirst)
{
    std::vector<float> spectrum(8, 0.0f);
    std::vector<std::string> log;
    MirvoApp app;
    app.getScenes().add("a", std::make_unique<RecordingScene>("a", log, spectrum));
    app.getScenes().add("b", std::make_unique<RecordingScene>("b", log, spectrum));
    app.getScenes().setup();
    EXPECT_EQ(log, (std::vector<std::string>{"a.setup", "b.setup", "a.activate"}));
    EXPECT_EQ(app.getScenes().getCurrentIndex(), 0u);
}

TEST_F(Controller, OptionArrowsWrapAroundTheSceneList)
{
    app.keyDown(keyDown(app::KeyEvent::KEY_LEFT, app::Event::ALT_DOWN));
    EXPECT_EQ(app.getScenes().getCurrentIndex(), 2u);
    app.keyDown(keyDown(app::KeyEvent::KEY_RIGHT, app::Event::ALT_DOWN));
    EXPECT_EQ(app.getScenes().getCurrentIndex(), 0u);
    app.keyDown(keyDown(app::KeyEvent::KEY_RIGHT, app::Event::ALT_DOWN | app::Event::SHIFT_DOWN));
    EXPECT_EQ(app.getScenes().getCurrentIndex(), 1u);
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
    EXPECT_EQ(app.getScenes().getCurrentIndex(), 0u);
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
    EXPECT_EQ(app.getScenes().getCurrentIndex(), 1u);
    EXPECT_TRUE(log.empty());
}

// Frames of 1/80 s from `from` to `to` seconds; the times at which the scene changed.
std::vector<float> runFrames(MirvoApp& app, float from, float to)
{
    std::vector<float> changes;
    std::size_t scene = app.getScenes().getCurrentIndex();
    for (int frame = int(from * 80.0f) + 1; frame <= int(to * 80.0f); ++frame) {
        const float now = float(frame) / 80.0f;
        app.advanceFrame(now);
        if (app.getScenes().getCurrentIndex() != scene) {
            scene = app.getScenes().getCurrentIndex();
            changes.push_back(now);
        }
    }
    return changes;
}

TEST_F(Controller, ScenesChangeByThemselvesEveryFifteenSecondsInListOrder)
{
    const std::vector<float> changes = runFrames(app, 0.0f, 46.0f);
    ASSERT_EQ(changes.size(), 3u);
    for (std::size_t i = 0; i < changes.size(); ++i) {
        EXPECT_NEAR(changes[i], 15.0f * float(i + 1), 0.03f) << "change " << i;
    }
    EXPECT_EQ(log,
              (std::vector<std::string>{"galaxy.deactivate", "tree.activate", "tree.deactivate",
                                        "triangles.activate", "triangles.deactivate", "galaxy.activate"}));
    EXPECT_EQ(app.getScenes().getCurrentIndex(), 0u);
}

TEST_F(Controller, OnlyTheCurrentSceneRunsAndItGetsTheTimeSinceTheLastFrame)
{
    app.advanceFrame(2.5f); // the first frame: the whole time since the start
    app.advanceFrame(2.6f);
    ASSERT_EQ(scenes[0]->updates.size(), 2u);
    EXPECT_FLOAT_EQ(scenes[0]->updates[0], 2.5f);
    EXPECT_NEAR(scenes[0]->updates[1], 0.1f, 1e-5f);
    app.setVisualizer(2);
    app.advanceFrame(3.0f);
    EXPECT_EQ(scenes[0]->updates.size(), 2u);
    EXPECT_EQ(scenes[1]->updates.size(), 0u);
    ASSERT_EQ(scenes[2]->updates.size(), 1u);
    EXPECT_NEAR(scenes[2]->updates[0], 0.4f, 1e-5f);
}

TEST_F(Controller, ALongFrameChangesTheSceneOnceAndTheNextSceneGetsItsWholeInterval)
{
    // A frame 31 s long (a suspended machine, a debugger) passes two deadlines. Skipping a
    // scene that would never be drawn helps nobody: one change, then a full interval.
    app.advanceFrame(0.0125f);
    app.advanceFrame(31.0f);
    EXPECT_EQ(app.getScenes().getCurrentIndex(), 1u);
    EXPECT_EQ(log, (std::vector<std::string>{"galaxy.deactivate", "tree.activate"}));
    const std::vector<float> changes = runFrames(app, 31.0f, 47.0f);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_NEAR(changes[0], 46.0f, 0.03f);
}

TEST_F(Controller, AManualChangeLeavesTheCountdownRunning)
{
    runFrames(app, 0.0f, 10.0f);
    app.keyDown(keyDown(app::KeyEvent::KEY_RIGHT, app::Event::ALT_DOWN));
    ASSERT_EQ(app.getScenes().getCurrentIndex(), 1u);
    const std::vector<float> changes = runFrames(app, 10.0f, 16.0f);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_NEAR(changes[0], 15.0f, 0.03f);
    EXPECT_EQ(app.getScenes().getCurrentIndex(), 2u);
}

// A private folder of files that cannot be played.
class DropFolder {
  public:
    DropFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "mirvo-drop-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            throw std::runtime_error("mkdtemp failed");
        }
        mPath = pattern;
        std::ofstream(mPath / "notes.mp3") << "a shopping list, not music\n";
        std::filesystem::create_directory(mPath / "Albums");
    }
    ~DropFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(mPath, ignored);
    }
    std::filesystem::path operator/(const std::string& name) const { return mPath / name; }

  private:
    std::filesystem::path mPath;
};

std::vector<std::vector<std::string>> noticeLines(MirvoApp& app, float now)
{
    std::vector<std::vector<std::string>> lines;
    for (const Notices::Shown& shown : app.getNotices().visible(now)) {
        lines.push_back(shown.lines);
    }
    return lines;
}

TEST_F(Controller, ADropThatCannotBePlayedSaysWhyOnStandardErrorAndInANotice)
{
    DropFolder folder;
    testing::internal::CaptureStderr();
    app.fileDrop(app::FileDropEvent(nullptr, 0, 0, {folder / "gone.ogg", folder / "notes.mp3"}));
    app.getPlayer().finishLoading();
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(errors, "mirvo: cannot play '" + (folder / "gone.ogg").string() +
                          "': no such file\n"
                          "mirvo: cannot play '" +
                          (folder / "notes.mp3").string() + "': not an audio file\n");
    EXPECT_EQ(noticeLines(app, 0.0f), (std::vector<std::vector<std::string>>{
                                          {"gone.ogg: no such file", "notes.mp3: not an audio file"}}));
    EXPECT_EQ(app.getScenes().getCurrentIndex(), 0u);
    EXPECT_TRUE(log.empty());
}

TEST_F(Controller, AFileNameWithANewlineStaysOnItsOneLine)
{
    // A name may hold any byte but '/' and NUL; a newline in it must not start a line of its own
    // that a script reading standard error would take for another message.
    DropFolder folder;
    testing::internal::CaptureStderr();
    app.fileDrop(app::FileDropEvent(nullptr, 0, 0, {folder / "two\nlines\x1b[2J.mp3"}));
    app.getPlayer().finishLoading();
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(errors,
              "mirvo: cannot play '" + (folder / "two\\nlines\\x1B[2J.mp3").string() + "': no such file\n");
}

TEST_F(Controller, AFolderIsNamedOnlyWhenNothingElseWasDropped)
{
    DropFolder folder;
    testing::internal::CaptureStderr();
    app.fileDrop(app::FileDropEvent(nullptr, 0, 0, {folder / "Albums", folder / "notes.mp3"}));
    app.getPlayer().finishLoading();
    app.fileDrop(app::FileDropEvent(nullptr, 0, 0, {folder / "Albums"}));
    app.getPlayer().finishLoading();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(noticeLines(app, 0.0f),
              (std::vector<std::vector<std::string>>{{"notes.mp3: not an audio file"},
                                                     {"Albums: no audio files in it"}}));
}

TEST_F(Controller, ADropOfManyBadFilesListsThreeAndCountsTheRest)
{
    DropFolder folder;
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < 5; ++i) {
        files.push_back(folder / ("missing-" + std::to_string(i) + ".wav"));
    }
    testing::internal::CaptureStderr();
    app.fileDrop(app::FileDropEvent(nullptr, 0, 0, files));
    app.getPlayer().finishLoading();
    const std::string errors = testing::internal::GetCapturedStderr();
    // Every file still has its line on standard error.
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 5);
    const auto lines = noticeLines(app, 0.0f);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0],
              (std::vector<std::string>{"missing-0.wav: no such file", "missing-1.wav: no such file",
                                        "missing-2.wav: no such file", "and 2 more"}));
}

TEST_F(Controller, ADroppedFolderBecomesTheQueueAndTheTrackKeysMoveThroughIt)
{
    DropFolder folder;
    const std::filesystem::path music = std::filesystem::path(MIRVO_SOURCE_DIR) / "resources/init.mp3";
    std::filesystem::create_directory(folder / "Album");
    std::filesystem::copy_file(music, folder / "Album/10 last.mp3");
    std::filesystem::copy_file(music, folder / "Album/2 first.mp3");
    std::ofstream(folder / "Album/3 broken.mp3") << "not music";
    std::ofstream(folder / "Album/cover.txt") << "not music either";
    const auto playing = [this] { return app.getPlayer().getQueue().currentPath().filename().string(); };

    testing::internal::CaptureStderr();
    app.fileDrop(app::FileDropEvent(nullptr, 0, 0, {folder / "Album"}));
    app.getPlayer().finishLoading();
    app.advanceFrame(1.0f);
    EXPECT_EQ(playing(), "2 first.mp3");
    EXPECT_EQ(app.getPlayer().getQueue().size(), 3u); // the text file is not in it
    app.keyDown(keyDown(app::KeyEvent::KEY_n, 0));
    app.getPlayer().finishLoading();
    const std::string errors = testing::internal::GetCapturedStderr();
    // The broken file is passed over with its one line, and stays out of the queue from then on.
    EXPECT_EQ(errors,
              "mirvo: cannot play '" + (folder / "Album/3 broken.mp3").string() + "': not an audio file\n");
    EXPECT_EQ(playing(), "10 last.mp3");
    app.advanceFrame(1.1f);
    EXPECT_EQ(noticeLines(app, 1.1f), (std::vector<std::vector<std::string>>{{"1 file skipped"}}));
    app.keyDown(keyDown(app::KeyEvent::KEY_n, 0)); // the last track has no next one
    app.getPlayer().finishLoading();
    EXPECT_EQ(playing(), "10 last.mp3");

    app.advanceFrame(1.0f + float(PlayQueue::kRestartSeconds) + 1.0f);
    app.keyDown(keyDown(app::KeyEvent::KEY_p, 0)); // late in the track: it starts again
    app.getPlayer().finishLoading();
    EXPECT_EQ(playing(), "10 last.mp3");
    app.advanceFrame(6.0f);
    app.keyDown(keyDown(app::KeyEvent::KEY_p, 0)); // early: the one before, past the broken one
    app.getPlayer().finishLoading();
    EXPECT_EQ(playing(), "2 first.mp3");

    // A drop where nothing plays keeps the queue.
    testing::internal::CaptureStderr();
    app.fileDrop(app::FileDropEvent(nullptr, 0, 0, {folder / "notes.mp3"}));
    app.getPlayer().finishLoading();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(playing(), "2 first.mp3");
    EXPECT_EQ(app.getPlayer().getQueue().size(), 3u);
}

TEST_F(Controller, ADropThatPlaysCountsItsUnplayableFilesInOneNotice)
{
    DropFolder folder;
    const std::filesystem::path music = std::filesystem::path(MIRVO_SOURCE_DIR) / "resources/init.mp3";
    std::filesystem::copy_file(music, folder / "3 good.mp3");
    std::ofstream(folder / "2 broken.mp3") << "not music";
    testing::internal::CaptureStderr();
    app.fileDrop(app::FileDropEvent(nullptr, 0, 0,
                                    {folder / "1 gone.wav", folder / "2 broken.mp3", folder / "3 good.mp3"}));
    app.getPlayer().finishLoading();
    const std::string errors = testing::internal::GetCapturedStderr();
    // Each file still has its line on standard error; the notice only counts them.
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 2);
    EXPECT_EQ(app.getPlayer().getQueue().currentPath().filename(), "3 good.mp3");
    app.advanceFrame(0.5f);
    EXPECT_EQ(noticeLines(app, 0.5f), (std::vector<std::vector<std::string>>{{"2 files skipped"}}));
}

TEST(MirvoApp, WithoutOptionsItAsksForEightyFramesASecondAndTheFullScreen)
{
    MirvoApp app;
    app::AppBasic::Settings settings;
    app.prepareSettings(&settings);
    EXPECT_FLOAT_EQ(settings.getFrameRate(), 80.0f);
    EXPECT_TRUE(settings.isFullScreen());
}

// A scene that logs what it reads of the spectrum it was given, on every update.
class ReadingScene : public Visualizer {
  public:
    ReadingScene(std::string name, std::vector<std::string>& log, std::vector<float>& spectrum)
        : Visualizer(nullptr, spectrum), mName(std::move(name)), mLog(log)
    {
    }
    void activate() override { mLog.push_back(mName + ".activate"); }
    void deactivate() override { mLog.push_back(mName + ".deactivate"); }
    void update(float /*dt*/) override
    {
        mLog.push_back(mName + ".update " + std::to_string(getSpectrum().front()) + " " +
                       std::to_string(getSpectrum().back()));
    }
    void draw() override {}

  private:
    std::string mName;
    std::vector<std::string>& mLog;
};

class SpectrumOwner : public MirvoApp {
  public:
    using MirvoApp::getMagSpectrum;
};

TEST(MirvoApp, ScenesReadTheControllersSpectrumShapedInPlaceAndAChangeDueComesAfterTheUpdate)
{
    SpectrumOwner app;
    std::vector<float>& spectrum = app.getMagSpectrum();
    spectrum.assign(1024, 0.01f);
    std::vector<std::string> log;
    app.getScenes().add("a", std::make_unique<ReadingScene>("a", log, spectrum));
    app.getScenes().add("b", std::make_unique<ReadingScene>("b", log, spectrum));
    app.getScenes().setup();
    app.getScenes().setSwitchInterval(1.0f);
    log.clear();
    app.advanceFrame(1.0f);
    // The default ramp: 50 x 0.05 at the lowest bin, 50 x 1.0 at the highest.
    EXPECT_EQ(log, (std::vector<std::string>{"a.update 0.025000 0.500000", "a.deactivate", "b.activate"}));
    EXPECT_EQ(&app.getShownSpectrum(), &spectrum);
}

TEST_F(Controller, SelectingTheCurrentSceneRestartsIt)
{
    app.setVisualizer(0);
    EXPECT_EQ(log, (std::vector<std::string>{"galaxy.deactivate", "galaxy.activate"}));
}

} // namespace
} // namespace mirvo
