// The face the panels and notices write in: the packaged sans-serif the videos' titles use,
// found through fontconfig (gl::Font) and rasterised anti-aliased by ImGui's own atlas at the
// size asked. Where no such face can be had, ImGui's built-in bitmap font stands in and one line
// on standard error says so, once. Main thread.
#pragma once

#include <imgui.h>

namespace mirvo::params::tw {

// Adds the face at `pixelSize` to `atlas` with the characters of `glyphRanges` (null: Latin-1)
// and returns it; never null.
ImFont* addTextFont(ImFontAtlas& atlas, float pixelSize, const ImWchar* glyphRanges = nullptr);

} // namespace mirvo::params::tw
