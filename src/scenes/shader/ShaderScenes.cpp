#include "src/scenes/shader/ShaderScenes.h"

#include "core/Resources.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iostream>
#include <map>

namespace mirvo {

namespace {

void addFile(ShaderScenes& out, const MonitorSpectralNodeRef& monitor, std::vector<float>& spectrum,
             const std::filesystem::path& path, const ShaderScene::Report& report,
             const ShaderScene::SourceGain& sourceGain, bool compile = false)
{
    try {
        auto scene =
            std::make_unique<ShaderScene>(monitor, spectrum, readShaderFile(path), report, sourceGain);
        if (compile) {
            scene->compile();
        }
        out.scenes.push_back(std::move(scene));
    } catch (const ShaderError& exc) {
        std::cerr << "mirvo: " << exc.what() << std::endl;
        const std::string what = exc.what();
        const std::string prefix = path.string() + ":";
        std::string reason = what.rfind(prefix, 0) == 0 ? what.substr(prefix.size()) : what;
        reason.erase(0, reason.find_first_not_of(' '));
        out.failures.push_back({path.filename().string(), reason});
    }
}

void addFolder(ShaderScenes& out, const MonitorSpectralNodeRef& monitor, std::vector<float>& spectrum,
               const std::filesystem::path& folder, const ShaderScene::Report& report,
               const ShaderScene::SourceGain& sourceGain)
{
    try {
        for (const std::filesystem::path& path : shadersInFolder(folder)) {
            addFile(out, monitor, spectrum, path, report, sourceGain);
        }
    } catch (const ShaderError& exc) {
        std::cerr << "mirvo: " << exc.what() << std::endl;
        out.failures.push_back({folder.filename().string(), "cannot be read"});
    }
}

// Two files of one name in different folders: the later is "name (2)", so that each has a panel
// of its own and --scene finds the first.
void makeNamesUnique(std::vector<std::unique_ptr<ShaderScene>>& scenes)
{
    std::map<std::string, int> seen;
    for (const std::unique_ptr<ShaderScene>& scene : scenes) {
        const int count = ++seen[scene->getName()];
        if (count > 1) {
            scene->rename(scene->getName() + " (" + std::to_string(count) + ")");
        }
    }
}

} // namespace

bool namesShaderScene(const std::string& name, const std::vector<std::filesystem::path>& folders,
                      const std::vector<std::string>& given)
{
    std::vector<std::filesystem::path> files;
    std::vector<std::filesystem::path> searched = folders;
    for (const std::string& path : given) {
        std::error_code error;
        if (std::filesystem::is_directory(path, error)) {
            searched.emplace_back(path);
        } else {
            files.emplace_back(path);
        }
    }
    for (const std::filesystem::path& folder : searched) {
        try {
            const std::vector<std::filesystem::path> found = shadersInFolder(folder);
            files.insert(files.end(), found.begin(), found.end());
        } catch (const ShaderError&) {
            // An unreadable folder names no scene; the start tells of it.
        }
    }
    return std::any_of(files.begin(), files.end(),
                       [&name](const std::filesystem::path& file) { return file.stem().string() == name; });
}

bool isShaderFile(const std::filesystem::path& path)
{
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".glsl" || extension == ".frag";
}

ShaderScenes makeDroppedShaderScenes(const MonitorSpectralNodeRef& monitor, std::vector<float>& spectrum,
                                     const std::vector<std::filesystem::path>& files,
                                     const ShaderScene::Report& report,
                                     const ShaderScene::SourceGain& sourceGain)
{
    ShaderScenes out;
    for (const std::filesystem::path& path : files) {
        addFile(out, monitor, spectrum, path, report, sourceGain, true);
    }
    const auto watcher = std::make_shared<InotifyWatch>();
    for (const std::unique_ptr<ShaderScene>& scene : out.scenes) {
        scene->setWatch(watcher);
    }
    return out;
}

std::vector<std::filesystem::path> defaultShaderFolders()
{
    std::vector<std::filesystem::path> candidates;
    candidates.emplace_back(std::filesystem::path(app::getResourceDirectory()) / "scenes");
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        candidates.push_back(executable.parent_path().parent_path() / "share" / "mirvo" / "scenes");
    }
    if (const char* dataHome = std::getenv("XDG_DATA_HOME"); dataHome != nullptr && dataHome[0] == '/') {
        candidates.push_back(std::filesystem::path(dataHome) / "mirvo" / "scenes");
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        candidates.push_back(std::filesystem::path(home) / ".local" / "share" / "mirvo" / "scenes");
    }
    std::vector<std::filesystem::path> folders;
    for (const std::filesystem::path& folder : candidates) {
        const bool seen =
            std::any_of(folders.begin(), folders.end(), [&](const std::filesystem::path& other) {
                return std::filesystem::equivalent(other, folder, error);
            });
        if (!seen && std::filesystem::is_directory(folder, error)) {
            folders.push_back(folder);
        }
    }
    return folders;
}

ShaderScenes makeShaderScenes(const MonitorSpectralNodeRef& monitor, std::vector<float>& spectrum,
                              const std::vector<std::filesystem::path>& folders,
                              const std::vector<std::string>& given, const ShaderScene::Report& report,
                              const ShaderScene::SourceGain& sourceGain, bool watch)
{
    ShaderScenes out;
    for (const std::filesystem::path& folder : folders) {
        addFolder(out, monitor, spectrum, folder, report, sourceGain);
    }
    for (const std::string& name : given) {
        const std::filesystem::path path(name);
        std::error_code error;
        const std::size_t before = out.scenes.size();
        if (std::filesystem::is_directory(path, error)) {
            addFolder(out, monitor, spectrum, path, report, sourceGain);
        } else {
            if (!std::filesystem::exists(path, error)) {
                throw ShaderError(name + ": no such file or folder");
            }
            // One of the folders' own, named again to start with it: the scene is already there.
            const auto same = std::find_if(out.scenes.begin(), out.scenes.end(), [&](const auto& scene) {
                std::error_code ignored;
                return std::filesystem::equivalent(scene->getFile().path, path, ignored);
            });
            if (same != out.scenes.end()) {
                (*same)->compile();
                if (!out.firstGiven) {
                    out.firstGiven = static_cast<std::size_t>(same - out.scenes.begin());
                }
                continue;
            }
            // What the command line names on its own must show: it fails the start, not later.
            out.scenes.push_back(
                std::make_unique<ShaderScene>(monitor, spectrum, readShaderFile(path), report, sourceGain));
            out.scenes.back()->compile();
        }
        if (!out.firstGiven && out.scenes.size() > before) {
            out.firstGiven = before;
        }
    }
    makeNamesUnique(out.scenes);
    if (watch) {
        const auto watcher = std::make_shared<InotifyWatch>();
        for (const std::unique_ptr<ShaderScene>& scene : out.scenes) {
            scene->setWatch(watcher);
        }
    }
    return out;
}

std::optional<std::string> addShaderScenes(Stage& stage, const std::vector<std::string>& given,
                                           const ShaderScene::Report& report,
                                           const ShaderScene::SourceGain& sourceGain, bool watch,
                                           std::vector<notice::Failure>& failures, bool offscreen,
                                           bool smoothEdges)
{
    ShaderScenes shaders = makeShaderScenes(stage.getMonitor(), stage.getSpectrum(), defaultShaderFolders(),
                                            given, report, sourceGain, watch);
    failures.insert(failures.end(), shaders.failures.begin(), shaders.failures.end());
    std::optional<std::string> firstGiven;
    if (shaders.firstGiven) {
        firstGiven = shaders.scenes.at(*shaders.firstGiven)->getName();
    }
    for (std::unique_ptr<ShaderScene>& scene : shaders.scenes) {
        if (offscreen) {
            scene->setWithoutPanels();
            scene->setSmoothEdges(smoothEdges);
        }
        std::string name = scene->getName();
        stage.getScenes().add(std::move(name), std::move(scene));
    }
    return firstGiven;
}

std::optional<std::size_t> addDroppedShaderScenes(Stage& stage,
                                                  const std::vector<std::filesystem::path>& files,
                                                  const ShaderScene::Report& report,
                                                  const ShaderScene::SourceGain& sourceGain,
                                                  std::vector<notice::Failure>& failures)
{
    ShaderScenes added =
        makeDroppedShaderScenes(stage.getMonitor(), stage.getSpectrum(), files, report, sourceGain);
    failures.insert(failures.end(), added.failures.begin(), added.failures.end());
    if (added.scenes.empty()) {
        return std::nullopt;
    }
    const std::size_t first = stage.getScenes().size();
    for (std::unique_ptr<ShaderScene>& scene : added.scenes) {
        std::string name = scene->getName();
        stage.getScenes().add(std::move(name), std::move(scene));
    }
    return first;
}

} // namespace mirvo
