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
    for (const Texture* texture : {&mTitle, &mArtist, &mCover}) {
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
    mTitle = titleText.empty() ? Texture{} : upload(titleText.size, titleText.coverage.data(), true);
    mArtist = artistText.empty() ? Texture{} : upload(artistText.size, artistText.coverage.data(), true);
    layOut();
}

void VideoOverlay::setCover(const Picture& cover)
{
    mCover = upload(cover.size, cover.rgba.data(), false);
    layOut();
}

void VideoOverlay::layOut()
{
    const bool withCover = mCover.id != 0;
    mLayout = layOutOverlay(mFrame, overlayMetrics(mFrame, withCover, mCoverCentred), mCover.size,
                            mTitle.size, mArtist.size, mCoverCentred);
}

VideoOverlay::Texture VideoOverlay::upload(Vec2i size, const void* pixels, bool coverage)
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
    if (coverage) {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA8, size.x, size.y, 0, GL_ALPHA, GL_UNSIGNED_BYTE, pixels);
    } else {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, size.x, size.y, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_2D, 0);
    return texture;
}

void VideoOverlay::draw(double seconds, double length) const
{
    if (isEmpty()) {
        return;
    }
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_TEXTURE_BIT | GL_CURRENT_BIT | GL_DEPTH_BUFFER_BIT);
    glUseProgram(0);
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
        // A soft dark copy under the text keeps it legible on a bright scene.
        const float shadow = std::max(1.0f, std::round(static_cast<float>(mTitle.size.y) / 24.0f));
        for (const auto& [texture, box] :
             {std::pair{&mTitle, mLayout.title}, std::pair{&mArtist, mLayout.artist}}) {
            if (texture->id == 0) {
                continue;
            }
            glBindTexture(GL_TEXTURE_2D, texture->id);
            glColor4f(0.0f, 0.0f, 0.0f, 0.6f * fade);
            drawQuad({box.origin + Vec2f(shadow, shadow), box.size}, true);
            glColor4f(1.0f, 1.0f, 1.0f, fade);
            drawQuad(box, true);
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
    glPopAttrib();
}

} // namespace mirvo::render
