// Shader files are checked as text first: a compiler handed a binary or a 10 MB file answers
// slowly and in words no one can act on, and a channel past the four that exist would only
// read as an undeclared name.
#include "src/scenes/shader/ShaderSource.h"

#include "src/FileOrder.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

namespace mirvo {

namespace {

std::string lineLabel(const std::string& name, int line)
{
    return name + ":" + std::to_string(line) + ": ";
}

bool isText(std::string_view text)
{
    return std::none_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v';
    });
}

// The text with comments blanked, every newline kept, so that a match still has its line.
std::string withoutComments(std::string_view text)
{
    std::string out(text);
    for (std::size_t i = 0; i + 1 < out.size(); ++i) {
        if (out[i] == '/' && out[i + 1] == '/') {
            for (; i < out.size() && out[i] != '\n'; ++i) {
                out[i] = ' ';
            }
        } else if (out[i] == '/' && out[i + 1] == '*') {
            std::size_t j = i;
            for (; j < out.size() && !(out[j] == '*' && j + 1 < out.size() && out[j + 1] == '/'); ++j) {
                if (out[j] != '\n') {
                    out[j] = ' ';
                }
            }
            for (std::size_t k = j; k < std::min(j + 2, out.size()); ++k) {
                out[k] = ' ';
            }
            i = j + 1;
        }
    }
    return out;
}

int lineAt(std::string_view text, std::size_t offset)
{
    return 1 + static_cast<int>(
                   std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

std::vector<std::string> splitLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find('\n', start);
        std::string line(
            text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(std::move(line));
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return lines;
}

std::optional<float> parseFloat(const std::string& word)
{
    float value = 0.0f;
    const char* end = word.data() + word.size();
    const auto [at, error] = std::from_chars(word.data(), end, value);
    if (error != std::errc() || at != end) {
        return std::nullopt;
    }
    return value;
}

// `// min=0 max=2 default=1` after a float uniform; nullopt when the comment asks for no slider.
std::optional<ShaderSlider> parseSlider(const std::string& name, const std::string& comment,
                                        const std::string& label)
{
    std::map<std::string, std::string> words;
    std::istringstream stream(comment);
    std::string word;
    while (stream >> word) {
        const std::size_t equals = word.find('=');
        if (equals != std::string::npos) {
            words[word.substr(0, equals)] = word.substr(equals + 1);
        }
    }
    if (!words.contains("min") && !words.contains("max")) {
        return std::nullopt;
    }
    ShaderSlider slider;
    slider.name = name;
    const auto number = [&](const char* key, float fallback) {
        const auto found = words.find(key);
        if (found == words.end()) {
            return fallback;
        }
        const std::optional<float> value = parseFloat(found->second);
        if (!value) {
            throw ShaderError(label + "the slider " + name + " has " + key + "=" + found->second +
                              ", which is not a number");
        }
        return *value;
    };
    slider.min = number("min", 0.0f);
    slider.max = number("max", 1.0f);
    if (!(slider.min < slider.max)) {
        throw ShaderError(label + "the slider " + name + " needs min below max");
    }
    slider.value = std::clamp(number("default", slider.min), slider.min, slider.max);
    const float step = number("step", (slider.max - slider.min) / 100.0f);
    char options[96];
    std::snprintf(options, sizeof(options), "min=%g max=%g step=%g", static_cast<double>(slider.min),
                  static_cast<double>(slider.max), static_cast<double>(step));
    slider.options = options;
    return slider;
}

bool isNamePart(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// The offset of the `)` that closes the `(` at `open`, or npos.
std::size_t closingParen(std::string_view text, std::size_t open)
{
    int depth = 0;
    for (std::size_t i = open; i < text.size(); ++i) {
        if (text[i] == '(') {
            ++depth;
        } else if (text[i] == ')' && --depth == 0) {
            return i;
        }
    }
    return std::string_view::npos;
}

} // namespace

std::string boundLoops(std::string_view text)
{
    // Found in the text without comments, whose offsets are the text's own.
    const std::string code = withoutComments(text);
    std::vector<std::pair<std::size_t, std::string>> inserts;
    for (std::size_t at = 0; at < code.size(); ++at) {
        const bool isFor = code.compare(at, 3, "for") == 0;
        const bool isWhile = code.compare(at, 5, "while") == 0;
        if ((!isFor && !isWhile) || (at > 0 && isNamePart(code[at - 1]))) {
            continue;
        }
        std::size_t open = at + (isFor ? 3 : 5);
        if (open < code.size() && isNamePart(code[open])) {
            continue;
        }
        while (open < code.size() && std::isspace(static_cast<unsigned char>(code[open])) != 0) {
            ++open;
        }
        if (open >= code.size() || code[open] != '(') {
            continue;
        }
        const std::size_t close = closingParen(code, open);
        if (close == std::string_view::npos) {
            continue;
        }
        std::size_t condBegin = open + 1;
        std::size_t condEnd = close;
        if (isFor) {
            std::vector<std::size_t> semicolons;
            int depth = 0;
            for (std::size_t i = open + 1; i < close; ++i) {
                depth += code[i] == '(' ? 1 : code[i] == ')' ? -1 : 0;
                if (code[i] == ';' && depth == 0) {
                    semicolons.push_back(i);
                }
            }
            if (semicolons.size() != 2) {
                continue;
            }
            condBegin = semicolons[0] + 1;
            condEnd = semicolons[1];
        }
        const bool empty = std::all_of(code.begin() + static_cast<std::ptrdiff_t>(condBegin),
                                       code.begin() + static_cast<std::ptrdiff_t>(condEnd), [](char c) {
                                           return std::isspace(static_cast<unsigned char>(c)) != 0;
                                       });
        if (empty) {
            inserts.emplace_back(condEnd, " mirvoLoopGuard()");
        } else {
            inserts.emplace_back(condBegin, "(");
            inserts.emplace_back(condEnd, ") && mirvoLoopGuard()");
        }
        at = open;
    }
    std::string out(text);
    // From the back, so that each offset still points where it was found.
    for (auto it = inserts.rbegin(); it != inserts.rend(); ++it) {
        out.insert(it->first, it->second);
    }
    return out;
}

ShaderFile readShaderFile(const std::filesystem::path& path)
{
    const std::string shown = path.string();
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        throw ShaderError(shown + ": is a folder, not a shader file");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw ShaderError(shown + ": cannot be read");
    }
    // Read no more than one byte past the limit: a huge file is refused without loading it. The
    // scene keeps the text, so it must hold no more than the file (a folder may have a thousand).
    const auto size = std::filesystem::file_size(path, error);
    std::string text(
        error ? ShaderFile::kMaxBytes + 1 : std::min<std::size_t>(size, ShaderFile::kMaxBytes) + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    text.shrink_to_fit();
    if (text.size() > ShaderFile::kMaxBytes) {
        char megabytes[32];
        std::snprintf(megabytes, sizeof(megabytes), "%.1f MB",
                      error ? 1.0 : static_cast<double>(size) / 1048576.0);
        throw ShaderError(shown + ": is " + megabytes + "; a shader may be up to 1 MB");
    }
    return parseShaderAt(path, std::move(text));
}

ShaderFile parseShader(std::string name, std::string text, const std::filesystem::path& folder)
{
    return parseShaderAt(folder / (name + ".glsl"), std::move(text));
}

ShaderFile parseShaderAt(const std::filesystem::path& path, std::string text)
{
    ShaderFile file;
    file.name = path.stem().string();
    file.path = path;
    const std::filesystem::path folder = path.parent_path();
    const std::string shown = path.string();
    if (!isText(text)) {
        throw ShaderError(shown + ": is not a text file");
    }
    const std::string code = withoutComments(text);
    static const std::regex mainImage(R"(\bmainImage\s*\()");
    if (!std::regex_search(code, mainImage)) {
        throw ShaderError(shown + ": has no mainImage function");
    }
    static const std::regex channel(R"(\biChannel(\d+)\b)");
    for (auto it = std::sregex_iterator(code.begin(), code.end(), channel); it != std::sregex_iterator();
         ++it) {
        const std::string number = (*it)[1].str();
        if (number.size() > 1 || number[0] > '3') {
            throw ShaderError(lineLabel(shown, lineAt(code, static_cast<std::size_t>(it->position()))) +
                              "reads iChannel" + number + "; the channels are iChannel0 to iChannel3");
        }
    }

    static const std::regex channelComment(R"(^\s*//\s*iChannel(\d+)\s*:\s*(.*\S)\s*$)");
    static const std::regex floatUniform(R"(^\s*uniform\s+float\s+([A-Za-z_]\w*)\s*;\s*//(.*)$)");
    const std::vector<std::string> lines = splitLines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string label = lineLabel(shown, static_cast<int>(i) + 1);
        std::smatch match;
        if (std::regex_match(lines[i], match, channelComment)) {
            const std::string number = match[1].str();
            if (number == "0") {
                throw ShaderError(label + "iChannel0 is the sound; images go on iChannel1 to iChannel3");
            }
            if (number.size() > 1 || number[0] > '3') {
                throw ShaderError(label + "names an image for iChannel" + number +
                                  "; the channels are iChannel0 to iChannel3");
            }
            file.images[static_cast<std::size_t>(number[0] - '0')] = folder / match[2].str();
        } else if (std::regex_match(lines[i], match, floatUniform)) {
            if (std::optional<ShaderSlider> slider = parseSlider(match[1].str(), match[2].str(), label)) {
                file.sliders.push_back(std::move(*slider));
            }
        }
    }
    file.text = std::move(text);
    return file;
}

ShaderProgramText buildProgramText(const ShaderFile& file, int glslVersion, bool compatibility)
{
    std::string header;
    if (glslVersion >= 150) {
        header = "#version " + std::to_string(glslVersion >= 330 ? 330 : 150) +
                 (compatibility ? " compatibility\n" : " core\n");
    } else {
        header = glslVersion >= 130 ? "#version 130\n" : "#version 120\n";
    }
    std::string prelude = header;
    const bool core = glslVersion >= 150 && !compatibility;
    if (core) {
        prelude +=
            "out vec4 mirvoFragColor;\n#define gl_FragColor mirvoFragColor\n#define texture2D texture\n";
    } else if (glslVersion < 130) {
        // The older language has only the suffixed lookups; shaders of the newer one call texture.
        prelude += "#define texture texture2D\n";
    }
    prelude += "uniform vec3 iResolution;\n"
               "uniform float iTime;\n"
               "uniform float iGlobalTime;\n"
               "uniform float iTimeDelta;\n"
               "uniform float iFrameRate;\n"
               "uniform int iFrame;\n"
               "uniform vec4 iMouse;\n"
               "uniform vec4 iDate;\n"
               "uniform float iSampleRate;\n"
               "uniform vec3 iChannelResolution[4];\n"
               "uniform float iChannelTime[4];\n"
               "uniform sampler2D iChannel0;\n"
               "uniform sampler2D iChannel1;\n"
               "uniform sampler2D iChannel2;\n"
               "uniform sampler2D iChannel3;\n";
    // Every loop of the file also asks this, so that a loop that would never end (which hangs
    // the GL, and on some drivers the whole display) ends after a number of steps that no
    // shader drawing in real time comes near.
    prelude += "int mirvoLoopSteps = " + std::to_string(kLoopStepsPerPixel) +
               ";\n"
               "bool mirvoLoopGuard() { return --mirvoLoopSteps >= 0; }\n";

    ShaderProgramText program;
    program.preludeLines = static_cast<int>(std::count(prelude.begin(), prelude.end(), '\n'));
    // A #version of the file's own would come after the prelude's; blank it, keeping the line.
    std::vector<std::string> lines = splitLines(boundLoops(file.text));
    static const std::regex version(R"(^\s*#\s*version\b.*$)");
    std::string body;
    for (std::string& line : lines) {
        if (std::regex_match(line, version)) {
            line.clear();
        }
        body += line;
        body += '\n';
    }
    program.userLines = static_cast<int>(lines.size());
    program.fragment = prelude + body +
                       "void main()\n"
                       "{\n"
                       "    vec4 mirvoColor = vec4(0.0, 0.0, 0.0, 1.0);\n"
                       "    mainImage(mirvoColor, gl_FragCoord.xy);\n"
                       "    gl_FragColor = vec4(mirvoColor.rgb, 1.0);\n"
                       "}\n";
    if (core) {
        program.vertex =
            header + "void main()\n{\n"
                     "    vec2 corner = vec2(float((gl_VertexID & 1) << 2), float((gl_VertexID & 2) << 1));\n"
                     "    gl_Position = vec4(corner - 1.0, 0.0, 1.0);\n}\n";
    } else {
        program.vertex = header + "void main()\n{\n    gl_Position = vec4(gl_Vertex.xy, 0.0, 1.0);\n}\n";
    }
    return program;
}

std::string firstErrorInFile(std::string_view log, const ShaderProgramText& text)
{
    // The forms drivers write: "0:12(5): error: ..." (Mesa), "ERROR: 0:12: ..." and
    // "0(12) : error C0000: ...".
    static const std::regex colonForm(R"(^\s*(?:ERROR:\s*)?\d+:(\d+)(?:\(\d+\))?:\s*(.*)$)");
    static const std::regex parenForm(R"(^\s*\d+\((\d+)\)\s*:\s*(.*)$)");
    static const std::regex errorWord(R"(^(?:error|ERROR)\s*(?:C\d+)?\s*:\s*)");
    const std::vector<std::string> lines = splitLines(log);
    std::optional<std::string> fallback;
    for (const std::string& line : lines) {
        std::smatch match;
        if (!std::regex_match(line, match, colonForm) && !std::regex_match(line, match, parenForm)) {
            if (!fallback && line.find_first_not_of(" \t") != std::string::npos) {
                fallback = line;
            }
            continue;
        }
        if (line.find("error") == std::string::npos && line.find("ERROR") == std::string::npos) {
            continue;
        }
        const std::string message = std::regex_replace(match[2].str(), errorWord, "");
        const int fileLine = std::stoi(match[1].str()) - text.preludeLines;
        if (fileLine >= 1 && fileLine <= text.userLines) {
            return std::to_string(fileLine) + ": " + message;
        }
        return message;
    }
    return fallback.value_or("the GL gave no reason");
}

std::vector<std::filesystem::path> shadersInFolder(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> found;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator(folder, error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        std::string extension = it->path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if ((extension == ".glsl" || extension == ".frag") && it->is_regular_file(error)) {
            found.push_back(it->path());
        }
    }
    if (error) {
        throw ShaderError(folder.string() + ": cannot be read: " + error.message());
    }
    const FileOrder order;
    std::sort(found.begin(), found.end(),
              [&order](const std::filesystem::path& a, const std::filesystem::path& b) {
                  return order(a.filename().string(), b.filename().string());
              });
    return found;
}

} // namespace mirvo
