#include "src/settings/Settings.h"

#include "app/App.h"
#include "params/InterfaceGl.h"
#include "src/scenes/SceneSet.h"

#include <charconv>
#include <chrono>
#include <iostream>
#include <system_error>
#include <utility>

namespace mirvo {

namespace {

constexpr const char* kStart = "start";
constexpr const char* kPanelPrefix = "panel ";

std::optional<int> parseInt(const std::string& text)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::string sizeText(Vec2i size)
{
    return std::to_string(size.x) + "x" + std::to_string(size.y);
}

// A stored size that a window can take; nothing for a damaged or absurd one.
std::optional<Vec2i> parseSize(const std::string& text)
{
    const auto x = text.find('x');
    if (x == std::string::npos) {
        return std::nullopt;
    }
    const std::optional<int> width = parseInt(text.substr(0, x));
    const std::optional<int> height = parseInt(text.substr(x + 1));
    if (!width || !height || *width < 1 || *height < 1 || *width > 16384 || *height > 16384) {
        return std::nullopt;
    }
    return Vec2i(*width, *height);
}

bool isSampleCount(int samples)
{
    return samples == 0 || samples == 2 || samples == 4 || samples == 8 || samples == 16;
}

const std::string* storedValue(const SettingsSections& sections, const std::string& section,
                               const std::string& key)
{
    const auto entries = sections.find(section);
    if (entries == sections.end()) {
        return nullptr;
    }
    const auto value = entries->second.find(key);
    return value == entries->second.end() ? nullptr : &value->second;
}

// `over` laid over `under`, key by key.
SettingsSections merged(SettingsSections under, const SettingsSections& over)
{
    for (const auto& [section, entries] : over) {
        for (const auto& [key, value] : entries) {
            under[section][key] = value;
        }
    }
    return under;
}

} // namespace

std::unique_ptr<Settings> Settings::open(CommandLine& commandLine)
{
    if (commandLine.noSettings) {
        return nullptr;
    }
    const std::filesystem::path path = SettingsFile::defaultPath();
    if (path.empty()) {
        std::cerr << "mirvo: the settings are not kept: neither $XDG_CONFIG_HOME nor $HOME is set"
                  << std::endl;
        return nullptr;
    }
    return std::make_unique<Settings>(SettingsFile(path), commandLine);
}

void Settings::reset()
{
    const std::filesystem::path path = SettingsFile::defaultPath();
    if (const std::string problem = path.empty() ? std::string() : SettingsFile(path).remove();
        !problem.empty()) {
        std::cerr << "mirvo: --reset-settings: " << problem << std::endl;
    }
}

Settings::Settings(SettingsFile file, CommandLine& commandLine) : mFile(std::move(file))
{
    const SettingsFile::Contents contents = mFile.read();
    if (contents.state == SettingsFile::Contents::State::REFUSED) {
        std::cerr << "mirvo: ignoring the settings in " << mFile.getPath().string() << ": "
                  << contents.problem << std::endl;
    }
    mStored = contents.sections;

    // Naming shaders names the first scene too.
    if (!commandLine.sceneName.empty()) {
        mGiven.insert("scene");
    } else if (const std::string* scene = storedValue(mStored, kStart, "scene");
               scene && !scene->empty() && commandLine.shaderPaths.empty()) {
        commandLine.sceneName = *scene;
    }

    if (commandLine.msaa) {
        mGiven.insert("msaa");
    } else if (const std::string* msaa = storedValue(mStored, kStart, "msaa")) {
        if (const std::optional<int> samples = parseInt(*msaa); samples && isSampleCount(*samples)) {
            commandLine.msaa = samples;
        }
    }
    mMsaa = commandLine.msaa;

    // Only a window has a size of its own to keep; full screen takes the screen's.
    mWindowed = commandLine.windowed;
    if (mWindowed && commandLine.windowSizeGiven) {
        mGiven.insert("window");
    } else if (const std::string* size = storedValue(mStored, kStart, "window"); size && mWindowed) {
        commandLine.windowSize = parseSize(*size).value_or(commandLine.windowSize);
    }
}

Settings::~Settings()
{
    if (mPendingWrite.valid()) {
        mPendingWrite.wait();
    }
}

void Settings::follow(app::App& app, SceneSet& scenes, params::InterfaceGl& panel)
{
    mApp = &app;
    mScenes = &scenes;
    mPanel = &panel;
    // Connected before the application makes its panels, so that the panel layer, which ends on
    // the same signal, ends after the last values are taken.
    mShutdownConnection = app.getSignalShutdown().connect([this] { finish(); });
    mUpdateConnection = app.getSignalUpdate().connect([this] { mStarted ? poll() : start(); });
}

std::vector<params::InterfaceGl*> Settings::panels() const
{
    std::vector<params::InterfaceGl*> list = {mPanel};
    for (std::size_t index = 0; index < mScenes->size(); ++index) {
        if (const InterfaceGlRef panel = mScenes->get(index).getParams()) {
            list.push_back(panel.get());
        }
    }
    return list;
}

void Settings::start()
{
    // Before the first update of a run whose setup failed there is nothing to keep.
    if (mScenes->empty()) {
        mUpdateConnection.disconnect();
        return;
    }
    mStarted = true;
    mSeenChoices = mScenes->getChoiceCount();
    if (mSeenChoices > 0 || mGiven.count("scene") > 0) {
        mScene = mScenes->getName(mScenes->getCurrentIndex());
    } else if (const std::string* scene = storedValue(mStored, kStart, "scene")) {
        mScene = *scene;
    }
    noteWindowAndScene();
    restoreNewPanels();
    mBaseline = current();
    // What the command line gave counts as a change when the file holds something else.
    for (const std::string& key : mGiven) {
        if (const std::string* stored = storedValue(mStored, kStart, key)) {
            mBaseline[kStart][key] = *stored;
        } else {
            mBaseline[kStart].erase(key);
        }
    }
    mLastSeen = mBaseline;
    mNextPoll = mApp->getElapsedSeconds() + kPollSeconds;
}

void Settings::restoreNewPanels()
{
    for (params::InterfaceGl* panel : panels()) {
        const std::string title = panel->getTitle();
        if (title.empty() || !mRestoredPanels.insert(title).second) {
            continue;
        }
        const std::string section = kPanelPrefix + title;
        if (const auto stored = mStored.find(section); stored != mStored.end()) {
            // Values of controls the panel no longer has, or texts it refuses, are passed over.
            for (const auto& [name, value] : stored->second) {
                panel->setParamValue(name, value);
            }
        }
        if (mStarted) {
            mBaseline[section] = current()[section];
        }
    }
}

void Settings::noteWindowAndScene()
{
    if (mScenes->getChoiceCount() != mSeenChoices) {
        mSeenChoices = mScenes->getChoiceCount();
        mScene = mScenes->getName(mScenes->getCurrentIndex());
    }
    if (mWindowed) {
        mWindowSize = sizeText(mApp->getWindowSize());
    }
}

SettingsSections Settings::current() const
{
    SettingsSections values;
    if (mScene) {
        values[kStart]["scene"] = *mScene;
    }
    if (!mWindowSize.empty()) {
        values[kStart]["window"] = mWindowSize;
    }
    if (mMsaa) {
        values[kStart]["msaa"] = std::to_string(*mMsaa);
    }
    for (params::InterfaceGl* panel : panels()) {
        const std::string title = panel->getTitle();
        if (title.empty()) {
            continue;
        }
        auto& section = values[kPanelPrefix + title];
        for (const params::InterfaceGl::ParamValue& value : panel->getParamValues()) {
            if (!value.readOnly) {
                section[value.name] = value.value;
            }
        }
    }
    return values;
}

void Settings::poll()
{
    const double now = mApp->getElapsedSeconds();
    if (now < mNextPoll) {
        return;
    }
    mNextPoll = now + kPollSeconds;
    if (mPendingWrite.valid()) {
        if (mPendingWrite.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
            return;
        }
        takeWriteResult(mPendingWrite.get());
    }
    restoreNewPanels();
    noteWindowAndScene();
    SettingsSections values = current();
    if (values != mLastSeen) {
        mLastSeen = values;
        mLastChange = now;
    }
    // A write that failed is tried again at the end, not at every look.
    if (values != mBaseline && now - mLastChange >= kStillSeconds) {
        mBaseline = values;
        mStored = merged(std::move(mStored), values);
        // On a thread of its own: a busy disk may hold a sync for longer than a frame.
        try {
            mPendingWrite = std::async(std::launch::async,
                                       [file = mFile, sections = mStored] { return file.write(sections); });
        } catch (const std::system_error&) {
            takeWriteResult(mFile.write(mStored));
        }
    }
}

void Settings::finish()
{
    mUpdateConnection.disconnect();
    if (!mStarted) {
        return;
    }
    mStarted = false;
    if (mPendingWrite.valid()) {
        takeWriteResult(mPendingWrite.get());
    }
    // The windows have closed by now: their last size is the one seen last.
    const SettingsSections values = current();
    if (values != mBaseline || mWriteFailed) {
        mStored = merged(std::move(mStored), values);
        takeWriteResult(mFile.write(mStored));
    }
}

void Settings::takeWriteResult(const std::string& problem)
{
    if (problem.empty()) {
        return;
    }
    mWriteFailed = true;
    if (!mReportedWriteFailure) {
        mReportedWriteFailure = true;
        std::cerr << "mirvo: the settings are not kept: " << problem << std::endl;
    }
}

} // namespace mirvo
