// The galaxy's point sprites drawn with nothing but OpenGL calls: the same shaders, star
// positions, sizes, blending and 8-byte-per-star stream, without the scene, mesh or program
// classes. The frame benchmark draws it beside the galaxy to show what the framework adds.
// Main thread, with the GL context current.
#pragma once

#include "core/Vec.h"
#include "gl/Gl.h"

#include <cstddef>
#include <vector>

namespace mirvo {

class BareStars {
  public:
    // Compiles the star shaders and uploads `maxStars` positions; throws std::runtime_error
    // when the shaders do not build.
    explicit BareStars(std::size_t maxStars);
    ~BareStars();
    BareStars(const BareStars&) = delete;
    BareStars& operator=(const BareStars&) = delete;

    // Draws `count` stars about the current origin with the galaxy's default look.
    void draw(const std::vector<float>& spectrum, int count, const Vec3f& rotationDegrees);

  private:
    std::size_t mMaxStars;
    GLuint mProgram = 0;
    GLuint mPositions = 0;
    GLuint mStream = 0;
    GLint mHueLocation = -1;
    GLint mMagnitudeLocation = -1;
};

} // namespace mirvo
