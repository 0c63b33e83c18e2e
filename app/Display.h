// A screen the windows can be placed on: its bounds in points on the virtual desktop
// and its content scale. Displays are created and refreshed by the platform layer.
#pragma once

#include "core/Vec.h"

#include <memory>
#include <string>

namespace mirvo::app {

class Display;
using DisplayRef = std::shared_ptr<Display>;

class Display {
  public:
    Display(Vec2i pos, Vec2i size, float contentScale, void* native, std::string name)
        : mPos(pos), mSize(size), mContentScale(contentScale), mNative(native), mName(std::move(name))
    {
    }

    // Top-left corner on the virtual desktop, in points.
    Vec2i getPos() const { return mPos; }
    Vec2i getSize() const { return mSize; }
    int getWidth() const { return mSize.x; }
    int getHeight() const { return mSize.y; }
    float getContentScale() const { return mContentScale; }
    const std::string& getName() const { return mName; }
    // The platform's handle for the screen.
    void* getNative() const { return mNative; }

    bool contains(Vec2i point) const
    {
        return point.x >= mPos.x && point.y >= mPos.y && point.x < mPos.x + mSize.x &&
               point.y < mPos.y + mSize.y;
    }

    // The platform layer refreshes these when the screen's mode changes.
    void setBounds(Vec2i pos, Vec2i size)
    {
        mPos = pos;
        mSize = size;
    }

  private:
    Vec2i mPos;
    Vec2i mSize;
    float mContentScale;
    void* mNative;
    std::string mName;
};

} // namespace mirvo::app
