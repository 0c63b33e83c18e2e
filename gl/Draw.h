// Immediate-mode drawing for the scenes and the controller: clearing, the model-view
// stack, transforms, blending and client-array lines and triangles. Stateless; main
// thread only, with the GL context current. Colours and line widths are set by the
// callers with glColor4f and glLineWidth.
#pragma once

#include "core/Color.h"
#include "core/Path2d.h"
#include "core/Vec.h"

#include <vector>

namespace mirvo::gl {

// Clears colour, and depth too (with the depth mask switched on) when `clearDepth` is set.
void clear(const ColorA& color = ColorA(0, 0, 0, 1), bool clearDepth = true);

void pushModelView();
void popModelView();
void translate(const Vec2f& offset);
void translate(const Vec3f& offset);
void scale(const Vec3f& factors);
// Degrees about x, then y, then z.
void rotate(const Vec3f& xyzDegrees);

void enableAdditiveBlending();
void disableAlphaBlending();

// Normal alpha blending, for edges drawn with partial coverage.
void enableAlphaBlending();

// A new 2D texture, left bound: smooth (linear) sampling both ways, clamped at the edges.
unsigned int makeSmoothTexture();
// Whether the context has framebuffer objects and blits between them (GL 3.0, or the extension).
bool hasFramebuffers();
// The 2D texture `texture` stretched over the whole viewport, unblended, whatever the matrices;
// leaves the current colour white and restores the rest of the state it changes.
void drawTextureCoveringView(unsigned int texture);
void drawLine(const Vec2f& start, const Vec2f& end);
// Separate lines, one from each pair of points, in one draw; an odd last point is left out.
void drawLines(const std::vector<Vec2f>& points);
void drawSolidTriangle(const Vec2f& a, const Vec2f& b, const Vec2f& c);
// One connected strip through the points in order; fewer than two points draw nothing.
void drawLineStrip(const std::vector<Vec2f>& points);
// A path as one line strip through its points; a path without segments draws nothing.
// Straight segments need no subdivision, so the scale does not change the points.
void draw(const Path2d& path, float approximationScale = 1.0f);

} // namespace mirvo::gl
