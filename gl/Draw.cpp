#include "gl/Draw.h"

#include "gl/Gl.h"

namespace mirvo::gl {

namespace {

void drawPoints2d(GLenum mode, const Vec2f* points, GLsizei count)
{
    static_assert(sizeof(Vec2f) == 2 * sizeof(float), "Vec2f arrays go to GL as packed floats");
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, points);
    glDrawArrays(mode, 0, count);
    glDisableClientState(GL_VERTEX_ARRAY);
}

} // namespace

void clear(const ColorA& color, bool clearDepth)
{
    glClearColor(color.r, color.g, color.b, color.a);
    if (clearDepth) {
        glDepthMask(GL_TRUE);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    } else {
        glClear(GL_COLOR_BUFFER_BIT);
    }
}

void pushModelView()
{
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
}

void popModelView()
{
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

void translate(const Vec2f& offset)
{
    glTranslatef(offset.x, offset.y, 0.f);
}

void translate(const Vec3f& offset)
{
    glTranslatef(offset.x, offset.y, offset.z);
}

void scale(const Vec3f& factors)
{
    glScalef(factors.x, factors.y, factors.z);
}

void rotate(const Vec3f& xyzDegrees)
{
    glRotatef(xyzDegrees.x, 1.f, 0.f, 0.f);
    glRotatef(xyzDegrees.y, 0.f, 1.f, 0.f);
    glRotatef(xyzDegrees.z, 0.f, 0.f, 1.f);
}

void enableAdditiveBlending()
{
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
}

void enableAlphaBlending()
{
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void disableAlphaBlending()
{
    glDisable(GL_BLEND);
}

unsigned int makeSmoothTexture()
{
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return texture;
}

bool hasFramebuffers()
{
    return epoxy_gl_version() >= 30 || epoxy_has_gl_extension("GL_ARB_framebuffer_object");
}

void drawTextureCoveringView(unsigned int texture)
{
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(-1.0f, -1.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(1.0f, -1.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(1.0f, 1.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(-1.0f, 1.0f);
    glEnd();
    glBindTexture(GL_TEXTURE_2D, 0);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
}

void drawLine(const Vec2f& start, const Vec2f& end)
{
    const Vec2f points[2] = {start, end};
    drawPoints2d(GL_LINES, points, 2);
}

void drawLines(const std::vector<Vec2f>& points)
{
    const auto count = static_cast<GLsizei>(points.size() & ~std::size_t(1));
    if (count == 0) {
        return;
    }
    drawPoints2d(GL_LINES, points.data(), count);
}

void drawSolidTriangle(const Vec2f& a, const Vec2f& b, const Vec2f& c)
{
    const Vec2f points[3] = {a, b, c};
    drawPoints2d(GL_TRIANGLES, points, 3);
}

void drawLineStrip(const std::vector<Vec2f>& points)
{
    if (points.size() < 2) {
        return;
    }
    drawPoints2d(GL_LINE_STRIP, points.data(), GLsizei(points.size()));
}

void draw(const Path2d& path, float approximationScale)
{
    if (path.getNumSegments() == 0) {
        return;
    }
    drawLineStrip(path.subdivide());
}

} // namespace mirvo::gl
