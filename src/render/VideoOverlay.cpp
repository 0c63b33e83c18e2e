#include "src/render/VideoOverlay.h"

#include "gl/Gl.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace mirvo::render {

namespace {

constexpr double kFadeSeconds = 1.0;
// The title-safe area's margin on each side, as a share of that side.
constexpr float kSafeMargin = 0.05f;

int share(int length, float fraction)
{
    return static_cast<int>(std::lround(static_cast<float>(length) * fraction));
}

Vec2f toFloat(Vec2i v)
{
    return {static_cast<float>(v.x), static_cast<float>(v.y)};
}

void drawQuad(const Box& box, bool textured)
{
    // Whole pixels, so that a texture drawn at its own size maps texel to pixel.
    const float x0 = std::round(box.origin.x);
    const float y0 = std::round(box.origin.y);
    const float x1 = x0 + box.size.x;
    const float y1 = y0 + box.size.y;
    const std::array<float, 8> corners = {x0, y0, x1, y0, x1, y1, x0, y1};
    static constexpr std::array<float, 8> kTexture = {0, 0, 1, 0, 1, 1, 0, 1};
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, corners.data());
    if (textured) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, 0, kTexture.data());
    }
    glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

// What the overlay changes of the GL's state, as it found it.
struct GlState {
    GLboolean blend = GL_FALSE;
    GLboolean depthTest = GL_FALSE;
    GLboolean cullFace = GL_FALSE;
    GLboolean texture2d = GL_FALSE;
    GLboolean depthMask = GL_TRUE;
    GLint blendSource = GL_ONE;
    GLint blendDestination = GL_ZERO;
    GLint program = 0;
    GLint texture = 0;
    GLint textureMode = GL_MODULATE;
    std::array<GLfloat, 4> colour{1.0f, 1.0f, 1.0f, 1.0f};

    static GlState save()
    {
        GlState state;
        state.blend = glIsEnabled(GL_BLEND);
        state.depthTest = glIsEnabled(GL_DEPTH_TEST);
        state.cullFace = glIsEnabled(GL_CULL_FACE);
        state.texture2d = glIsEnabled(GL_TEXTURE_2D);
        glGetBooleanv(GL_DEPTH_WRITEMASK, &state.depthMask);
        glGetIntegerv(GL_BLEND_SRC, &state.blendSource);
        glGetIntegerv(GL_BLEND_DST, &state.blendDestination);
        glGetIntegerv(GL_CURRENT_PROGRAM, &state.program);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &state.texture);
        glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &state.textureMode);
        glGetFloatv(GL_CURRENT_COLOR, state.colour.data());
        return state;
    }

    void restore() const
    {
        const auto set = [](GLenum capability, GLboolean on) {
            on ? glEnable(capability) : glDisable(capability);
        };
        set(GL_BLEND, blend);
        set(GL_DEPTH_TEST, depthTest);
        set(GL_CULL_FACE, cullFace);
        set(GL_TEXTURE_2D, texture2d);
        glDepthMask(depthMask);
        glBlendFunc(static_cast<GLenum>(blendSource), static_cast<GLenum>(blendDestination));
        glUseProgram(static_cast<GLuint>(program));
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texture));
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, textureMode);
        glColor4fv(colour.data());
    }
};

// The title over the artist in one picture, white, on a soft dark copy of itself that keeps
// it legible on a bright scene: one texture and one draw a frame, which a software renderer
// does in a fraction of the time of four. Each line starts at the left, or is centred.
Picture composeText(const gl::TextBitmap& title, const gl::TextBitmap& artist, bool centred)
{
    Picture text;
    if (title.empty() && artist.empty()) {
        return text;
    }
    const int shadow = std::max(1, static_cast<int>(std::lround(static_cast<float>(title.size.y) / 24.0f)));
    const int width = std::max(title.size.x, artist.size.x);
    text.size = Vec2i(width + shadow, title.size.y + artist.size.y + shadow);
    std::vector<float> ink(static_cast<std::size_t>(text.size.x) * static_cast<std::size_t>(text.size.y),
                           0.0f);
    const auto place = [&](const gl::TextBitmap& line, int top) {
        const int left = centred ? (width - line.size.x) / 2 : 0;
        for (int y = 0; y < line.size.y; ++y) {
            for (int x = 0; x < line.size.x; ++x) {
                ink[static_cast<std::size_t>((top + y) * text.size.x + left + x)] =
                    line.coverage[static_cast<std::size_t>(y * line.size.x + x)] / 255.0f;
            }
        }
    };
    place(title, 0);
    place(artist, title.size.y);
    text.rgba.resize(ink.size() * 4);
    for (int y = 0; y < text.size.y; ++y) {
        for (int x = 0; x < text.size.x; ++x) {
            const float white = ink[static_cast<std::size_t>(y * text.size.x + x)];
            const bool shaded = x >= shadow && y >= shadow;
            const float dark =
                shaded ? 0.6f * ink[static_cast<std::size_t>((y - shadow) * text.size.x + x - shadow)] : 0.0f;
            // White over its shadow, kept as straight alpha.
            const float alpha = white + dark * (1.0f - white);
            const float grey = alpha > 0.0f ? white / alpha : 0.0f;
            std::uint8_t* pixel = &text.rgba[static_cast<std::size_t>(y * text.size.x + x) * 4];
            pixel[0] = pixel[1] = pixel[2] = static_cast<std::uint8_t>(std::lround(grey * 255.0f));
            pixel[3] = static_cast<std::uint8_t>(std::lround(alpha * 255.0f));
        }
    }
    return text;
}

} // namespace

OverlayMetrics overlayMetrics(Vec2i frame, bool withCover, bool coverCentred)
{
    const int shorter = std::min(frame.x, frame.y);
    OverlayMetrics metrics;
    metrics.coverSide = withCover ? share(shorter, coverCentred ? 0.5f : 0.2f) : 0;
    metrics.titleHeight = std::max(8, share(shorter, 0.05f));
    metrics.artistHeight = std::max(6, share(metrics.titleHeight, 0.7f));
    metrics.gap = share(shorter, 0.03f);
    metrics.barHeight = std::max(2, share(frame.y, 0.006f));
    metrics.textWidth = frame.x - 2 * share(frame.x, kSafeMargin);
    if (withCover && !coverCentred) {
        metrics.textWidth -= metrics.coverSide + metrics.gap;
    }
    metrics.textWidth = std::max(1, metrics.textWidth);
    return metrics;
}

OverlayLayout layOutOverlay(Vec2i frame, const OverlayMetrics& metrics, Vec2i cover, Vec2i title,
                            Vec2i artist, bool coverCentred)
{
    OverlayLayout layout;
    const Vec2f size = toFloat(frame);
    const Vec2f margin(static_cast<float>(share(frame.x, kSafeMargin)),
                       static_cast<float>(share(frame.y, kSafeMargin)));
    layout.safeArea = {margin, size - margin * 2.0f};
    const float gap = static_cast<float>(metrics.gap);
    const float textHeight = static_cast<float>(title.y + artist.y);
    const bool hasCover = cover.x > 0 && cover.y > 0;
    layout.cover.size = toFloat(cover);
    layout.title.size = toFloat(title);
    layout.artist.size = toFloat(artist);

    if (hasCover && coverCentred) {
        // The cover and the text under it as one group, centred, kept inside the safe area.
        const float group = static_cast<float>(cover.y) + (textHeight > 0.0f ? gap + textHeight : 0.0f);
        const float top = std::max(margin.y, (size.y - group) * 0.5f);
        layout.cover.origin = Vec2f((size.x - static_cast<float>(cover.x)) * 0.5f, top);
        const float textTop =
            std::min(top + static_cast<float>(cover.y) + gap, size.y - margin.y - textHeight);
        layout.title.origin = Vec2f((size.x - static_cast<float>(title.x)) * 0.5f, textTop);
        layout.artist.origin =
            Vec2f((size.x - static_cast<float>(artist.x)) * 0.5f, textTop + static_cast<float>(title.y));
    } else {
        // The bottom left corner of the safe area: the cover, and the text beside it, centred
        // on it.
        float textLeft = margin.x;
        float textTop = size.y - margin.y - textHeight;
        if (hasCover) {
            layout.cover.origin = Vec2f(margin.x, size.y - margin.y - static_cast<float>(cover.y));
            textLeft += static_cast<float>(cover.x) + gap;
            textTop = layout.cover.origin.y + (static_cast<float>(cover.y) - textHeight) * 0.5f;
        }
        layout.title.origin = Vec2f(textLeft, textTop);
        layout.artist.origin = Vec2f(textLeft, textTop + static_cast<float>(title.y));
    }
    const float bar = static_cast<float>(metrics.barHeight);
    layout.progress = {Vec2f(0.0f, size.y - bar), Vec2f(size.x, bar)};
    return layout;
}

float overlayFade(double seconds, double length)
{
    const double fade = std::min({1.0, seconds / kFadeSeconds, (length - seconds) / kFadeSeconds});
    return static_cast<float>(std::max(0.0, fade));
}

VideoOverlay::VideoOverlay(Vec2i frame, bool coverCentred) : mFrame(frame), mCoverCentred(coverCentred)
{
    layOut();
}

VideoOverlay::~VideoOverlay()
{
    for (const Texture* texture : {&mText, &mCover}) {
        if (texture->id != 0) {
            glDeleteTextures(1, &texture->id);
        }
    }
}

Vec2i VideoOverlay::getCoverBox() const
{
    const int side = overlayMetrics(mFrame, true, mCoverCentred).coverSide;
    return {side, side};
}

void VideoOverlay::setTitle(gl::Font& font, const std::string& title, const std::string& artist)
{
    const OverlayMetrics metrics = overlayMetrics(mFrame, true, mCoverCentred);
    // Beside a cover in a corner the text has what the cover leaves; without one, the width.
    const int width =
        mCover.id != 0 || !mCoverCentred ? metrics.textWidth : overlayMetrics(mFrame, false, false).textWidth;
    const gl::TextBitmap titleText = font.render(title, metrics.titleHeight, width);
    const gl::TextBitmap artistText =
        artist.empty() ? gl::TextBitmap{} : font.render(artist, metrics.artistHeight, width);
    const Picture text = composeText(titleText, artistText, mCoverCentred && mCover.id != 0);
    mText = text.size.x == 0 ? Texture{} : upload(text.size, text.rgba.data());
    layOut();
}

void VideoOverlay::setCover(const Picture& cover)
{
    mCover = upload(cover.size, cover.rgba.data());
    layOut();
}

void VideoOverlay::layOut()
{
    const bool withCover = mCover.id != 0;
    mLayout = layOutOverlay(mFrame, overlayMetrics(mFrame, withCover, mCoverCentred), mCover.size, mText.size,
                            Vec2i(0, 0), mCoverCentred);
}

VideoOverlay::Texture VideoOverlay::upload(Vec2i size, const void* pixels)
{
    Texture texture;
    texture.size = size;
    glGenTextures(1, &texture.id);
    glBindTexture(GL_TEXTURE_2D, texture.id);
    // Drawn at its own size on whole pixels: no filtering needed, none wanted.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, size.x, size.y, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_2D, 0);
    return texture;
}

void VideoOverlay::draw(double seconds, double length) const
{
    if (isEmpty()) {
        return;
    }
    // The state the scenes may rely on is put back by hand: pushing and popping attribute
    // groups costs a software renderer milliseconds a frame.
    const GlState saved = GlState::save();
    glUseProgram(0);
    // Pixels straight, without the scenes' perspective: a software renderer draws an affine
    // textured quad on a much faster path.
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, mFrame.x, mFrame.y, 0.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDepthMask(GL_FALSE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);

    const float fade = overlayFade(seconds, length);
    if (fade > 0.0f) {
        glEnable(GL_TEXTURE_2D);
        if (mCover.id != 0) {
            glBindTexture(GL_TEXTURE_2D, mCover.id);
            glColor4f(1.0f, 1.0f, 1.0f, fade);
            drawQuad(mLayout.cover, true);
        }
        if (mText.id != 0) {
            glBindTexture(GL_TEXTURE_2D, mText.id);
            glColor4f(1.0f, 1.0f, 1.0f, fade);
            drawQuad(mLayout.title, true);
        }
        glBindTexture(GL_TEXTURE_2D, 0);
        glDisable(GL_TEXTURE_2D);
    }
    if (mProgress) {
        const float elapsed =
            length > 0.0 ? static_cast<float>(std::clamp(seconds / length, 0.0, 1.0)) : 0.0f;
        glColor4f(1.0f, 1.0f, 1.0f, 0.25f);
        drawQuad(mLayout.progress, false);
        glColor4f(1.0f, 1.0f, 1.0f, 0.9f);
        drawQuad({mLayout.progress.origin, Vec2f(mLayout.progress.size.x * elapsed, mLayout.progress.size.y)},
                 false);
    }
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    saved.restore();
}

} // namespace mirvo::render
