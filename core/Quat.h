// Unit quaternion for orientations (the window camera's). Plain value; no thread rules.
#pragma once

#include "core/Matrix44.h"
#include "core/Vec.h"

namespace mirvo {

class Quatf {
  public:
    float w = 1.f;
    float x = 0.f;
    float y = 0.f;
    float z = 0.f;

    // Identity rotation.
    constexpr Quatf() = default;
    constexpr Quatf(float wValue, float xValue, float yValue, float zValue)
        : w(wValue), x(xValue), y(yValue), z(zValue)
    {
    }
    // Rotation by `radians` about `axis` (normalised here).
    Quatf(const Vec3f& axis, float radians);
    // The shortest rotation taking direction `from` onto direction `to`.
    Quatf(const Vec3f& from, const Vec3f& to);
    // The rotation held in the upper 3x3 of an orthonormal matrix.
    explicit Quatf(const Matrix44f& rotation);

    static constexpr Quatf identity() { return {}; }
    static Quatf fromAxisAngle(const Vec3f& axis, float radians) { return Quatf(axis, radians); }

    constexpr bool operator==(const Quatf&) const = default;

    // Composition: (a * b) rotates by b first, then by a.
    Quatf operator*(const Quatf& rhs) const;
    Quatf& operator*=(const Quatf& rhs) { return *this = *this * rhs; }
    // Rotates a vector.
    Vec3f operator*(const Vec3f& v) const;

    float dot(const Quatf& o) const { return w * o.w + x * o.x + y * o.y + z * o.z; }
    float lengthSquared() const { return dot(*this); }
    float length() const;
    // A zero quaternion becomes the identity instead of NaNs.
    void normalize();
    Quatf normalized() const;
    Quatf conjugate() const { return {w, -x, -y, -z}; }
    Quatf inverse() const;

    Vec3f getAxis() const;
    float getAngle() const;
    Matrix44f toMatrix44() const;
};

} // namespace mirvo
