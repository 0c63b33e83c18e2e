// The program's entry point: reads the command line, answers the informational options
// itself, and otherwise runs the visualizer (or its benchmark) with the default GL renderer.
#include "app/AppBasic.h"
#include "app/RendererGl.h"
#include "audio/Context.h"
#include "audio/Device.h"
#include "audio/SoundServer.h"
#include "gl/SoftwareRenderer.h"
#include "src/CommandLine.h"
#include "src/MirvoApp.h"
#include "src/live/ApplicationCapture.h"
#include "src/live/LiveInput.h"
#include "src/render/FolderRender.h"
#include "src/render/Render.h"
#include "src/run/BenchmarkApp.h"
#include "src/run/RunControl.h"
#include "src/scenes/shader/ShaderScenes.h"
#include "src/settings/Settings.h"

#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

int listAudioDevices()
{
    using mirvo::audio::Device;
    const mirvo::audio::DeviceRef defaultOutput = Device::getDefaultOutput();
    const mirvo::audio::DeviceRef defaultInput = Device::getDefaultInput();
    for (const mirvo::audio::DeviceRef& device : Device::getDevices()) {
        std::cout << device->getName() << " (" << device->getNumOutputChannels() << " out, "
                  << device->getNumInputChannels() << " in, " << device->getSampleRate() << " Hz)";
        if (device == defaultOutput) {
            std::cout << " [default output]";
        }
        if (device == defaultInput) {
            std::cout << " [default input]";
        }
        std::cout << '\n';
    }
    // Live input records from the sound server's sources, the monitors of its outputs included.
    if (const mirvo::audio::SoundServerRef server = mirvo::audio::SoundServer::connect()) {
        const std::optional<mirvo::audio::SoundServer::Source> monitor = server->getDefaultMonitor();
        std::cout << "Sources for --input:\n";
        for (const mirvo::audio::SoundServer::Source& source : server->getSources()) {
            std::cout << "  " << source.name << " (" << source.description << ")";
            if (source.isMonitor) {
                std::cout << " [monitor]";
            }
            if (monitor && monitor->name == source.name) {
                std::cout << " [default for --input]";
            }
            std::cout << '\n';
        }
        std::cout << mirvo::ApplicationCapture::listApplications(*server);
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    mirvo::CommandLine commandLine;
    try {
        commandLine = mirvo::CommandLine::parse(std::vector<std::string>(argv, argv + argc));
    } catch (const mirvo::CommandLineError& error) {
        std::cerr << "mirvo: " << error.what() << std::endl;
        return 2;
    }

    if (commandLine.resetSettings) {
        mirvo::Settings::reset();
    }
    switch (commandLine.action) {
    case mirvo::CommandLine::Action::HELP:
        std::cout << mirvo::CommandLine::usage();
        return 0;
    case mirvo::CommandLine::Action::VERSION:
        std::cout << "mirvo " << MIRVO_VERSION << std::endl;
        return 0;
    case mirvo::CommandLine::Action::LIST_AUDIO_DEVICES:
        return listAudioDevices();
    default:
        break;
    }
    // A scene name is a value of the command line: checked before any window opens.
    if (!commandLine.sceneName.empty() && !mirvo::CommandLine::isBuiltInScene(commandLine.sceneName) &&
        !mirvo::namesShaderScene(commandLine.sceneName, mirvo::defaultShaderFolders(),
                                 commandLine.shaderPaths)) {
        std::cerr
            << "mirvo: --scene: no scene called '" << commandLine.sceneName
            << "': galaxy, tree, triangles or the name of a shader file without its extension (see --help)"
            << std::endl;
        return 2;
    }
    if (commandLine.renderPath) {
        return commandLine.renderToFolder
                   ? mirvo::render::runFolderRender(commandLine, std::vector<std::string>(argv, argv + argc))
                   : mirvo::render::runRender(commandLine);
    }
    if (commandLine.audioDevice) {
        const mirvo::audio::DeviceRef device =
            mirvo::audio::Device::findDeviceByName(*commandLine.audioDevice);
        if (!device || device->getNumOutputChannels() == 0) {
            std::cerr << "mirvo: no audio output device called '" << *commandLine.audioDevice
                      << "' (see --list-audio-devices)" << std::endl;
            return 2;
        }
    }

    // A source that does not exist is a mistake on the command line; a missing server is not:
    // the music plays instead, and the application says so.
    if (commandLine.liveInput && !commandLine.liveInput->empty() &&
        !mirvo::LiveInput::followsApplication(*commandLine.liveInput)) {
        const mirvo::audio::SoundServerRef server = mirvo::audio::SoundServer::connect();
        if (server && !server->findSource(*commandLine.liveInput)) {
            std::cerr << "mirvo: no live input source called '" << *commandLine.liveInput << "'; "
                      << mirvo::LiveInput::listSources(*server) << std::endl;
            return 2;
        }
    }

    std::unique_ptr<mirvo::MirvoApp> app;
    std::optional<mirvo::RunControl> runControl;
    // Kept between runs: a window's settings, not the benchmark's or a render's.
    std::unique_ptr<mirvo::Settings> settings;
    if (commandLine.action == mirvo::CommandLine::Action::BENCHMARK) {
        app = std::make_unique<mirvo::BenchmarkApp>(commandLine);
    } else {
        settings = mirvo::Settings::open(commandLine);
        app = std::make_unique<mirvo::MirvoApp>(commandLine);
        runControl.emplace(*app, commandLine);
        if (settings) {
            settings->follow(*app, app->getScenes(), app->getPanel());
        }
    }
    mirvo::app::App::setInstance(app.get());
    auto renderer = std::make_shared<mirvo::app::RendererGl>(commandLine.antiAliasingLevel());
    if (!commandLine.msaa) {
        // A software renderer spends most of a multisampled frame on its samples: it draws with
        // one, and the scenes smooth their own edges (MirvoApp::setup).
        renderer->setLevelForGl([](std::string_view glRenderer, int level) {
            return mirvo::gl::isSoftwareRenderer(glRenderer) ? int(mirvo::app::RendererGl::AA_NONE) : level;
        });
    }
    app->setDefaultRenderer(renderer);
    try {
        app->launch("MirvoApp", argc, argv);
    } catch (const mirvo::app::ExcNoDisplay& exc) {
        std::cerr << exc.what() << std::endl;
        return 1;
    }
    int exitCode = app->getExitCode();
    if (exitCode == 0 && runControl) {
        exitCode = runControl->getExitCode();
    }
    runControl.reset();
    settings.reset();
    app.reset();
    return exitCode;
}
