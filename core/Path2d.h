// A 2-D path of float points made of straight segments: what the spectrum overlay builds each
// frame and draws as one line strip. Plain value, main thread.
#pragma once

#include "core/Vec.h"

#include <cstddef>
#include <vector>

namespace mirvo {

class Path2d {
  public:
    enum SegmentType { LINETO };

    void clear();
    // Appends a point without a segment.
    void moveTo(const Vec2f& p);
    void moveTo(float x, float y) { moveTo(Vec2f(x, y)); }
    // Appends a point and a straight segment to it from the previous point.
    void lineTo(const Vec2f& p);
    void lineTo(float x, float y) { lineTo(Vec2f(x, y)); }

    bool empty() const { return mPoints.empty(); }
    std::size_t getNumSegments() const { return mSegments.size(); }
    std::size_t getNumPoints() const { return mPoints.size(); }
    const std::vector<Vec2f>& getPoints() const { return mPoints; }
    const std::vector<SegmentType>& getSegments() const { return mSegments; }
    // The last point added; (0, 0) for an empty path.
    Vec2f getCurrentPoint() const { return mPoints.empty() ? Vec2f() : mPoints.back(); }

    // The points of the line strip that draws the path, in order. Straight segments need no
    // intermediate points, so this is every point of the path.
    std::vector<Vec2f> subdivide() const { return mPoints; }

  private:
    std::vector<Vec2f> mPoints;
    std::vector<SegmentType> mSegments;
};

} // namespace mirvo
