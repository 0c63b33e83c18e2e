#include "core/Matrix44.h"

#include <cmath>
#include <cstring>

namespace mirvo {

Matrix44f::Matrix44f()
{
    setToIdentity();
}

Matrix44f::Matrix44f(const float* columnMajor)
{
    std::memcpy(m, columnMajor, sizeof(m));
}

Matrix44f::Matrix44f(const Vec3f& column0, const Vec3f& column1, const Vec3f& column2)
{
    setToIdentity();
    const Vec3f* columns[3] = {&column0, &column1, &column2};
    for (int c = 0; c < 3; ++c) {
        for (int r = 0; r < 3; ++r) {
            at(r, c) = (*columns[c])[static_cast<std::size_t>(r)];
        }
    }
}

void Matrix44f::setToIdentity()
{
    for (int i = 0; i < 16; ++i) {
        m[i] = (i % 5 == 0) ? 1.f : 0.f;
    }
}

bool Matrix44f::operator==(const Matrix44f& other) const
{
    for (int i = 0; i < 16; ++i) {
        if (m[i] != other.m[i]) {
            return false;
        }
    }
    return true;
}

Matrix44f Matrix44f::operator*(const Matrix44f& rhs) const
{
    Matrix44f result;
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            float sum = 0.f;
            for (int k = 0; k < 4; ++k) {
                sum += at(r, k) * rhs.at(k, c);
            }
            result.at(r, c) = sum;
        }
    }
    return result;
}

Vec3f Matrix44f::transformPoint(const Vec3f& p) const
{
    Vec3f out{at(0, 0) * p.x + at(0, 1) * p.y + at(0, 2) * p.z + at(0, 3),
              at(1, 0) * p.x + at(1, 1) * p.y + at(1, 2) * p.z + at(1, 3),
              at(2, 0) * p.x + at(2, 1) * p.y + at(2, 2) * p.z + at(2, 3)};
    const float w = at(3, 0) * p.x + at(3, 1) * p.y + at(3, 2) * p.z + at(3, 3);
    if (w != 0.f && w != 1.f) {
        out /= w;
    }
    return out;
}

Vec3f Matrix44f::transformVec(const Vec3f& v) const
{
    return {at(0, 0) * v.x + at(0, 1) * v.y + at(0, 2) * v.z,
            at(1, 0) * v.x + at(1, 1) * v.y + at(1, 2) * v.z,
            at(2, 0) * v.x + at(2, 1) * v.y + at(2, 2) * v.z};
}

Matrix44f Matrix44f::transposed() const
{
    Matrix44f result;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            result.at(r, c) = at(c, r);
        }
    }
    return result;
}

namespace {

// Cofactor expansion of the 4x4 inverse (adjugate over determinant), column-major in and out.
void adjugate(const float* a, float* inv)
{
    inv[0] = a[5] * a[10] * a[15] - a[5] * a[11] * a[14] - a[9] * a[6] * a[15] + a[9] * a[7] * a[14] +
             a[13] * a[6] * a[11] - a[13] * a[7] * a[10];
    inv[4] = -a[4] * a[10] * a[15] + a[4] * a[11] * a[14] + a[8] * a[6] * a[15] - a[8] * a[7] * a[14] -
             a[12] * a[6] * a[11] + a[12] * a[7] * a[10];
    inv[8] = a[4] * a[9] * a[15] - a[4] * a[11] * a[13] - a[8] * a[5] * a[15] + a[8] * a[7] * a[13] +
             a[12] * a[5] * a[11] - a[12] * a[7] * a[9];
    inv[12] = -a[4] * a[9] * a[14] + a[4] * a[10] * a[13] + a[8] * a[5] * a[14] - a[8] * a[6] * a[13] -
              a[12] * a[5] * a[10] + a[12] * a[6] * a[9];
    inv[1] = -a[1] * a[10] * a[15] + a[1] * a[11] * a[14] + a[9] * a[2] * a[15] - a[9] * a[3] * a[14] -
             a[13] * a[2] * a[11] + a[13] * a[3] * a[10];
    inv[5] = a[0] * a[10] * a[15] - a[0] * a[11] * a[14] - a[8] * a[2] * a[15] + a[8] * a[3] * a[14] +
             a[12] * a[2] * a[11] - a[12] * a[3] * a[10];
    inv[9] = -a[0] * a[9] * a[15] + a[0] * a[11] * a[13] + a[8] * a[1] * a[15] - a[8] * a[3] * a[13] -
             a[12] * a[1] * a[11] + a[12] * a[3] * a[9];
    inv[13] = a[0] * a[9] * a[14] - a[0] * a[10] * a[13] - a[8] * a[1] * a[14] + a[8] * a[2] * a[13] +
              a[12] * a[1] * a[10] - a[12] * a[2] * a[9];
    inv[2] = a[1] * a[6] * a[15] - a[1] * a[7] * a[14] - a[5] * a[2] * a[15] + a[5] * a[3] * a[14] +
             a[13] * a[2] * a[7] - a[13] * a[3] * a[6];
    inv[6] = -a[0] * a[6] * a[15] + a[0] * a[7] * a[14] + a[4] * a[2] * a[15] - a[4] * a[3] * a[14] -
             a[12] * a[2] * a[7] + a[12] * a[3] * a[6];
    inv[10] = a[0] * a[5] * a[15] - a[0] * a[7] * a[13] - a[4] * a[1] * a[15] + a[4] * a[3] * a[13] +
              a[12] * a[1] * a[7] - a[12] * a[3] * a[5];
    inv[14] = -a[0] * a[5] * a[14] + a[0] * a[6] * a[13] + a[4] * a[1] * a[14] - a[4] * a[2] * a[13] -
              a[12] * a[1] * a[6] + a[12] * a[2] * a[5];
    inv[3] = -a[1] * a[6] * a[11] + a[1] * a[7] * a[10] + a[5] * a[2] * a[11] - a[5] * a[3] * a[10] -
             a[9] * a[2] * a[7] + a[9] * a[3] * a[6];
    inv[7] = a[0] * a[6] * a[11] - a[0] * a[7] * a[10] - a[4] * a[2] * a[11] + a[4] * a[3] * a[10] +
             a[8] * a[2] * a[7] - a[8] * a[3] * a[6];
    inv[11] = -a[0] * a[5] * a[11] + a[0] * a[7] * a[9] + a[4] * a[1] * a[11] - a[4] * a[3] * a[9] -
              a[8] * a[1] * a[7] + a[8] * a[3] * a[5];
    inv[15] = a[0] * a[5] * a[10] - a[0] * a[6] * a[9] - a[4] * a[1] * a[10] + a[4] * a[2] * a[9] +
              a[8] * a[1] * a[6] - a[8] * a[2] * a[5];
}

} // namespace

float Matrix44f::determinant() const
{
    float inv[16];
    adjugate(m, inv);
    return m[0] * inv[0] + m[1] * inv[4] + m[2] * inv[8] + m[3] * inv[12];
}

Matrix44f Matrix44f::inverted() const
{
    float inv[16];
    adjugate(m, inv);
    const float det = m[0] * inv[0] + m[1] * inv[4] + m[2] * inv[8] + m[3] * inv[12];
    if (det == 0.f || !std::isfinite(det)) {
        return Matrix44f();
    }
    const float invDet = 1.f / det;
    for (float& value : inv) {
        value *= invDet;
    }
    return Matrix44f(inv);
}

Matrix44f Matrix44f::createTranslation(const Vec3f& t)
{
    Matrix44f result;
    result.at(0, 3) = t.x;
    result.at(1, 3) = t.y;
    result.at(2, 3) = t.z;
    return result;
}

Matrix44f Matrix44f::createScale(const Vec3f& s)
{
    Matrix44f result;
    result.at(0, 0) = s.x;
    result.at(1, 1) = s.y;
    result.at(2, 2) = s.z;
    return result;
}

Matrix44f Matrix44f::createRotation(const Vec3f& axis, float radians)
{
    const Vec3f u = axis.normalized();
    const float c = std::cos(radians);
    const float s = std::sin(radians);
    const float t = 1.f - c;
    Matrix44f r;
    r.at(0, 0) = t * u.x * u.x + c;
    r.at(0, 1) = t * u.x * u.y - s * u.z;
    r.at(0, 2) = t * u.x * u.z + s * u.y;
    r.at(1, 0) = t * u.x * u.y + s * u.z;
    r.at(1, 1) = t * u.y * u.y + c;
    r.at(1, 2) = t * u.y * u.z - s * u.x;
    r.at(2, 0) = t * u.x * u.z - s * u.y;
    r.at(2, 1) = t * u.y * u.z + s * u.x;
    r.at(2, 2) = t * u.z * u.z + c;
    return r;
}

Matrix44f Matrix44f::createFrustum(float left, float right, float bottom, float top, float nearClip,
                                   float farClip)
{
    Matrix44f p;
    p.at(0, 0) = 2.f * nearClip / (right - left);
    p.at(0, 2) = (right + left) / (right - left);
    p.at(1, 1) = 2.f * nearClip / (top - bottom);
    p.at(1, 2) = (top + bottom) / (top - bottom);
    p.at(2, 2) = -(farClip + nearClip) / (farClip - nearClip);
    p.at(2, 3) = -2.f * farClip * nearClip / (farClip - nearClip);
    p.at(3, 2) = -1.f;
    p.at(3, 3) = 0.f;
    return p;
}

Matrix44f Matrix44f::alignZAxisWithTarget(Vec3f target, Vec3f up)
{
    if (target.lengthSquared() == 0.f) {
        target = Vec3f::zAxis();
    }
    if (up.lengthSquared() == 0.f) {
        up = Vec3f::yAxis();
    }
    if (up.cross(target).lengthSquared() == 0.f) {
        up = Vec3f(0.f, target.z, -target.y);
        if (up.lengthSquared() == 0.f) {
            up = Vec3f(target.y, -target.x, 0.f);
        }
    }
    const Vec3f x = up.cross(target).normalized();
    const Vec3f y = target.cross(x).normalized();
    const Vec3f z = target.normalized();
    return Matrix44f(x, y, z);
}

} // namespace mirvo
