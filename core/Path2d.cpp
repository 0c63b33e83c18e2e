#include "core/Path2d.h"

#include <cassert>

namespace mirvo {

void Path2d::clear()
{
    mPoints.clear();
    mSegments.clear();
}

void Path2d::moveTo(const Vec2f& p)
{
    mPoints.push_back(p);
}

void Path2d::lineTo(const Vec2f& p)
{
    assert(!mPoints.empty() && "lineTo needs a current point: start the path with moveTo");
    if (mPoints.empty()) {
        // Without a start point there is nothing to draw a segment from; begin the path here.
        moveTo(p);
        return;
    }
    mPoints.push_back(p);
    mSegments.push_back(LINETO);
}

} // namespace mirvo
