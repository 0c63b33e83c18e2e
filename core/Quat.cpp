#include "core/Quat.h"

#include <algorithm>
#include <cmath>

namespace mirvo {

Quatf::Quatf(const Vec3f& axis, float radians)
{
    const Vec3f unit = axis.normalized();
    const float half = radians * 0.5f;
    const float s = std::sin(half);
    w = std::cos(half);
    x = unit.x * s;
    y = unit.y * s;
    z = unit.z * s;
}

Quatf::Quatf(const Vec3f& from, const Vec3f& to)
{
    const Vec3f a = from.normalized();
    const Vec3f b = to.normalized();
    const float cosine = a.dot(b);
    if (cosine < -1.f + 1e-6f) {
        // Opposite directions: any axis perpendicular to `a` will do.
        Vec3f axis = Vec3f::xAxis().cross(a);
        if (axis.lengthSquared() < 1e-12f) {
            axis = Vec3f::yAxis().cross(a);
        }
        *this = Quatf(axis, 3.14159265f);
        return;
    }
    const Vec3f axis = a.cross(b);
    w = 1.f + cosine;
    x = axis.x;
    y = axis.y;
    z = axis.z;
    normalize();
}

Quatf::Quatf(const Matrix44f& r)
{
    const float trace = r.at(0, 0) + r.at(1, 1) + r.at(2, 2);
    if (trace > 0.f) {
        const float s = std::sqrt(trace + 1.f) * 2.f;
        w = 0.25f * s;
        x = (r.at(2, 1) - r.at(1, 2)) / s;
        y = (r.at(0, 2) - r.at(2, 0)) / s;
        z = (r.at(1, 0) - r.at(0, 1)) / s;
    } else if (r.at(0, 0) > r.at(1, 1) && r.at(0, 0) > r.at(2, 2)) {
        const float s = std::sqrt(1.f + r.at(0, 0) - r.at(1, 1) - r.at(2, 2)) * 2.f;
        w = (r.at(2, 1) - r.at(1, 2)) / s;
        x = 0.25f * s;
        y = (r.at(0, 1) + r.at(1, 0)) / s;
        z = (r.at(0, 2) + r.at(2, 0)) / s;
    } else if (r.at(1, 1) > r.at(2, 2)) {
        const float s = std::sqrt(1.f + r.at(1, 1) - r.at(0, 0) - r.at(2, 2)) * 2.f;
        w = (r.at(0, 2) - r.at(2, 0)) / s;
        x = (r.at(0, 1) + r.at(1, 0)) / s;
        y = 0.25f * s;
        z = (r.at(1, 2) + r.at(2, 1)) / s;
    } else {
        const float s = std::sqrt(1.f + r.at(2, 2) - r.at(0, 0) - r.at(1, 1)) * 2.f;
        w = (r.at(1, 0) - r.at(0, 1)) / s;
        x = (r.at(0, 2) + r.at(2, 0)) / s;
        y = (r.at(1, 2) + r.at(2, 1)) / s;
        z = 0.25f * s;
    }
}

Quatf Quatf::operator*(const Quatf& q) const
{
    return {w * q.w - x * q.x - y * q.y - z * q.z, w * q.x + x * q.w + y * q.z - z * q.y,
            w * q.y - x * q.z + y * q.w + z * q.x, w * q.z + x * q.y - y * q.x + z * q.w};
}

Vec3f Quatf::operator*(const Vec3f& v) const
{
    // v' = v + 2w (u x v) + 2 u x (u x v), with u the vector part.
    const Vec3f u{x, y, z};
    const Vec3f uv = u.cross(v);
    const Vec3f uuv = u.cross(uv);
    return v + uv * (2.f * w) + uuv * 2.f;
}

float Quatf::length() const
{
    return std::sqrt(lengthSquared());
}

void Quatf::normalize()
{
    const float len = length();
    if (len > 0.f) {
        w /= len;
        x /= len;
        y /= len;
        z /= len;
    } else {
        *this = Quatf();
    }
}

Quatf Quatf::normalized() const
{
    Quatf result = *this;
    result.normalize();
    return result;
}

Quatf Quatf::inverse() const
{
    const float lenSq = lengthSquared();
    if (lenSq == 0.f) {
        return Quatf();
    }
    const Quatf c = conjugate();
    return {c.w / lenSq, c.x / lenSq, c.y / lenSq, c.z / lenSq};
}

Vec3f Quatf::getAxis() const
{
    const Vec3f axis{x, y, z};
    return axis.lengthSquared() > 0.f ? axis.normalized() : Vec3f::xAxis();
}

float Quatf::getAngle() const
{
    return 2.f * std::acos(std::clamp(w / std::max(length(), 1e-30f), -1.f, 1.f));
}

Matrix44f Quatf::toMatrix44() const
{
    Matrix44f r;
    r.at(0, 0) = 1.f - 2.f * (y * y + z * z);
    r.at(0, 1) = 2.f * (x * y - w * z);
    r.at(0, 2) = 2.f * (x * z + w * y);
    r.at(1, 0) = 2.f * (x * y + w * z);
    r.at(1, 1) = 1.f - 2.f * (x * x + z * z);
    r.at(1, 2) = 2.f * (y * z - w * x);
    r.at(2, 0) = 2.f * (x * z - w * y);
    r.at(2, 1) = 2.f * (y * z + w * x);
    r.at(2, 2) = 1.f - 2.f * (x * x + y * y);
    return r;
}

} // namespace mirvo
