// An image made on the CPU, shown over the whole view: uploaded to a texture of its own and
// copied to the viewport, smoothly stretched when it is smaller. Main thread, with the GL context
// current; destroy it while that context is still current.
#pragma once

#include "core/Vec.h"
#include "gl/Gl.h"

#include <cstdint>

namespace mirvo {

class ViewImage {
  public:
    ViewImage() = default;
    ~ViewImage();
    ViewImage(const ViewImage&) = delete;
    ViewImage& operator=(const ViewImage&) = delete;

    // Rows of `size` from the bottom, `rowLength` pixels apart, 8 bits a channel in the order
    // `format` names (GL_BGRA or GL_RGBA), over the current viewport.
    void show(const std::uint8_t* pixels, GLenum format, Vec2i size, int rowLength);

  private:
    void upload(const std::uint8_t* pixels, GLenum format, Vec2i size, int rowLength);

    GLuint mTexture = 0;
    GLuint mFramebuffer = 0;
    Vec2i mSize{0, 0};
    GLenum mFormat = 0;
};

} // namespace mirvo
