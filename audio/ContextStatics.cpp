// The process-wide master context and device manager. Which platform makes them is the build's
// choice (audio/PlatformContext.h); holding them and tearing them down is the same for every
// platform.
#include "app/App.h"
#include "audio/Context.h"
#include "audio/DeviceManager.h"
#include "audio/PlatformContext.h"

namespace mirvo::audio {
namespace {

// The manager goes first at teardown (the order application shutdown uses too); devices still
// held by nodes then answer from their caches.
struct Statics {
    std::unique_ptr<DeviceManager> deviceManager;
    std::shared_ptr<Context> masterContext;
    bool isRegisteredForCleanup = false;

    void clear()
    {
        deviceManager.reset();
        masterContext.reset();
    }
    ~Statics() { clear(); }
};

Statics& statics()
{
    static Statics instance;
    return instance;
}

} // namespace

Context* Context::master()
{
    Statics& s = statics();
    if (!s.masterContext) {
        s.masterContext = makePlatformContext();
        if (!s.isRegisteredForCleanup) {
            registerClearStatics();
        }
    }
    return s.masterContext.get();
}

DeviceManager* Context::deviceManager()
{
    Statics& s = statics();
    if (!s.deviceManager) {
        s.deviceManager = makePlatformDeviceManager();
        if (!s.isRegisteredForCleanup) {
            registerClearStatics();
        }
    }
    return s.deviceManager.get();
}

void Context::registerClearStatics()
{
    statics().isRegisteredForCleanup = true;
    // Without an application object there is no shutdown signal to hook; the statics then
    // live until the process ends and are torn down, manager first, at exit.
    if (app::App* application = app::App::get()) {
        application->getSignalShutdown().connect([] {
            // Statics made again after this shutdown belong to whichever application comes next.
            statics().clear();
            statics().isRegisteredForCleanup = false;
        });
    }
}

} // namespace mirvo::audio
