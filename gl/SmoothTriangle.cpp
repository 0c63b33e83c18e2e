#include "gl/SmoothTriangle.h"

#include "core/Matrix44.h"
#include "gl/Gl.h"

#include <cmath>

namespace mirvo::gl {

namespace {

// The coverage of a pixel by a half-plane is close to its distance from the edge plus a half,
// clamped: a box filter one pixel wide. Three edges multiply, which darkens the tips of sharp
// corners the little that multisampling would.
constexpr const char* kVertexShader = R"(#version 120
varying vec3 vEdgeDistance;
void main()
{
    vEdgeDistance = gl_MultiTexCoord0.xyz;
    gl_FrontColor = gl_Color;
    gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;
}
)";

constexpr const char* kFragmentShader = R"(#version 120
varying vec3 vEdgeDistance;
void main()
{
    vec3 cover = clamp(vEdgeDistance + 0.5, 0.0, 1.0);
    gl_FragColor = vec4(gl_Color.rgb, gl_Color.a * cover.x * cover.y * cover.z);
}
)";

float cross(const Vec2f& u, const Vec2f& v)
{
    return u.x * v.y - u.y * v.x;
}

Vec2f toWindow(const Matrix44f& modelViewProjection, const GLint viewport[4], const Vec2f& point)
{
    const Vec3f ndc = modelViewProjection.transformPoint(Vec3f(point.x, point.y, 0.0f));
    return Vec2f(static_cast<float>(viewport[0]) + (ndc.x * 0.5f + 0.5f) * static_cast<float>(viewport[2]),
                 static_cast<float>(viewport[1]) + (ndc.y * 0.5f + 0.5f) * static_cast<float>(viewport[3]));
}

} // namespace

std::optional<CoverageTriangle> growForCoverage(const Vec2f& a, const Vec2f& b, const Vec2f& c,
                                                float marginPixels)
{
    std::array<Vec2f, 3> p = {a, b, c};
    const float doubleArea = cross(b - a, c - a);
    if (!(std::abs(doubleArea) > 1e-3f)) {
        return std::nullopt;
    }
    if (doubleArea < 0.0f) {
        std::swap(p[1], p[2]);
    }
    // Edge i runs from corner i to corner i + 1; with the corners counter-clockwise its inward
    // normal points left of it. Each edge's line is n . x = offset.
    std::array<Vec2f, 3> normals;
    std::array<float, 3> offsets{};
    for (int i = 0; i < 3; ++i) {
        const Vec2f along = p[(i + 1) % 3] - p[i];
        normals[i] = Vec2f(-along.y, along.x).normalized();
        offsets[i] = normals[i].dot(p[i]);
    }
    CoverageTriangle grown;
    for (int i = 0; i < 3; ++i) {
        // Corner i lies on edges i - 1 and i: the grown corner is where those edges, moved out
        // by the margin, meet.
        const int before = (i + 2) % 3;
        const Vec2f& n0 = normals[before];
        const Vec2f& n1 = normals[i];
        const float d0 = offsets[before] - marginPixels;
        const float d1 = offsets[i] - marginPixels;
        const float det = cross(n0, n1);
        grown.corners[i] = Vec2f((d0 * n1.y - d1 * n0.y) / det, (n0.x * d1 - n1.x * d0) / det);
    }
    for (int i = 0; i < 3; ++i) {
        const Vec2f& corner = grown.corners[i];
        grown.edgeDistances[i] =
            Vec3f(normals[0].dot(corner) - offsets[0], normals[1].dot(corner) - offsets[1],
                  normals[2].dot(corner) - offsets[2]);
    }
    return grown;
}

void SmoothTriangleDrawer::draw(const Vec2f& a, const Vec2f& b, const Vec2f& c)
{
    Matrix44f projection;
    Matrix44f modelView;
    GLint viewport[4] = {};
    glGetFloatv(GL_PROJECTION_MATRIX, projection.data());
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView.data());
    glGetIntegerv(GL_VIEWPORT, viewport);
    const Matrix44f modelViewProjection = projection * modelView;
    const std::optional<CoverageTriangle> grown = growForCoverage(toWindow(modelViewProjection, viewport, a),
                                                                  toWindow(modelViewProjection, viewport, b),
                                                                  toWindow(modelViewProjection, viewport, c));
    if (!grown) {
        return;
    }
    if (!mProgram) {
        mProgram = GlslProg::create(std::string_view(kVertexShader), std::string_view(kFragmentShader));
    }

    // Drawn in window coordinates, where the distances are in pixels.
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(viewport[0], viewport[0] + viewport[2], viewport[1], viewport[1] + viewport[3], -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    mProgram->bind();
    static_assert(sizeof(Vec2f) == 2 * sizeof(float) && sizeof(Vec3f) == 3 * sizeof(float),
                  "corners and distances go to GL as packed floats");
    glClientActiveTexture(GL_TEXTURE0);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, grown->corners.data());
    glTexCoordPointer(3, GL_FLOAT, 0, grown->edgeDistances.data());
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    GlslProg::unbind();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

} // namespace mirvo::gl
