// The abstract application: settings, the hooks an application overrides, elapsed time
// and frame bookkeeping, the update/shutdown/activity signals and the main thread's
// work queue. One instance per process, reachable through App::get(). Everything here
// runs on the main thread except posting to the work queue, which any thread may do.
#pragma once

#include "app/FileDropEvent.h"
#include "app/KeyEvent.h"
#include "app/MouseEvent.h"
#include "app/Renderer.h"
#include "app/Timeline.h"
#include "app/TouchEvent.h"
#include "app/Window.h"

#include "core/Timer.h"
#include "core/Vec.h"

#include <boost/asio/io_service.hpp>
#include <boost/signals2/signal.hpp>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mirvo::app {

class App {
  public:
    class Settings {
      public:
        Settings() = default;
        virtual ~Settings() = default;
        Settings(const Settings&) = default;
        Settings& operator=(const Settings&) = default;

        // Makes launch return before any window opens or setup runs.
        void setShouldQuit(bool shouldQuit = true) { mShouldQuit = shouldQuit; }
        bool isShouldQuit() const { return mShouldQuit; }

        // Windows opened at start-up, in order; when empty, the default format.
        void prepareWindow(const Window::Format& format) { mWindowFormats.push_back(format); }
        const std::vector<Window::Format>& getWindowFormats() const { return mWindowFormats; }
        std::vector<Window::Format>& getWindowFormats() { return mWindowFormats; }
        const Window::Format& getDefaultWindowFormat() const { return mDefaultWindowFormat; }
        Window::Format& getDefaultWindowFormat() { return mDefaultWindowFormat; }
        void setDefaultWindowFormat(const Window::Format& format) { mDefaultWindowFormat = format; }

        void setWindowSize(int width, int height) { mDefaultWindowFormat.setSize({width, height}); }
        void setWindowSize(Vec2i size) { mDefaultWindowFormat.setSize(size); }
        Vec2i getWindowSize() const { return mDefaultWindowFormat.getSize(); }
        void setWindowPos(Vec2i pos) { mDefaultWindowFormat.setPos(pos); }
        void setFullScreen(bool fullScreen = true, const FullScreenOptions& options = FullScreenOptions())
        {
            mDefaultWindowFormat.setFullScreen(fullScreen, options);
        }
        bool isFullScreen() const { return mDefaultWindowFormat.isFullScreen(); }
        void setResizable(bool resizable = true) { mDefaultWindowFormat.resizable(resizable); }
        void setBorderless(bool borderless = true) { mDefaultWindowFormat.borderless(borderless); }
        void setAlwaysOnTop(bool alwaysOnTop = true) { mDefaultWindowFormat.alwaysOnTop(alwaysOnTop); }

        // Stores the rate only; it does not re-enable a disabled frame rate.
        void setFrameRate(float frameRate) { mFrameRate = frameRate; }
        float getFrameRate() const { return mFrameRate; }
        void disableFrameRate() { mFrameRateEnabled = false; }
        bool isFrameRateEnabled() const { return mFrameRateEnabled; }

        void enablePowerManagement(bool enable = true) { mPowerManagement = enable; }
        bool isPowerManagementEnabled() const { return mPowerManagement; }
        void enableHighDensityDisplay(bool enable = true) { mEnableHighDensityDisplay = enable; }
        bool isHighDensityDisplayEnabled() const { return mEnableHighDensityDisplay; }

        void setTitle(const std::string& title) { mTitle = title; }
        const std::string& getTitle() const { return mTitle; }

      private:
        bool mShouldQuit = false;
        std::vector<Window::Format> mWindowFormats;
        Window::Format mDefaultWindowFormat;
        bool mFrameRateEnabled = true;
        float mFrameRate = 60.0f;
        bool mPowerManagement = false;
        bool mEnableHighDensityDisplay = false;
        std::string mTitle;
    };

    using SignalVoid = boost::signals2::signal<void()>;

    App();
    virtual ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // The process-wide application, null before one is constructed.
    static App* get() { return sInstance; }
    static void setInstance(App* app) { sInstance = app; }

    virtual void setup() {}
    virtual void shutdown() {}
    virtual void update() {}
    virtual void draw() {}
    virtual void mouseDown(MouseEvent event) {}
    virtual void mouseUp(MouseEvent event) {}
    virtual void mouseWheel(MouseEvent event) {}
    virtual void mouseMove(MouseEvent event) {}
    virtual void mouseDrag(MouseEvent event) {}
    virtual void touchesBegan(TouchEvent event) {}
    virtual void touchesMoved(TouchEvent event) {}
    virtual void touchesEnded(TouchEvent event) {}
    virtual void keyDown(KeyEvent event) {}
    virtual void keyUp(KeyEvent event) {}
    virtual void resize() {}
    virtual void fileDrop(FileDropEvent event) {}

    // Asks the should-quit query and, on yes, ends the event loop.
    virtual void quit() = 0;
    virtual const Settings& getSettings() const = 0;
    // The active window; the window of the event being handled during a handler.
    virtual WindowRef getWindow() const = 0;
    virtual std::size_t getNumWindows() const = 0;
    virtual WindowRef getWindowIndex(std::size_t index) const = 0;
    // False keeps the system from idling while the application runs.
    virtual void enablePowerManagement(bool powerManagement = true) { mPowerManagement = powerManagement; }
    virtual bool isPowerManagementEnabled() const { return mPowerManagement; }
    virtual void setWindowPos(Vec2i pos);
    virtual float getFrameRate() const = 0;
    virtual void setFrameRate(float frameRate) = 0;
    // The folder holding the executable.
    virtual std::filesystem::path getAppPath() const;
    // The folder resources are looked up in.
    virtual std::filesystem::path getBundle() const;
    virtual void runSetup();
    virtual void runUpdate();
    virtual bool receivesEvents() const { return true; }
    virtual void launch(const char* title, int argc, char* const argv[]) = 0;
    virtual void disableFrameRate() = 0;
    virtual bool isFrameRateEnabled() const = 0;
    virtual WindowRef getForegroundWindow() const = 0;
    virtual void hideCursor() = 0;
    virtual void showCursor() = 0;

    double getElapsedSeconds() const { return mTimer.getSeconds(); }
    std::uint32_t getElapsedFrames() const { return mFrameCount; }
    float getAverageFps() const { return mAverageFps; }
    double getFpsSampleInterval() const { return mFpsSampleInterval; }
    void setFpsSampleInterval(double seconds) { mFpsSampleInterval = seconds; }

    Vec2i getWindowSize() const { return getWindow()->getSize(); }
    int getWindowWidth() const { return getWindowSize().x; }
    int getWindowHeight() const { return getWindowSize().y; }
    float getWindowAspectRatio() const { return getWindow()->getAspectRatio(); }
    Vec2f getWindowCenter() const { return Vec2f(getWindowSize()) * 0.5f; }

    SignalVoid& getSignalUpdate() { return mSignalUpdate; }
    // Emitted after the windows closed and before shutdown().
    SignalVoid& getSignalShutdown() { return mSignalShutdown; }
    SignalVoid& getSignalWillResignActive() { return mSignalWillResignActive; }
    SignalVoid& getSignalDidBecomeActive() { return mSignalDidBecomeActive; }

    // The main thread's work queue, polled once a frame before update(). Any thread may
    // post to it.
    boost::asio::io_service& io() { return *mIo; }
    void dispatchAsync(std::function<void()> handler);

    const TimelineRef& timeline() const { return mTimeline; }
    const RendererRef& getDefaultRenderer() const { return mDefaultRenderer; }
    void setDefaultRenderer(RendererRef renderer) { mDefaultRenderer = std::move(renderer); }

  protected:
    // Measures the average frame rate at most once per sample interval.
    void sampleFps();

  private:
    static inline App* sInstance = nullptr;

    Timer mTimer{true};
    std::uint32_t mFrameCount = 0;
    float mAverageFps = 0.0f;
    std::uint32_t mFpsLastSampleFrame = 0;
    double mFpsLastSampleTime = 0.0;
    double mFpsSampleInterval = 1.0;
    TimelineRef mTimeline;
    SignalVoid mSignalUpdate;
    SignalVoid mSignalShutdown;
    SignalVoid mSignalWillResignActive;
    SignalVoid mSignalDidBecomeActive;
    std::shared_ptr<boost::asio::io_service> mIo;
    std::shared_ptr<boost::asio::io_service::work> mIoWork;
    RendererRef mDefaultRenderer;
    bool mPowerManagement = false;
};

} // namespace mirvo::app
