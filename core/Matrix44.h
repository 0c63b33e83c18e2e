// 4x4 float matrix stored column-major, the layout glLoadMatrixf takes. Used by the window
// camera and the drawing helpers. Plain value; no thread rules.
#pragma once

#include "core/Vec.h"

namespace mirvo {

class Matrix44f {
  public:
    // Element (row r, column c) lives at m[c * 4 + r].
    float m[16];

    // Identity.
    Matrix44f();
    // Sixteen floats in column-major order.
    explicit Matrix44f(const float* columnMajor);
    // Rotation/basis from three columns, no translation, 1 in the corner.
    Matrix44f(const Vec3f& column0, const Vec3f& column1, const Vec3f& column2);

    float* data() { return m; }
    const float* data() const { return m; }
    float& at(int row, int column) { return m[column * 4 + row]; }
    float at(int row, int column) const { return m[column * 4 + row]; }

    void setToIdentity();
    bool operator==(const Matrix44f& other) const;

    Matrix44f operator*(const Matrix44f& rhs) const;
    Matrix44f& operator*=(const Matrix44f& rhs) { return *this = *this * rhs; }

    // Full transform of (p, 1), divided by w when w is neither 0 nor 1.
    Vec3f transformPoint(const Vec3f& p) const;
    // Upper 3x3 only: directions ignore translation.
    Vec3f transformVec(const Vec3f& v) const;

    Matrix44f transposed() const;
    // A singular matrix has no inverse; it yields the identity instead of infinities.
    Matrix44f inverted() const;
    void invert() { *this = inverted(); }
    float determinant() const;

    // Post-multiplying helpers, composing like glTranslatef/glScalef/glRotatef.
    void translate(const Vec3f& t) { *this *= createTranslation(t); }
    void scale(const Vec3f& s) { *this *= createScale(s); }
    void rotate(const Vec3f& axis, float radians) { *this *= createRotation(axis, radians); }

    static Matrix44f identity() { return Matrix44f(); }
    static Matrix44f createTranslation(const Vec3f& t);
    static Matrix44f createScale(const Vec3f& s);
    // Right-handed rotation about a (not necessarily unit) axis.
    static Matrix44f createRotation(const Vec3f& axis, float radians);
    // The standard OpenGL frustum projection.
    static Matrix44f createFrustum(float left, float right, float bottom, float top, float nearClip,
                                   float farClip);
    // A rotation whose z column points along `target`, with y as close to `up` as it can be.
    // Degenerate inputs fall back to sensible axes instead of producing NaNs.
    static Matrix44f alignZAxisWithTarget(Vec3f target, Vec3f up);
};

} // namespace mirvo
