// The program's entry point for an application class: create the application and its
// default renderer, launch under the class's name, delete the application. A missing
// display ends the program with one line on stderr and status 1.
#pragma once

#include "app/AppBasic.h"
#include "app/Renderer.h"

#include <functional>
#include <memory>

namespace mirvo::app {

// Runs one application from main(). Returns the process's exit status.
int runAppBasic(const std::function<AppBasic*()>& makeApp, const std::function<RendererRef()>& makeRenderer,
                const char* title, int argc, char* argv[]);

} // namespace mirvo::app

// MIRVO_APP_BASIC(MyApp, RendererGl) defines main(); the renderer is constructed with its
// default anti-aliasing (RendererGl: level 5, 16 samples).
#define MIRVO_APP_BASIC(APP, RENDERER)                                                                       \
    int main(int argc, char* argv[])                                                                         \
    {                                                                                                        \
        return ::mirvo::app::runAppBasic(                                                                    \
            [] { return static_cast<::mirvo::app::AppBasic*>(new APP); },                                    \
            [] { return ::mirvo::app::RendererRef(new ::mirvo::app::RENDERER); }, #APP, argc, argv);         \
    }
