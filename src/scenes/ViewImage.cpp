#include "src/scenes/ViewImage.h"

#include "gl/Draw.h"

#include <array>

namespace mirvo {

ViewImage::~ViewImage()
{
    if (mFramebuffer != 0) {
        glDeleteFramebuffers(1, &mFramebuffer);
    }
    if (mTexture != 0) {
        glDeleteTextures(1, &mTexture);
    }
}

void ViewImage::upload(const std::uint8_t* pixels, GLenum format, Vec2i size, int rowLength)
{
    if (mTexture == 0) {
        mTexture = gl::makeSmoothTexture();
    }
    glBindTexture(GL_TEXTURE_2D, mTexture);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, rowLength);
    if (size != mSize || format != mFormat) {
        // Unsized, so that the GL may keep the pixels in the order they come in: the upload is
        // then a copy (a sized GL_RGBA8 costs a software renderer a conversion of every pixel
        // given in BGRA), and so is the blit into a target of that order.
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, size.x, size.y, 0, format, GL_UNSIGNED_BYTE, pixels);
        mSize = size;
        mFormat = format;
    } else {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, size.x, size.y, format, GL_UNSIGNED_BYTE, pixels);
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void ViewImage::show(const std::uint8_t* pixels, GLenum format, Vec2i size, int rowLength)
{
    if (size.x <= 0 || size.y <= 0) {
        return;
    }
    upload(pixels, format, size, rowLength);
    if (!gl::hasFramebuffers()) {
        gl::drawTextureCoveringView(mTexture);
        return;
    }
    // A blit rather than a textured quad: it leaves the matrices and the rest of the state alone,
    // and pixel for pixel into a target of the texture's own order it is a plain copy.
    std::array<GLint, 4> viewport{};
    glGetIntegerv(GL_VIEWPORT, viewport.data());
    GLint previous = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &previous);
    if (mFramebuffer == 0) {
        // The attachment is the texture object: a new size or order for it keeps it attached.
        glGenFramebuffers(1, &mFramebuffer);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, mFramebuffer);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, mTexture, 0);
    }
    glBindFramebuffer(GL_READ_FRAMEBUFFER, mFramebuffer);
    const bool pixelForPixel = size.x == viewport[2] && size.y == viewport[3];
    glBlitFramebuffer(0, 0, size.x, size.y, viewport[0], viewport[1], viewport[0] + viewport[2],
                      viewport[1] + viewport[3], GL_COLOR_BUFFER_BIT, pixelForPixel ? GL_NEAREST : GL_LINEAR);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(previous));
}

} // namespace mirvo
