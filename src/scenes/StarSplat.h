// Soft round stars added into an image on the CPU: the stars the sprite shader (stars.frag) draws,
// for a software renderer. Its rasterizer is general: a sprite costs it bins, plane equations and a
// shader run on every 4x4 block the square touches, several times what this loop spends on the
// pixels of the circle itself. The sum is the one the GL's additive blend makes into an 8-bit
// frame (each star's colour and cover rounded to 8 bits, multiplied, rounded again, added with
// saturation), so the picture is the GL's within a level of rounding. Plain value; one thread.
#pragma once

#include "core/Vec.h"

#include <cstdint>
#include <vector>

namespace mirvo {

class StarSplat {
  public:
    // Pixels past the last column of each row: a group of pixels that starts inside the image
    // never needs a tail of its own.
    static constexpr int kRowPadding = 8;

    // The order of a pixel's channels in memory: the picture is copied into a target cheaply only
    // in the target's own order.
    enum class Order { BGRA, RGBA };

    // Clears the image to opaque black at `size`.
    void begin(Vec2i size, Order order = Order::BGRA);
    // Adds one star centred at (x, y) in pixels from the image's bottom left corner, `diameter`
    // pixels across (the sprite's size), with the colour the vertex shader gives it (0..1).
    void add(float x, float y, float diameter, const Vec3f& color);

    Vec2i getSize() const { return mSize; }
    // 8 bits a channel in getOrder(), rows from the bottom, getRowLength() pixels from one row to
    // the next: what a texture upload takes with GL_UNPACK_ROW_LENGTH.
    const std::uint8_t* getPixels() const { return mRows.data(); }
    int getRowLength() const { return mSize.x + kRowPadding; }
    Order getOrder() const { return mOrder; }
    // The pixel at column x of row y (from the bottom), as 0xAARRGGBB.
    std::uint32_t pixelAt(int x, int y) const;

  private:
    void addRow(std::uint8_t* row, int first, int last, float dy2, float x, float invRadius2,
                const Vec3f& color);

    Vec2i mSize{0, 0};
    Order mOrder = Order::BGRA;
    std::vector<std::uint8_t> mRows;
};

} // namespace mirvo
