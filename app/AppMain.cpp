#include "app/AppMain.h"

#include <iostream>

namespace mirvo::app {

int runAppBasic(const std::function<AppBasic*()>& makeApp, const std::function<RendererRef()>& makeRenderer,
                const char* title, int argc, char* argv[])
{
    std::unique_ptr<AppBasic> app(makeApp());
    App::setInstance(app.get());
    app->setDefaultRenderer(makeRenderer());
    try {
        app->launch(title, argc, argv);
    } catch (const ExcNoDisplay& exc) {
        std::cerr << exc.what() << std::endl;
        return 1;
    }
    return 0;
}

} // namespace mirvo::app
