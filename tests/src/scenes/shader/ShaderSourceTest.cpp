// Shader files as people hand them over: real files in a fresh folder, the bad ones among them,
// and compile logs in the forms the common drivers write.
#include "src/scenes/shader/ShaderSource.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace mirvo {
namespace {

const char* const kMinimal = "void mainImage(out vec4 c, in vec2 p) { c = vec4(1.0); }\n";

class ShaderFolder : public ::testing::Test {
  protected:
    void SetUp() override
    {
        mFolder = std::filesystem::temp_directory_path() /
                  ("mirvo-shaders-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                   "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(mFolder);
        std::filesystem::create_directories(mFolder);
    }
    void TearDown() override { std::filesystem::remove_all(mFolder); }

    std::filesystem::path write(const std::string& name, const std::string& bytes) const
    {
        const std::filesystem::path path = mFolder / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    std::string errorOf(const std::filesystem::path& path) const
    {
        try {
            readShaderFile(path);
        } catch (const ShaderError& exc) {
            return exc.what();
        }
        return "(accepted)";
    }

    std::filesystem::path mFolder;
};

TEST_F(ShaderFolder, BadFilesAreRefusedWithOneLineNamingFileAndLine)
{
    std::string binary(4096, '\0');
    std::mt19937 random(7);
    for (char& byte : binary) {
        byte = static_cast<char>(random());
    }
    EXPECT_EQ(errorOf(write("noise.glsl", binary)),
              (mFolder / "noise.glsl").string() + ": is not a text file");

    // Ten megabytes of comment ahead of a valid shader: refused for its size, not compiled.
    std::string huge(10 * 1024 * 1024, ' ');
    huge.replace(0, 2, "/*");
    huge.replace(huge.size() - 2, 2, "*/");
    const std::string big = errorOf(write("big.glsl", huge + kMinimal));
    EXPECT_NE(big.find("big.glsl: is 10.0 MB; a shader may be up to 1 MB"), std::string::npos) << big;

    EXPECT_EQ(errorOf(write("seven.frag", std::string("// reads a channel too far\n\n") +
                                              "void mainImage(out vec4 c, in vec2 p)\n"
                                              "{ c = texture(iChannel7, p); }\n")),
              (mFolder / "seven.frag").string() +
                  ":4: reads iChannel7; the channels are iChannel0 to iChannel3");
    // Named only in a comment: not read, so not refused.
    EXPECT_EQ(errorOf(write("commented.glsl", std::string("// iChannel9 would be nice\n") + kMinimal)),
              "(accepted)");
    const auto in = [this](const char* name) { return (mFolder / name).string(); };
    EXPECT_EQ(errorOf(write("empty.glsl", "")), in("empty.glsl") + ": has no mainImage function");
    EXPECT_EQ(errorOf(write("onlymain.glsl", "/* mainImage( */ void main() {}\n")),
              in("onlymain.glsl") + ": has no mainImage function");
    EXPECT_EQ(errorOf(write("sound.glsl", std::string("// iChannel0: sound.png\n") + kMinimal)),
              in("sound.glsl") + ":1: iChannel0 is the sound; images go on iChannel1 to iChannel3");
    EXPECT_EQ(errorOf(write("slider.glsl", std::string(kMinimal) + "uniform float gain; // min=2 max=1\n")),
              in("slider.glsl") + ":2: the slider gain needs min below max");
    EXPECT_EQ(errorOf(mFolder / "absent.glsl"), (mFolder / "absent.glsl").string() + ": cannot be read");
}

TEST_F(ShaderFolder, ChannelImagesAndSlidersComeFromTheirComments)
{
    const ShaderFile file =
        readShaderFile(write("scene 2.glsl", "// iChannel2: wood grain.png\r\n"
                                             "uniform float gain; // min=0 max=4 default=9\r\n"
                                             "uniform float plain;\r\n"
                                             "uniform float fine; // min=-1 max=1 step=0.5\r\n" +
                                                 std::string(kMinimal)));
    EXPECT_EQ(file.name, "scene 2");
    EXPECT_FALSE(file.images[1]);
    ASSERT_TRUE(file.images[2]);
    EXPECT_EQ(*file.images[2], mFolder / "wood grain.png");
    ASSERT_EQ(file.sliders.size(), 2u);
    EXPECT_EQ(file.sliders[0].name, "gain");
    EXPECT_EQ(file.sliders[0].value, 4.0f) << "a default past the range is held to it";
    EXPECT_EQ(file.sliders[0].options, "min=0 max=4 step=0.04");
    EXPECT_EQ(file.sliders[1].value, -1.0f);
    EXPECT_EQ(file.sliders[1].options, "min=-1 max=1 step=0.5");
}

TEST_F(ShaderFolder, AFolderListsItsShadersInNaturalOrder)
{
    for (const char* name :
         {"wave10.glsl", "wave2.frag", "Wave1.GLSL", "notes.txt", "wave02b.glsl", "a.glsl"}) {
        write(name, kMinimal);
    }
    std::filesystem::create_directories(mFolder / "folder.glsl");
    std::vector<std::string> names;
    for (const std::filesystem::path& path : shadersInFolder(mFolder)) {
        names.push_back(path.filename().string());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a.glsl", "Wave1.GLSL", "wave2.frag", "wave02b.glsl",
                                               "wave10.glsl"}));
    EXPECT_THROW(shadersInFolder(mFolder / "missing"), ShaderError);
}

// Every loop ends once the pixel's steps are spent; names that start like a loop, loops in
// comments and the lines of the file are left as they are.
TEST(ShaderProgramText, EveryLoopAlsoAsksTheGuard)
{
    const std::string source = "float forward(float x) { return x; }\n"
                               "// for (;;) in a comment\n"
                               "void mainImage(out vec4 c, in vec2 p) {\n"
                               "    for (int i = 0; i < int(forward(3.0)); i++) { }\n"
                               "    for(;;){ break; }\n"
                               "    float whilst = 0.0;\n"
                               "    while (whilst < 1.0 /* ) */) whilst += 0.1;\n"
                               "    do { whilst -= 1.0; } while\n(whilst > 0.0);\n"
                               "}\n";
    EXPECT_EQ(boundLoops(source),
              "float forward(float x) { return x; }\n"
              "// for (;;) in a comment\n"
              "void mainImage(out vec4 c, in vec2 p) {\n"
              "    for (int i = 0;( i < int(forward(3.0))) && mirvoLoopGuard(); i++) { }\n"
              "    for(; mirvoLoopGuard();){ break; }\n"
              "    float whilst = 0.0;\n"
              "    while ((whilst < 1.0 /* ) */) && mirvoLoopGuard()) whilst += 0.1;\n"
              "    do { whilst -= 1.0; } while\n((whilst > 0.0) && mirvoLoopGuard());\n"
              "}\n");
}

TEST(ShaderProgramText, DriverLogsPointIntoTheUsersFile)
{
    std::string source = "#version 300 es\nprecision highp float;\n";
    source += kMinimal;
    const ShaderFile file = parseShader("s", source, "/");
    const ShaderProgramText text = buildProgramText(file, 330, true);
    EXPECT_EQ(text.fragment.rfind("#version 330 compatibility\n", 0), 0u);
    EXPECT_EQ(text.fragment.find("300 es"), std::string::npos);
    EXPECT_EQ(text.userLines, 4);
    const int p = text.preludeLines;
    // A driver's log line about the user's line n, as the driver numbers it.
    const auto log = [p](const char* before, int userLine, const char* after) {
        std::string line = before;
        line += std::to_string(p + userLine);
        line += after;
        return line;
    };
    EXPECT_EQ(firstErrorInFile(log("0:", 3, "(12): error: `foo' undeclared\n"), text), "3: `foo' undeclared");
    EXPECT_EQ(firstErrorInFile(log("0(", 2, ") : error C1008: undefined variable \"foo\"\n"), text),
              "2: undefined variable \"foo\"");
    EXPECT_EQ(firstErrorInFile(log("WARNING: 0:", 1, ": something\n") + log("ERROR: 0:", 3, ": bad\n"), text),
              "3: bad");
    // A warning before the error is passed over; a line outside the file is not made up.
    EXPECT_EQ(firstErrorInFile(log("0:", 1, "(1): warning: unused\n") + log("0:", 9, "(1): error: in main\n"),
                               text),
              "in main");
    EXPECT_EQ(firstErrorInFile("", text), "the GL gave no reason");

    const ShaderProgramText old = buildProgramText(file, 120, true);
    EXPECT_EQ(old.fragment.rfind("#version 120\n#define texture texture2D\n", 0), 0u);
}

} // namespace
} // namespace mirvo
