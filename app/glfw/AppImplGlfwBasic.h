// The GLFW application object: owns the event loop on the main thread, the frame timer
// (a deadline the loop sleeps towards in glfwWaitEventsTimeout), the windows and the
// displays, and carries out start-up, quit and shutdown in the framework's order.
#pragma once

#include "app/AppImplBasic.h"

#include <exception>
#include <memory>
#include <vector>

struct GLFWmonitor;

namespace mirvo::app::glfw {

class WindowImplGlfw;

class AppImplGlfwBasic : public AppImplBasic {
  public:
    explicit AppImplGlfwBasic(AppBasic& app);
    ~AppImplGlfwBasic() override;

    void run() override;
    WindowRef createWindow(const Window::Format& format) override;
    WindowRef getWindow() const override;
    std::size_t getNumWindows() const override { return mWindows.size(); }
    WindowRef getWindowIndex(std::size_t index) const override;
    WindowRef getForegroundWindow() const override;
    float getFrameRate() const override { return mFrameRate; }
    void setFrameRate(float frameRate) override;
    void disableFrameRate() override;
    bool isFrameRateEnabled() const override { return mFrameRateEnabled; }
    void quit() override;
    void hideCursor() override;
    void showCursor() override;
    DisplayRef getMainDisplay() const override;
    std::vector<DisplayRef> getDisplays() const override { return mDisplays; }

    AppBasic& getApp() const { return mApp; }
    void setActiveWindow(WindowImplGlfw* window) { mActiveWindow = window; }
    // Closes a window now: close signal, then release.
    void closeWindow(WindowImplGlfw* window);
    // The user asked to close a window (its close button).
    void closeRequested(WindowImplGlfw* window);
    void focusChanged(WindowImplGlfw* window, bool focused);
    // A window was minimised, hidden, or shown again.
    void visibilityChanged();
    // An exception thrown by the application inside a GLFW callback; the loop throws the
    // first one once GLFW has returned.
    void deferException(std::exception_ptr exception);

    // The interval the frame timer runs at, in seconds.
    double getFrameInterval() const;

  private:
    static void onMonitor(GLFWmonitor* monitor, int event);

    void startUp();
    void timerFired();
    void startAnimationTimer();
    void terminate();
    void shutdownSequence();
    void refreshDisplays();
    void destroyReleasedWindows();
    void checkResignActive();
    WindowImplGlfw* instantiateWindow(const Window::Format& format);

    AppBasic& mApp;
    std::vector<std::unique_ptr<WindowImplGlfw>> mWindows;
    // Closed windows whose native windows wait for the loop to leave GLFW's callbacks.
    std::vector<std::unique_ptr<WindowImplGlfw>> mReleasedWindows;
    WindowImplGlfw* mActiveWindow = nullptr;
    std::vector<DisplayRef> mDisplays;

    float mFrameRate = 60.0f;
    bool mFrameRateEnabled = true;
    bool mTimerRunning = false;
    double mNextFrameTime = 0.0;
    double mLastKeepAwakeTime = 0.0;
    bool mTerminating = false;
    bool mCursorHidden = false;
    bool mActive = false;
    bool mFocusLost = false;
    // Every window is minimised or hidden: nothing is drawn and the frames come slowly.
    bool mAllUnseen = false;
    std::exception_ptr mDeferredException;
};

} // namespace mirvo::app::glfw
