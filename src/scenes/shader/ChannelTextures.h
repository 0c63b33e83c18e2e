// The textures a shader scene binds to its channels: the sound (512 x 2, one byte a texel,
// linear, clamped), the shared noise (256 x 256 RGBA, repeat, mipmapped) and images. Main
// thread, with the GL context current; a texture is deleted with its last reference.
#pragma once

#include "core/Vec.h"
#include "gl/Gl.h"
#include "src/scenes/shader/PngReader.h"

#include <array>
#include <cstdint>
#include <memory>

namespace mirvo {

class ChannelTexture {
  public:
    ChannelTexture(GLuint handle, Vec2i size) : mHandle(handle), mSize(size) {}
    ~ChannelTexture();
    ChannelTexture(const ChannelTexture&) = delete;
    ChannelTexture& operator=(const ChannelTexture&) = delete;

    GLuint getHandle() const { return mHandle; }
    Vec2i getSize() const { return mSize; }

  private:
    GLuint mHandle;
    Vec2i mSize;
};
using ChannelTextureRef = std::shared_ptr<ChannelTexture>;

// One channel of 512 x 2 texels, red where the GL has single-channel red textures, else
// luminance; a shader reads either through .x.
ChannelTextureRef makeSoundTexture();
// Rows of `texels` bottom first, as SoundTexture lays them out.
void uploadSound(const ChannelTexture& texture, const std::uint8_t* texels);
// The same noise for every scene and every run; made once while any scene holds it.
ChannelTextureRef sharedNoiseTexture();
// The image with its top row at the top of the texture (t = 1), repeat and mipmapped.
ChannelTextureRef makeImageTexture(const RgbaImage& image);

} // namespace mirvo
