// A shader file as the shader scene takes it: its text checked before any GL sees it, the
// images its channel comments name, the sliders its uniform comments ask for, the text the GL
// compiles around it, and the GL's messages turned back into lines of the file. Pure CPU.
#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace mirvo {

// A shader that cannot be shown; the message is one line that names the file.
class ShaderError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct ShaderSlider {
    std::string name;
    float min = 0.0f;
    float max = 1.0f;
    float value = 0.0f;
    // The panel's own option words for the slider.
    std::string options;
};

struct ShaderFile {
    static constexpr std::size_t kMaxBytes = 1 << 20;
    static constexpr std::size_t kChannels = 4;

    std::filesystem::path path;
    // The file's stem: the scene's name.
    std::string name;
    std::string text;
    // The images of iChannel1..3 (index 0 is always the sound), beside the file.
    std::array<std::optional<std::filesystem::path>, kChannels> images;
    std::vector<ShaderSlider> sliders;
};

// Throws ShaderError when the file cannot be read, is no text, is larger than kMaxBytes, has no
// mainImage, reads a channel past iChannel3, or has a channel or slider comment it cannot take.
ShaderFile readShaderFile(const std::filesystem::path& path);
// The same checks on text already read from `path`, which names it in messages.
ShaderFile parseShaderAt(const std::filesystem::path& path, std::string text);
// The same for text called `name`, with its images in `folder`.
ShaderFile parseShader(std::string name, std::string text, const std::filesystem::path& folder);

// The fragment shader the GL compiles: a prelude fitted to the GLSL version (e.g. 120, 130,
// 330 as the GL reports it) and profile, the uniforms of the convention, the user's text with
// any #version line blanked, and a main that calls mainImage.
struct ShaderProgramText {
    std::string vertex;
    std::string fragment;
    // Lines of the fragment text before the user's first line.
    int preludeLines = 0;
    int userLines = 0;
};
ShaderProgramText buildProgramText(const ShaderFile& file, int glslVersion, bool compatibility);

// The steps all loops of one pixel may take together before each of them ends.
constexpr int kLoopStepsPerPixel = 1 << 14;
// The text with every `for` and `while` loop also ending once the pixel's steps are spent, on
// the lines it had.
std::string boundLoops(std::string_view text);

// The first error in a GL compile log, as "LINE: message" with the line in the user's file
// (or "message" alone when the log names no line of it).
std::string firstErrorInFile(std::string_view log, const ShaderProgramText& text);

// Every .glsl and .frag file in `folder`, in natural order (file2 before file10), as the
// queue orders music.
std::vector<std::filesystem::path> shadersInFolder(const std::filesystem::path& folder);

} // namespace mirvo
