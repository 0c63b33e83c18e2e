// Drawing the four parameter panels of the program (Spectrum, Stars, FractalTree and
// Triangles, every control visible) over a cleared frame in a hidden 1280x720 window.
// Needs a display (Xvfb with Mesa's software renderer will do); skipped without one.
#include "gl/Gl.h"
#include "params/tw/Tw.h"

#include <GLFW/glfw3.h>
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <string>

namespace {

using namespace mirvo::params;

constexpr int kWidth = 1280;
constexpr int kHeight = 720;

struct PanelValues {
    std::int32_t startIdx = 1, endIdx = 511, starCount = 20000, treeCount = 3;
    float visualGain = 50.f, rampStart = 0.05f, rampEnd = 1.f;
    bool displaySpectrum = false;
    std::array<float, 9> stars{200, 1800, 2, 20, 0.2f, 0.8f, 0.4f, 1.f, 0.5f};
    std::array<float, 7> tree{0.5f, 0.8f, -72, 72, 1, 30, 0.5f};
    std::array<float, 5> triangles{300, 10, 0.2f, 0.9f, 0.5f};
};

TwBar* newPanel(const char* title)
{
    TwBar* bar = TwNewBar(title);
    TwDefine((std::string("`") + title + "` size='225 200' color='76 76 76' alpha=102").c_str());
    return bar;
}

// The panels with the controls and option strings the program gives them.
void buildPanels(PanelValues& v)
{
    TwBar* spectrum = newPanel("Spectrum");
    TwAddVarRW(spectrum, "Start Idx", TW_TYPE_INT32, &v.startIdx, "min=1 max=512 step=10");
    TwAddVarRW(spectrum, "End Idx", TW_TYPE_INT32, &v.endIdx, "min=1 max=512 step=10");
    TwAddVarRW(spectrum, "Visual Gain", TW_TYPE_FLOAT, &v.visualGain, "min=0.01 max=100000.0 step=0.05");
    TwAddVarRW(spectrum, "Ramp Start", TW_TYPE_FLOAT, &v.rampStart, "min=0.01 max=100000.0 step=0.05");
    TwAddVarRW(spectrum, "Ramp End", TW_TYPE_FLOAT, &v.rampEnd, "min=0.01 max=100000.0 step=0.05");
    TwAddVarRW(spectrum, "Display Spectrum", TW_TYPE_BOOLCPP, &v.displaySpectrum, nullptr);

    TwBar* stars = newPanel("Stars");
    TwAddVarRW(stars, "Star Count", TW_TYPE_INT32, &v.starCount, "min=1 max=50000 step=1000");
    const std::array<const char*, 9> starLabels{
        "Min Galaxy Radius",  "Max Galaxy Radius",  "Minimum Radius",
        "Maximum Radius",     "Minimum Saturation", "Maximum Saturation",
        "Minimum Brightness", "Maximum Brightness", "Angular Velcity"};
    const std::array<const char*, 9> starOptions{"min=10.0 max=100000.0 step=50.0",
                                                 "min=10.0 max=100000.0 step=50.0",
                                                 "min=1.0 max=1000.0 step=1.0 keyIncr=q keyDecr=a",
                                                 "min=1.0 max=1000.0 step=1.0 keyIncr=w keyDecr=s",
                                                 "min=0.0 max=1.0 step=0.05 keyIncr=i keyDecr=k",
                                                 "min=0.0 max=1.0 step=0.05 keyIncr=o keyDecr=l",
                                                 "min=0.0 max=1.0 step=0.05 keyIncr=z keyDecr=h",
                                                 "min=0.0 max=1.0 step=0.05 keyIncr=u keyDecr=j",
                                                 "min=0.0 max=100.0 step=0.05"};
    for (std::size_t i = 0; i < starLabels.size(); ++i) {
        TwAddVarRW(stars, starLabels[i], TW_TYPE_FLOAT, &v.stars[i], starOptions[i]);
    }

    TwBar* tree = newPanel("FractalTree");
    const std::array<const char*, 5> treeLabels{"Min Length Factor", "Max Length Factor", "Min Angle Offset",
                                                "Max Angle Offset", "Color Morph Speed"};
    const std::array<const char*, 5> treeOptions{"min=0.0", "min=0.0", "max=0.0", "min=0.0",
                                                 "min=0.0 max=1.0"};
    for (std::size_t i = 0; i < treeLabels.size(); ++i) {
        TwAddVarRW(tree, treeLabels[i], TW_TYPE_FLOAT, &v.tree[i], treeOptions[i]);
    }
    TwAddVarRW(tree, "Rotation Speed", TW_TYPE_FLOAT, &v.tree[5], nullptr);
    TwAddVarRW(tree, "Tree Count", TW_TYPE_INT32, &v.treeCount, "min=1 max=10");
    TwAddVarRW(tree, "Angle Flexibility", TW_TYPE_FLOAT, &v.tree[6], "min=-180.000000 max=180.000000");

    TwBar* triangles = newPanel("Triangles");
    const std::array<const char*, 5> triangleLabels{"Size", "Angular Velocity", "Min Triangle Ratio",
                                                    "Max Triangle Ratio", "Ratio Morph Speed"};
    for (std::size_t i = 0; i < triangleLabels.size(); ++i) {
        TwAddVarRW(triangles, triangleLabels[i], TW_TYPE_FLOAT, &v.triangles[i], nullptr);
    }
}

// A hidden window and the four panels, for the length of one benchmark.
class PanelScene {
  public:
    PanelScene()
    {
        if (glfwInit() != GLFW_TRUE) {
            return;
        }
        glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
        glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 2);
        glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 1);
        mWindow = glfwCreateWindow(kWidth, kHeight, "panels", nullptr, nullptr);
        if (mWindow == nullptr) {
            return;
        }
        glfwMakeContextCurrent(mWindow);
        TwInit(TW_OPENGL, nullptr);
        TwSetCurrentWindow(0);
        TwWindowSize(kWidth, kHeight);
        buildPanels(mValues);
    }
    ~PanelScene()
    {
        if (mWindow != nullptr) {
            TwTerminate();
            glfwDestroyWindow(mWindow);
        }
        glfwTerminate();
    }
    PanelScene(const PanelScene&) = delete;
    PanelScene& operator=(const PanelScene&) = delete;

    bool ready() const { return mWindow != nullptr; }

  private:
    GLFWwindow* mWindow = nullptr;
    PanelValues mValues;
};

void clearFrame()
{
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
}

// One TwDraw, which draws every bar of the window: the figure that matters per frame.
void BM_TwDrawFourPanels(benchmark::State& state)
{
    PanelScene scene;
    if (!scene.ready()) {
        state.SkipWithError("no display");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        clearFrame();
        glFinish();
        state.ResumeTiming();
        TwDraw();
    }
    state.SetLabel("29 controls in 4 bars");
}
BENCHMARK(BM_TwDrawFourPanels)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace
