// Filled triangles whose edge pixels are lit in proportion to how much of them the triangle
// covers: anti-aliasing for a frame drawn without multisampling, where a software renderer
// spends most of a multisampled frame on the samples. Exact under additive blending, which is
// where it is used. Main thread only, with the GL context current.
#pragma once

#include "core/Vec.h"
#include "gl/GlslProg.h"

#include <array>
#include <optional>

namespace mirvo::gl {

// A triangle in window coordinates grown by a margin on every side, with, at each of its
// corners, the signed distance in pixels to each of the original edges (positive inside).
// Distances are affine across a triangle, so the rasteriser interpolates them exactly.
struct CoverageTriangle {
    std::array<Vec2f, 3> corners;
    std::array<Vec3f, 3> edgeDistances;
};

// Empty for a triangle too thin to cover any pixel's centre line, which draws nothing.
std::optional<CoverageTriangle> growForCoverage(const Vec2f& a, const Vec2f& b, const Vec2f& c,
                                                float marginPixels = 1.0f);

class SmoothTriangleDrawer {
  public:
    // Draws a b c of the current model-view space in the current colour, its alpha scaled by
    // the coverage. The program is built on the first draw.
    void draw(const Vec2f& a, const Vec2f& b, const Vec2f& c);

  private:
    GlslProgRef mProgram;
};

} // namespace mirvo::gl
