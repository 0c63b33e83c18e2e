// Shader scenes on a real GL: the sound texture read back through a shader that copies it to
// the framebuffer (rows, orientation, filtering), the same copy written for either generation
// of the shader language, the uniforms reaching the shader, and compile errors pointing into
// the user's file rather than into the text wrapped around it.
#include "src/scenes/shader/ShaderScene.h"

#include "tests/gl/GlTestContext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace mirvo {
namespace {

using gl::test::GlTestContext;

constexpr int kWidth = 1024;

std::vector<std::uint8_t> drawAndRead(ShaderScene& scene, int width, int height)
{
    glViewport(0, 0, width, height);
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    scene.draw();
    glFinish();
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

// Made inside a test's context, and gone before it.
struct SceneFixture {
    std::vector<float> spectrum = std::vector<float>(1024, 0.0f);
    std::unique_ptr<ShaderScene> scene;

    explicit SceneFixture(const std::string& text)
    {
        scene = std::make_unique<ShaderScene>(nullptr, spectrum, parseShader("copy", text, "/nonexistent"));
        scene->setWithoutPanels();
        scene->setup();
        scene->compile();
        scene->activate();
        scene->update(0.0f);
    }
};

// A sine on bin 40 and a ramp of a waveform: rows that differ everywhere, so a swap or a flip
// shows, and neighbours that differ, so that nearest sampling shows against linear.
void feedSound(ShaderScene& scene)
{
    audio::Buffer samples(SoundTexture::kWindow, 2);
    for (std::size_t i = 0; i < SoundTexture::kWindow; ++i) {
        const double phase = 2.0 * std::numbers::pi * 40.0 * static_cast<double>(i) / SoundTexture::kWindow;
        samples.getChannel(0)[i] = static_cast<float>(0.6 * std::sin(phase));
        samples.getChannel(1)[i] = static_cast<float>(i % 512) / 256.0f - 1.0f;
    }
    for (int frame = 0; frame < 10; ++frame) {
        scene.takeSound(samples);
    }
}

const char* const kTextureEra =
    "#version 300 es\n"
    "precision highp float;\n"
    "void mainImage(out vec4 fragColor, in vec2 fragCoord)\n"
    "{\n"
    "    fragColor = vec4(texture(iChannel0, fragCoord / iResolution.xy).x, 0.0, 0.0, 1.0);\n"
    "}\n";
const char* const kTexture2dEra = "void mainImage(out vec4 fragColor, in vec2 fragCoord)\n"
                                  "{\n"
                                  "    vec2 uv = fragCoord.xy / iResolution.xy;\n"
                                  "    fragColor = vec4(texture2D(iChannel0, uv).r, 0.0, 0.0, 0.0);\n"
                                  "}\n";

TEST(ShaderSceneGl, SoundTextureReadsBackRowByRowTheRightWayUpAndLinearlyFiltered)
{
    GlTestContext context(kWidth, 64);
    for (const char* text : {kTextureEra, kTexture2dEra}) {
        SCOPED_TRACE(text);
        SceneFixture fixture(text);
        feedSound(*fixture.scene);
        const auto& texels = fixture.scene->getSoundTexture().getTexels();

        // 512 x 2 pixels: every pixel centre on a texel centre, so each reads its texel exactly.
        const std::vector<std::uint8_t> exact = drawAndRead(*fixture.scene, 512, 2);
        int mismatches = 0;
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 512; ++x) {
                const std::size_t at = static_cast<std::size_t>(y * 512 + x);
                mismatches += exact[at * 4] != texels[at] ? 1 : 0;
                // The shader's alpha is the frame's business, not the shader's: always opaque.
                ASSERT_EQ(exact[at * 4 + 3], 255);
            }
        }
        EXPECT_EQ(mismatches, 0) << "row 0 (bottom) must be the spectrum, row 1 the waveform";
        EXPECT_EQ(exact[40 * 4], 255) << "the sine's bin";

        // Twice as wide: pixel centres fall a quarter texel either side of the texel centres.
        const std::vector<std::uint8_t> wide = drawAndRead(*fixture.scene, kWidth, 2);
        int worst = 0;
        for (int x = 1; x < kWidth - 1; ++x) {
            const double at = (x + 0.5) / 2.0 - 0.5;
            const auto left = static_cast<std::size_t>(std::floor(at));
            const double weight = at - std::floor(at);
            const double expected = (1.0 - weight) * texels[512 + left] + weight * texels[512 + left + 1];
            const int row1 = wide[static_cast<std::size_t>(kWidth + x) * 4];
            worst = std::max(worst, static_cast<int>(std::lround(std::abs(row1 - expected))));
        }
        EXPECT_LE(worst, 2) << "the sound texture is sampled linearly between texels";
    }
}

TEST(ShaderSceneGl, UniformsSlidersAndNoiseReachTheShader)
{
    GlTestContext context(kWidth, 64);
    SceneFixture fixture(
        "uniform float gain; // min=0 max=2 default=1.5\n"
        "void mainImage(out vec4 o, in vec2 p)\n"
        "{\n"
        "    float noiseSize = iChannelResolution[1].x == 256.0 ? 1.0 : 0.0;\n"
        "    float sound = iChannelResolution[0].x == 512.0 && iChannelResolution[0].y == 2.0 ? 1.0 : 0.0;\n"
        "    o = vec4(float(iFrame) / 255.0, gain / 2.0, noiseSize * sound, 1.0);\n"
        "}\n");
    fixture.scene->update(1.0f / 60.0f);
    fixture.scene->update(1.0f / 60.0f);
    fixture.scene->update(1.0f / 60.0f);
    const std::vector<std::uint8_t> pixels = drawAndRead(*fixture.scene, 4, 4);
    EXPECT_EQ(pixels[0], 3);
    EXPECT_NEAR(pixels[1], 191, 1);
    EXPECT_EQ(pixels[2], 255);
    EXPECT_NEAR(fixture.scene->getTime(), 3.0f / 60.0f, 1e-6f);
}

TEST(ShaderSceneGl, ACompileErrorNamesTheLineOfTheFile)
{
    GlTestContext context(kWidth, 64);
    std::vector<float> spectrum(1024, 0.0f);
    ShaderScene scene(nullptr, spectrum,
                      parseShader("broken",
                                  "// a comment\n"
                                  "void mainImage(out vec4 o, in vec2 p)\n"
                                  "{\n"
                                  "    o = vec4(undeclaredThing, 1.0);\n"
                                  "}\n",
                                  "/somewhere"));
    try {
        scene.compile();
        FAIL() << "compiled";
    } catch (const ShaderError& exc) {
        const std::string what = exc.what();
        EXPECT_EQ(what.rfind("/somewhere/broken.glsl:4: ", 0), 0u) << what;
        EXPECT_NE(what.find("undeclaredThing"), std::string::npos) << what;
        EXPECT_EQ(what.find('\n'), std::string::npos) << what;
    }
    EXPECT_FALSE(scene.isShowable());
}

} // namespace
} // namespace mirvo
