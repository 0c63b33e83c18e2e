#include "app/App.h"
#include "audio/Context.h"
#include "audio/DeviceManager.h"

#include <gtest/gtest.h>

namespace mirvo::audio {
namespace {

// Just enough of an application to own the shutdown signal.
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

TEST(ContextStatics, AppShutdownReleasesTheDeviceManagerAndTheMasterContext)
{
    ShutdownOnlyApp application;
    std::weak_ptr<Context> master = Context::master()->shared_from_this();
    DeviceRef null = Context::deviceManager()->findDeviceByName("Null");
    ASSERT_NE(null, nullptr);
    EXPECT_EQ(Context::master(), master.lock().get()) << "one master context per process";

    application.getSignalShutdown()();

    EXPECT_TRUE(master.expired());
    EXPECT_EQ(null->getNumOutputChannels(), 0u) << "the device's manager is gone";
    EXPECT_EQ(null->getName(), "Null") << "cached answers survive the manager";
}

} // namespace
} // namespace mirvo::audio
