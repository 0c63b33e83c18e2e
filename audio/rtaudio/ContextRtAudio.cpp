#include "audio/rtaudio/ContextRtAudio.h"

#include "app/App.h"
#include "audio/null/OutputDeviceNodeNull.h"
#include "audio/rtaudio/DeviceManagerRtAudio.h"
#include "audio/rtaudio/InputDeviceNodeRtAudio.h"
#include "audio/rtaudio/OutputDeviceNodeRtAudio.h"

namespace mirvo::audio {
namespace {

// The process-wide master context and device manager. The manager goes first at teardown (the
// order application shutdown uses too); devices still held by nodes then answer from their
// caches.
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
        s.masterContext = std::make_shared<ContextRtAudio>();
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
        s.deviceManager = std::make_unique<DeviceManagerRtAudio>();
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

ContextRtAudio::~ContextRtAudio() = default;

OutputDeviceNodeRef ContextRtAudio::createOutputDeviceNode(const DeviceRef& device,
                                                           const Node::Format& format)
{
    auto* manager = dynamic_cast<DeviceManagerRtAudio*>(deviceManager());
    if (manager && manager->isRtAudioDevice(device)) {
        return makeNode(new OutputDeviceNodeRtAudio(device, format));
    }
    return makeNode(new OutputDeviceNodeNull(device, format));
}

InputDeviceNodeRef ContextRtAudio::createInputDeviceNode(const DeviceRef& device, const Node::Format& format)
{
    return makeNode(new InputDeviceNodeRtAudio(device, format));
}

OutputNodeRef ContextRtAudio::makeDefaultOutput()
{
    return createOutputDeviceNode(deviceManager()->getDefaultOutput());
}

} // namespace mirvo::audio
