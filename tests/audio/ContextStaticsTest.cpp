#include "audio/Context.h"
#include "audio/DeviceManager.h"
#include "tests/audio/ShutdownOnlyApp.h"

#include <gtest/gtest.h>

namespace mirvo::audio {
namespace {

TEST(ContextStatics, AppShutdownReleasesTheDeviceManagerAndTheMasterContext)
{
    test::ShutdownOnlyApp application;
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
