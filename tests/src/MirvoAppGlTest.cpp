// The controller in a real window, started as a person starts it: the panels it builds, and the
// order and place in which a frame is drawn. These are what a person sees and tunes; a move of
// the code around them must leave them exactly as they are.
#include "audio/Context.h"
#include "audio/Device.h"
#include "audio/FilePlayerNode.h"
#include "audio/GainNode.h"
#include "audio/InputNode.h"
#include "audio/MonitorSpectralNode.h"
#include "audio/OutputNode.h"
#include "core/Resources.h"
#include "gl/Gl.h"
#include "params/tw/TwModel.h"
#include "src/MirvoApp.h"
#include "tests/TestPaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace mirvo {
namespace {

std::string describeShortcut(const params::tw::Shortcut& shortcut)
{
    if (!shortcut.isSet()) {
        return "";
    }
    std::string text = shortcut.key < 128 ? std::string(1, char(shortcut.key)) : std::to_string(shortcut.key);
    return shortcut.modifiers ? std::to_string(shortcut.modifiers) + "+" + text : text;
}

std::string describeNumber(const std::optional<double>& value)
{
    if (!value) {
        return "-";
    }
    std::ostringstream out;
    out << *value;
    return out.str();
}

// Every panel of every window, in the order they were made, one line per panel and per control.
std::string describePanels()
{
    std::ostringstream out;
    for (const auto& [id, window] : params::tw::context()->windows) {
        for (const auto& bar : window.bars) {
            out << "panel '" << bar->name << "' " << bar->width << "x" << bar->height << " rgb "
                << bar->color[0] << "," << bar->color[1] << "," << bar->color[2] << " alpha " << bar->alpha
                << "\n";
            for (const params::tw::Var& var : bar->vars) {
                const char* type = var.type == params::TW_TYPE_BOOLCPP ? "bool"
                                   : var.type == params::TW_TYPE_FLOAT ? "float"
                                                                       : "int";
                out << "  '" << var.name << "' " << type << " min " << describeNumber(var.min) << " max "
                    << describeNumber(var.max) << " step " << describeNumber(var.step) << " keys '"
                    << describeShortcut(var.keyIncr) << "' '" << describeShortcut(var.keyDecr) << "'"
                    << (var.readOnly ? " read-only" : "") << "\n";
            }
        }
    }
    return out.str();
}

using Matrix = std::array<float, 16>;

Matrix modelView()
{
    Matrix matrix{};
    glGetFloatv(GL_MODELVIEW_MATRIX, matrix.data());
    return matrix;
}

// Every connection of the audio graph as "from -> to", sorted, each node by what it is and does;
// then, for a node that feeds more than one, the order it feeds them in (the order they pull it).
std::string describeGraph(audio::Context& context)
{
    const std::size_t outputRate = context.getOutput()->getSampleRate();
    const auto describe = [outputRate](const audio::NodeRef& node) {
        std::ostringstream out;
        if (auto* gain = dynamic_cast<audio::GainNode*>(node.get())) {
            out << "gain " << gain->getValue();
        } else if (auto* monitor = dynamic_cast<audio::MonitorSpectralNode*>(node.get())) {
            out << "spectrum window " << monitor->getWindowSize() << " fft " << monitor->getFftSize()
                << (monitor->getWindowType() == audio::dsp::HANN ? " hann" : " other window");
        } else if (auto* player = dynamic_cast<audio::FilePlayerNode*>(node.get())) {
            out << "file player"
                << (player->getSourceFile()->getSampleRate() == outputRate ? " at the output's rate"
                                                                           : " resampled");
        } else if (dynamic_cast<audio::OutputNode*>(node.get())) {
            out << "output";
        } else if (dynamic_cast<audio::InputNode*>(node.get())) {
            out << "input";
        } else {
            out << node->getName();
        }
        out << (node->isEnabled() ? "" : " (off)");
        return out.str();
    };
    std::set<audio::NodeRef> seen;
    std::vector<audio::NodeRef> todo{context.getOutput()};
    std::vector<std::string> edges;
    std::vector<std::string> fanOuts;
    while (!todo.empty()) {
        const audio::NodeRef node = todo.back();
        todo.pop_back();
        if (!seen.insert(node).second) {
            continue;
        }
        for (const audio::NodeRef& input : node->getInputs()) {
            edges.push_back(describe(input) + " -> " + describe(node));
            todo.push_back(input);
        }
        const std::vector<audio::NodeRef> outputs = node->getOutputs();
        std::string fanOut = describe(node) + " feeds ";
        for (std::size_t i = 0; i < outputs.size(); ++i) {
            fanOut += (i == 0 ? "" : ", then ") + describe(outputs[i]);
            todo.push_back(outputs[i]);
        }
        if (outputs.size() > 1) {
            fanOuts.push_back(fanOut);
        }
    }
    std::sort(edges.begin(), edges.end());
    std::sort(fanOuts.begin(), fanOuts.end());
    std::string text;
    for (const std::string& line : edges) {
        text += line + "\n";
    }
    for (const std::string& line : fanOuts) {
        text += line + "\n";
    }
    return text;
}

// A scene that notes the transform the controller drew it with.
class WhereScene : public Visualizer {
  public:
    explicit WhereScene(std::vector<float>& spectrum) : Visualizer(nullptr, spectrum) {}
    void activate() override {}
    void deactivate() override {}
    void update(float) override {}
    void draw() override { drawnWith = modelView(); }

    Matrix drawnWith{};
};

class PinnedApp : public MirvoApp {
  public:
    using MirvoApp::DrawPart;

    explicit PinnedApp(CommandLine commandLine) : MirvoApp(std::move(commandLine)) {}

    void setup() override
    {
        MirvoApp::setup();
        panels = describePanels();
        graph = describeGraph(*audio::Context::master());
        auto scene = std::make_unique<WhereScene>(mSpectrum);
        where = scene.get();
        getScenes().add("where", std::move(scene));
        getScenes().select(*getScenes().find("where"));
        toggleUi();
    }

    void draw() override
    {
        parts.clear();
        restoredAfter.clear();
        window = modelView();
        MirvoApp::draw();
        // The scene goes with the application; what it saw stays here.
        sceneDrawnWith = where->drawnWith;
        if (++frames == 3) {
            quit();
        }
    }

    void drawPartDone(DrawPart part) override
    {
        // The scene's transform is its own: popped before the panels.
        restoredAfter.push_back(modelView() == window);
        parts.push_back(part);
    }

    std::string panels;
    std::string graph;
    std::vector<float> mSpectrum = std::vector<float>(1024, 0.f);
    WhereScene* where = nullptr;
    std::vector<DrawPart> parts;
    std::vector<bool> restoredAfter;
    // The window's own transform, as the frame began, and the one the scene was drawn with.
    Matrix window{};
    Matrix sceneDrawnWith{};
    int frames = 0;
};

TEST(MirvoAppGl, ThePanelsAndTheFrameAreBuiltAsAPersonSeesThem)
{
    // An odd size: the centre is found by halving in whole pixels.
    app::setResourceDirectory(MIRVO_RESOURCES_DIR);
    PinnedApp app(CommandLine::parse({"mirvo", "--windowed=641x361", "--audio-device", "Null"}));
    char name[] = "mirvo";
    char* argv[] = {name};
    testing::internal::CaptureStdout();
    app.launch("MirvoApp", 1, argv);
    // A machine with no input says so on standard output, once, at the start.
    const auto devices = audio::Device::getDevices();
    const bool anyInput = std::any_of(devices.begin(), devices.end(), [](const audio::DeviceRef& device) {
        return device->getNumInputChannels() > 0;
    });
    EXPECT_EQ(testing::internal::GetCapturedStdout(), anyInput ? "" : "No audio input!\n");
    ASSERT_TRUE(app.isStarted());

    EXPECT_EQ(app.panels, R"(panel 'Spectrum' 225x200 rgb 76,76,76 alpha 102
  'Start Idx' int min 1 max 512 step 10 keys '' ''
  'End Idx' int min 1 max 512 step 10 keys '' ''
  'Visual Gain' float min 0.01 max 100000 step 0.05 keys '' ''
  'Ramp Start' float min 0.01 max 100000 step 0.05 keys '' ''
  'Ramp End' float min 0.01 max 100000 step 0.05 keys '' ''
  'Display Spectrum' bool min - max - step - keys '' ''
panel 'Stars' 225x200 rgb 76,76,76 alpha 102
  'Star Count' int min 1 max 50000 step 1000 keys '' ''
  'Min Galaxy Radius' float min 10 max 100000 step 50 keys '' ''
  'Max Galaxy Radius' float min 10 max 100000 step 50 keys '' ''
  'Minimum Radius' float min 1 max 1000 step 1 keys 'q' 'a'
  'Maximum Radius' float min 1 max 1000 step 1 keys 'w' 's'
  'Minimum Saturation' float min 0 max 1 step 0.05 keys 'i' 'k'
  'Maximum Saturation' float min 0 max 1 step 0.05 keys 'o' 'l'
  'Minimum Brightness' float min 0 max 1 step 0.05 keys 'z' 'h'
  'Maximum Brightness' float min 0 max 1 step 0.05 keys 'u' 'j'
  'Angular Velcity' float min 0 max 100 step 0.05 keys '' ''
panel 'FractalTree' 225x200 rgb 76,76,76 alpha 102
  'Min Length Factor' float min 0 max - step - keys '' ''
  'Max Length Factor' float min 0 max - step - keys '' ''
  'Min Angle Offset' float min - max 0 step - keys '' ''
  'Max Angle Offset' float min 0 max - step - keys '' ''
  'Color Morph Speed' float min 0 max 1 step - keys '' ''
  'Rotation Speed' float min - max - step - keys '' ''
  'Tree Count' int min 1 max 10 step - keys '' ''
  'Angle Flexibility' float min -180 max 180 step - keys '' ''
panel 'Triangles' 225x200 rgb 76,76,76 alpha 102
  'Size' float min - max - step - keys '' ''
  'Angular Velocity' float min - max - step - keys '' ''
  'Min Triangle Ratio' float min - max - step - keys '' ''
  'Max Triangle Ratio' float min - max - step - keys '' ''
  'Ratio Morph Speed' float min - max - step - keys '' ''
)") << app.panels;

    // The music is heard at 0.9 and analysed at 10.9; an input, where there is one, feeds the
    // analysis and stays off until live input is asked for.
    const std::string heard = R"(file player at the output's rate -> gain 0.9
file player at the output's rate -> gain 10.9
gain 0.9 -> output
gain 10.9 -> spectrum window 512 fft 2048 hann
)";
    const std::string fedInOrder = "file player at the output's rate feeds gain 0.9, then gain 10.9\n";
    EXPECT_EQ(app.graph, anyInput ? heard + "input (off) -> spectrum window 512 fft 2048 hann\n" + fedInOrder
                                  : heard + fedInOrder);

    ASSERT_NE(app.where, nullptr);
    // Where the scene's origin lies in window pixels; the window's transform flips y.
    const Matrix& scene = app.sceneDrawnWith;
    const Matrix& window = app.window;
    EXPECT_FLOAT_EQ((scene[12] - window[12]) / window[0], 320.f);
    EXPECT_FLOAT_EQ((scene[13] - window[13]) / window[5], 180.f);
    using Part = PinnedApp::DrawPart;
    EXPECT_EQ(app.parts, (std::vector<Part>{Part::SCENE, Part::PANELS, Part::OVERLAY}));
    EXPECT_EQ(app.restoredAfter, (std::vector<bool>{true, true, true}));
}

} // namespace
} // namespace mirvo
