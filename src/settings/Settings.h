// What a run keeps for the next one: every panel's values, the scene the person chose last, the
// window's size and the multisampling --msaa asked for, in the settings file (SettingsFile).
// Read before the application starts, filling in what the command line leaves open (the command
// line wins); the panels' values are set once the panels exist, and a panel that comes later (a
// dropped shader's) gets its own when it comes. Written only when something differs from how the
// run started, so a person who changes nothing never has the file rewritten, nor a damaged one
// replaced: a few seconds after the last change, on a thread of its own so that no frame waits
// for the disk, and when the application shuts down. It follows the application from outside,
// through its update and shutdown signals. Main thread.
#pragma once

#include "src/CommandLine.h"
#include "src/settings/SettingsFile.h"

#include <boost/signals2/connection.hpp>

#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace mirvo::app {
class App;
} // namespace mirvo::app

namespace mirvo::params {
class InterfaceGl;
} // namespace mirvo::params

namespace mirvo {

class SceneSet;

class Settings {
  public:
    // How long a change rests before it is written, and how often the values are looked at.
    static constexpr double kStillSeconds = 3.0;
    static constexpr double kPollSeconds = 0.5;

    // Reads `file` and fills in the first scene, the window's size and the multisampling where
    // `commandLine` gives none. A file that cannot be used is one line on standard error and
    // counts as none.
    Settings(SettingsFile file, CommandLine& commandLine);
    ~Settings();
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    // Follows `app`, whose scenes and own panel are `scenes` and `panel`, from its first update
    // to its shutdown; call before it is launched. All three must outlive this object.
    void follow(app::App& app, SceneSet& scenes, params::InterfaceGl& panel);

    // The settings of a window's run, in the file of SettingsFile::defaultPath; none with
    // --no-settings, and none, with one line on standard error, where there is no such path.
    static std::unique_ptr<Settings> open(CommandLine& commandLine);
    // --reset-settings: removes that file; a failure is one line on standard error.
    static void reset();

  private:
    void start();
    void poll();
    void finish();
    std::vector<params::InterfaceGl*> panels() const;
    // Sets the stored values of the panels not seen before, which then count as unchanged.
    void restoreNewPanels();
    // The values as they would be written now: this run's, in their sections.
    SettingsSections current() const;
    void noteWindowAndScene();
    void takeWriteResult(const std::string& problem);

    SettingsFile mFile;
    // As the file holds them (none when it was refused); kept in what is written, so that what
    // this run does not show (another shader's panel, a window size in full screen) stays.
    SettingsSections mStored;
    // The values a write is measured against: how the run started, then what was last written.
    SettingsSections mBaseline;
    SettingsSections mLastSeen;
    // The start values the command line gave: measured against the file, not against the run.
    std::set<std::string> mGiven;
    std::optional<std::string> mScene;
    std::optional<int> mMsaa;
    bool mWindowed = false;
    std::string mWindowSize;
    std::uint64_t mSeenChoices = 0;
    std::set<std::string> mRestoredPanels;
    double mNextPoll = 0.0;
    double mLastChange = 0.0;
    bool mStarted = false;
    bool mWriteFailed = false;
    bool mReportedWriteFailure = false;
    std::future<std::string> mPendingWrite;

    app::App* mApp = nullptr;
    SceneSet* mScenes = nullptr;
    params::InterfaceGl* mPanel = nullptr;
    boost::signals2::scoped_connection mUpdateConnection;
    boost::signals2::scoped_connection mShutdownConnection;
};

} // namespace mirvo
