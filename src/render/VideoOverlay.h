// What a video may show over its scenes, each only when asked for: the song's title and artist,
// its cover (in a corner or centred) and a bar of the elapsed share along the bottom. The title
// and cover fade in over the first second and out over the last. Everything is laid out inside
// the frame's safe area from the frame's own size, so it reads the same at 9:16, 1:1 and 16:9
// and is as sharp at 4K. Built before the render, drawn over each frame; the renderer's thread.
#pragma once

#include "core/Vec.h"
#include "gl/Font.h"
#include "src/render/Picture.h"

#include <optional>
#include <string>

namespace mirvo::render {

// A rectangle in frame pixels, y down.
struct Box {
    Vec2f origin{0.0f, 0.0f};
    Vec2f size{0.0f, 0.0f};
};

// Where each part goes in a frame of `frame` pixels; the sizes are what each part measures.
struct OverlayLayout {
    Box safeArea;
    Box cover;
    Box title;
    Box artist;
    Box progress;
};

// Sizes the layout scales with the frame: the cover's box, the text heights, the bar.
struct OverlayMetrics {
    int coverSide = 0;
    int titleHeight = 0;
    int artistHeight = 0;
    int gap = 0;
    int barHeight = 0;
    // The width the title and artist may take beside a cover in a corner, or without one.
    int textWidth = 0;
};

OverlayMetrics overlayMetrics(Vec2i frame, bool withCover, bool coverCentred);
OverlayLayout layOutOverlay(Vec2i frame, const OverlayMetrics& metrics, Vec2i cover, Vec2i title,
                            Vec2i artist, bool coverCentred);

// The opacity of the title and cover at `seconds` into a song `length` seconds long.
float overlayFade(double seconds, double length);

class VideoOverlay {
  public:
    VideoOverlay(Vec2i frame, bool coverCentred);
    ~VideoOverlay();
    VideoOverlay(const VideoOverlay&) = delete;
    VideoOverlay& operator=(const VideoOverlay&) = delete;

    // The box a cover is scaled to fit.
    Vec2i getCoverBox() const;
    // Sets the texts, in `font`; an empty artist draws no second line.
    void setTitle(gl::Font& font, const std::string& title, const std::string& artist);
    void setCover(const Picture& cover);
    void setProgressShown(bool shown) { mProgress = shown; }
    bool isEmpty() const { return !mProgress && mText.id == 0 && mCover.id == 0; }

    // Draws over the frame bound, `seconds` into a song `length` seconds long. Leaves the GL
    // state it found.
    void draw(double seconds, double length) const;

  private:
    struct Texture {
        unsigned id = 0;
        Vec2i size{0, 0};
    };
    void layOut();
    // RGBA, top row first.
    static Texture upload(Vec2i size, const void* pixels);

    Vec2i mFrame;
    bool mCoverCentred;
    bool mProgress = false;
    // The title and artist in one picture.
    Texture mText;
    Texture mCover;
    OverlayLayout mLayout;
};

} // namespace mirvo::render
