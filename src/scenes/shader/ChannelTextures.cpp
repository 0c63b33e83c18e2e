#include "src/scenes/shader/ChannelTextures.h"

#include "gl/Draw.h"
#include "src/scenes/shader/SoundTexture.h"

#include <algorithm>
#include <vector>

namespace mirvo {

namespace {

bool hasRedTextures()
{
    return epoxy_gl_version() >= 30 || epoxy_has_gl_extension("GL_ARB_texture_rg");
}

bool hasGenerateMipmap()
{
    return epoxy_gl_version() >= 30 || epoxy_has_gl_extension("GL_ARB_framebuffer_object");
}

// Mipmapped, repeating RGBA from rows bottom first.
ChannelTextureRef makeRepeatingTexture(int width, int height, const std::uint8_t* rows)
{
    GLuint handle = 0;
    glGenTextures(1, &handle);
    glBindTexture(GL_TEXTURE_2D, handle);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    const bool generate = hasGenerateMipmap();
    if (!generate) {
        glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
    }
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rows);
    if (generate) {
        glGenerateMipmap(GL_TEXTURE_2D);
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_2D, 0);
    return std::make_shared<ChannelTexture>(handle, Vec2i(width, height));
}

} // namespace

ChannelTexture::~ChannelTexture()
{
    glDeleteTextures(1, &mHandle);
}

ChannelTextureRef makeSoundTexture()
{
    const GLuint handle = gl::makeSmoothTexture();
    const std::vector<std::uint8_t> silence(SoundTexture::kWidth * SoundTexture::kHeight, 0);
    const auto width = static_cast<GLsizei>(SoundTexture::kWidth);
    const auto height = static_cast<GLsizei>(SoundTexture::kHeight);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (hasRedTextures()) {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_R8, width, height, 0, GL_RED, GL_UNSIGNED_BYTE, silence.data());
    } else {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_LUMINANCE8, width, height, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE,
                     silence.data());
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_2D, 0);
    return std::make_shared<ChannelTexture>(handle, Vec2i(width, height));
}

void uploadSound(const ChannelTexture& texture, const std::uint8_t* texels)
{
    glBindTexture(GL_TEXTURE_2D, texture.getHandle());
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, static_cast<GLsizei>(SoundTexture::kWidth),
                    static_cast<GLsizei>(SoundTexture::kHeight), hasRedTextures() ? GL_RED : GL_LUMINANCE,
                    GL_UNSIGNED_BYTE, texels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_2D, 0);
}

ChannelTextureRef sharedNoiseTexture()
{
    static std::weak_ptr<ChannelTexture> shared;
    if (ChannelTextureRef existing = shared.lock()) {
        return existing;
    }
    constexpr int kSide = 256;
    std::vector<std::uint8_t> noise(static_cast<std::size_t>(kSide) * kSide * 4);
    // A fixed xorshift sequence: the same noise on every run, so renders repeat exactly.
    std::uint32_t state = 0x9e3779b9u;
    for (std::uint8_t& byte : noise) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    ChannelTextureRef texture = makeRepeatingTexture(kSide, kSide, noise.data());
    shared = texture;
    return texture;
}

ChannelTextureRef makeImageTexture(const RgbaImage& image)
{
    const std::size_t row = static_cast<std::size_t>(image.width) * 4;
    std::vector<std::uint8_t> flipped(image.pixels.size());
    for (int y = 0; y < image.height; ++y) {
        const auto from =
            image.pixels.begin() + static_cast<std::ptrdiff_t>(row * static_cast<std::size_t>(y));
        std::copy(from, from + static_cast<std::ptrdiff_t>(row),
                  flipped.begin() +
                      static_cast<std::ptrdiff_t>(row * static_cast<std::size_t>(image.height - 1 - y)));
    }
    return makeRepeatingTexture(image.width, image.height, flipped.data());
}

} // namespace mirvo
