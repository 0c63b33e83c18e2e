// The desktop application: launch from the entry point, start-up settings, the
// should-quit query and the forwarding of platform operations to the GLFW layer.
// An application derives from AppBasic and overrides the hooks of App.
#pragma once

#include "app/App.h"
#include "app/EventCombiner.h"

#include "core/Exception.h"

#include <boost/signals2/signal.hpp>

#include <memory>
#include <string>
#include <vector>

namespace mirvo::app {

class AppImplBasic;

// No display could be opened (or no GL context created on it). The message is the one
// line to show the user.
class ExcNoDisplay : public mirvo::Exception {
  public:
    explicit ExcNoDisplay(std::string message) : mirvo::Exception(std::move(message)) {}
};

class AppBasic : public App {
  public:
    class Settings : public App::Settings {
      public:
        void setQuitOnLastWindowClose(bool enable = true) { mQuitOnLastWindowClose = enable; }
        bool isQuitOnLastWindowCloseEnabled() const { return mQuitOnLastWindowClose; }

      private:
        bool mQuitOnLastWindowClose = true;
    };

    using SignalShouldQuit = boost::signals2::signal<bool(), BooleanAndEventCombiner>;

    AppBasic();
    ~AppBasic() override;

    // Edit the start-up settings here; nothing else may change them.
    virtual void prepareSettings(Settings* settings) {}

    // Stores the command line and title, runs prepareSettings and, unless the settings
    // ask to quit, runs the platform event loop until the application terminates.
    // Throws ExcNoDisplay when no window can be opened.
    void launch(const char* title, int argc, char* const argv[]) override;

    void quit() override;
    const Settings& getSettings() const override { return mSettings; }
    WindowRef getWindow() const override;
    std::size_t getNumWindows() const override;
    WindowRef getWindowIndex(std::size_t index) const override;
    float getFrameRate() const override;
    void setFrameRate(float frameRate) override;
    void disableFrameRate() override;
    bool isFrameRateEnabled() const override;
    WindowRef getForegroundWindow() const override;
    void hideCursor() override;
    void showCursor() override;

    // Opens another window after start-up and makes it the active one.
    WindowRef createWindow(const Window::Format& format = Window::Format());
    DisplayRef getMainDisplay() const;
    std::vector<DisplayRef> getDisplays() const;

    const std::vector<std::string>& getCommandLineArgs() const { return mCommandLineArgs; }
    // Asked before the application quits; any slot answering false vetoes.
    SignalShouldQuit& getSignalShouldQuit() { return mSignalShouldQuit; }
    bool privateShouldQuit() { return mSignalShouldQuit(); }

    AppImplBasic* getImpl() const { return mImpl.get(); }

  private:
    SignalShouldQuit mSignalShouldQuit;
    std::unique_ptr<AppImplBasic> mImpl;
    std::vector<std::string> mCommandLineArgs;
    Settings mSettings;
};

} // namespace mirvo::app
