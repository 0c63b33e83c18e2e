// Just enough of an application to own the shutdown signal, so that a test can tear down the
// audio engine's process-wide master context and device manager as the program does on quit.
#pragma once

#include "app/App.h"

namespace mirvo::audio::test {

class ShutdownOnlyApp : public app::App {
  public:
    void quit() override {}
    const Settings& getSettings() const override { return mSettings; }
    app::WindowRef getWindow() const override { return {}; }
    std::size_t getNumWindows() const override { return 0; }
    app::WindowRef getWindowIndex(std::size_t) const override { return {}; }
    float getFrameRate() const override { return 60.0f; }
    void setFrameRate(float) override {}
    void launch(const char*, int, char* const[]) override {}
    void disableFrameRate() override {}
    bool isFrameRateEnabled() const override { return true; }
    app::WindowRef getForegroundWindow() const override { return {}; }
    void hideCursor() override {}
    void showCursor() override {}

  private:
    Settings mSettings;
};

} // namespace mirvo::audio::test
