// Where shader scenes come from and in what order they join the rotation: Mirvo's own, those
// installed beside it, the user's scenes folder, then the files and folders the command line
// names. Main thread, with the GL context current for the command line's files.
#pragma once

#include "src/Notices.h"
#include "src/scenes/Stage.h"
#include "src/scenes/shader/ShaderScene.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mirvo {

// resources/scenes, <prefix>/share/mirvo/scenes and $XDG_DATA_HOME/mirvo/scenes (by default
// ~/.local/share/mirvo/scenes), those that exist.
std::vector<std::filesystem::path> defaultShaderFolders();

struct ShaderScenes {
    std::vector<std::unique_ptr<ShaderScene>> scenes;
    // Index in `scenes` of the first the command line named, if any.
    std::optional<std::size_t> firstGiven;
    // Files passed over, each already told on standard error.
    std::vector<notice::Failure> failures;
};

// A file the command line names that cannot be read or compiled throws ShaderError, one line
// with the file, the line and the message; a shader in a folder that cannot is told on standard
// error, collected in failures and left out. With `watch` each scene recompiles its file on save.
ShaderScenes makeShaderScenes(const MonitorSpectralNodeRef& monitor, std::vector<float>& spectrum,
                              const std::vector<std::filesystem::path>& folders,
                              const std::vector<std::string>& given, const ShaderScene::Report& report,
                              const ShaderScene::SourceGain& sourceGain, bool watch);

// Whether a shader file among those the folders and the command line's paths hold is called
// `name` (its stem), without reading any of them.
bool namesShaderScene(const std::string& name, const std::vector<std::filesystem::path>& folders,
                      const std::vector<std::string>& given);
// A .glsl or .frag file name.
bool isShaderFile(const std::filesystem::path& path);
// Dropped shader files as scenes, compiled at once; one that cannot be read or compiled is told
// on standard error, collected in failures and left out.
ShaderScenes makeDroppedShaderScenes(const MonitorSpectralNodeRef& monitor, std::vector<float>& spectrum,
                                     const std::vector<std::filesystem::path>& files,
                                     const ShaderScene::Report& report,
                                     const ShaderScene::SourceGain& sourceGain);

// The scenes of makeShaderScenes (the scenes folders', then `given`), joined to `stage`'s set
// after the scenes it has; offscreen without panels, and with `smoothEdges` drawing their own
// smooth edges. Returns the name of the first scene `given` names, if any. Throws as
// makeShaderScenes does.
std::optional<std::string> addShaderScenes(Stage& stage, const std::vector<std::string>& given,
                                           const ShaderScene::Report& report,
                                           const ShaderScene::SourceGain& sourceGain, bool watch,
                                           std::vector<notice::Failure>& failures, bool offscreen = false,
                                           bool smoothEdges = false);
// Dropped shader files joined to `stage`'s set; returns the index of the first that joined.
std::optional<std::size_t> addDroppedShaderScenes(Stage& stage,
                                                  const std::vector<std::filesystem::path>& files,
                                                  const ShaderScene::Report& report,
                                                  const ShaderScene::SourceGain& sourceGain,
                                                  std::vector<notice::Failure>& failures);

} // namespace mirvo
