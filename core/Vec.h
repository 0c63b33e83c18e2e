// Small fixed-size vectors: window sizes and positions (Vec2i), drawing coordinates
// (Vec2f, Vec3f). Plain values with public components, copied freely, no thread rules.
#pragma once

#include <cmath>
#include <cstddef>

namespace mirvo {

template <typename T> struct Vec2 {
    T x = 0;
    T y = 0;

    constexpr Vec2() = default;
    constexpr Vec2(T xValue, T yValue) : x(xValue), y(yValue) {}
    template <typename U> constexpr explicit Vec2(const Vec2<U>& other) : x(T(other.x)), y(T(other.y)) {}

    T& operator[](std::size_t i) { return i == 0 ? x : y; }
    const T& operator[](std::size_t i) const { return i == 0 ? x : y; }
    T* ptr() { return &x; }
    const T* ptr() const { return &x; }

    constexpr Vec2 operator+(const Vec2& o) const { return {x + o.x, y + o.y}; }
    constexpr Vec2 operator-(const Vec2& o) const { return {x - o.x, y - o.y}; }
    constexpr Vec2 operator*(const Vec2& o) const { return {x * o.x, y * o.y}; }
    constexpr Vec2 operator/(const Vec2& o) const { return {x / o.x, y / o.y}; }
    constexpr Vec2 operator*(T s) const { return {x * s, y * s}; }
    constexpr Vec2 operator/(T s) const { return {x / s, y / s}; }
    constexpr Vec2 operator-() const { return {-x, -y}; }
    Vec2& operator+=(const Vec2& o) { return *this = *this + o; }
    Vec2& operator-=(const Vec2& o) { return *this = *this - o; }
    Vec2& operator*=(const Vec2& o) { return *this = *this * o; }
    Vec2& operator/=(const Vec2& o) { return *this = *this / o; }
    Vec2& operator*=(T s) { return *this = *this * s; }
    Vec2& operator/=(T s) { return *this = *this / s; }
    constexpr bool operator==(const Vec2&) const = default;

    constexpr T dot(const Vec2& o) const { return x * o.x + y * o.y; }
    // The z component of the 3-D cross product of the two vectors in the plane.
    constexpr T cross(const Vec2& o) const { return x * o.y - y * o.x; }
    constexpr T lengthSquared() const { return x * x + y * y; }
    auto length() const { return std::sqrt(lengthSquared()); }
    T distance(const Vec2& o) const { return T((*this - o).length()); }

    // A zero vector stays zero rather than turning into NaNs.
    void normalize()
    {
        const auto len = length();
        if (len > 0) {
            x = T(x / len);
            y = T(y / len);
        }
    }
    Vec2 normalized() const
    {
        Vec2 result = *this;
        result.normalize();
        return result;
    }
};

template <typename T> struct Vec3 {
    T x = 0;
    T y = 0;
    T z = 0;

    constexpr Vec3() = default;
    constexpr Vec3(T xValue, T yValue, T zValue) : x(xValue), y(yValue), z(zValue) {}
    constexpr Vec3(const Vec2<T>& xy, T zValue) : x(xy.x), y(xy.y), z(zValue) {}
    template <typename U>
    constexpr explicit Vec3(const Vec3<U>& other) : x(T(other.x)), y(T(other.y)), z(T(other.z))
    {
    }

    T& operator[](std::size_t i) { return i == 0 ? x : (i == 1 ? y : z); }
    const T& operator[](std::size_t i) const { return i == 0 ? x : (i == 1 ? y : z); }
    T* ptr() { return &x; }
    const T* ptr() const { return &x; }
    constexpr Vec2<T> xy() const { return {x, y}; }

    constexpr Vec3 operator+(const Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    constexpr Vec3 operator-(const Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    constexpr Vec3 operator*(const Vec3& o) const { return {x * o.x, y * o.y, z * o.z}; }
    constexpr Vec3 operator/(const Vec3& o) const { return {x / o.x, y / o.y, z / o.z}; }
    constexpr Vec3 operator*(T s) const { return {x * s, y * s, z * s}; }
    constexpr Vec3 operator/(T s) const { return {x / s, y / s, z / s}; }
    constexpr Vec3 operator-() const { return {-x, -y, -z}; }
    Vec3& operator+=(const Vec3& o) { return *this = *this + o; }
    Vec3& operator-=(const Vec3& o) { return *this = *this - o; }
    Vec3& operator*=(const Vec3& o) { return *this = *this * o; }
    Vec3& operator/=(const Vec3& o) { return *this = *this / o; }
    Vec3& operator*=(T s) { return *this = *this * s; }
    Vec3& operator/=(T s) { return *this = *this / s; }
    constexpr bool operator==(const Vec3&) const = default;

    constexpr T dot(const Vec3& o) const { return x * o.x + y * o.y + z * o.z; }
    constexpr Vec3 cross(const Vec3& o) const
    {
        return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x};
    }
    constexpr T lengthSquared() const { return x * x + y * y + z * z; }
    auto length() const { return std::sqrt(lengthSquared()); }
    T distance(const Vec3& o) const { return T((*this - o).length()); }

    // A zero vector stays zero rather than turning into NaNs.
    void normalize()
    {
        const auto len = length();
        if (len > 0) {
            x = T(x / len);
            y = T(y / len);
            z = T(z / len);
        }
    }
    Vec3 normalized() const
    {
        Vec3 result = *this;
        result.normalize();
        return result;
    }

    static constexpr Vec3 xAxis() { return {1, 0, 0}; }
    static constexpr Vec3 yAxis() { return {0, 1, 0}; }
    static constexpr Vec3 zAxis() { return {0, 0, 1}; }
};

template <typename T> constexpr Vec2<T> operator*(T s, const Vec2<T>& v)
{
    return v * s;
}
template <typename T> constexpr Vec3<T> operator*(T s, const Vec3<T>& v)
{
    return v * s;
}

template <typename T> constexpr T dot(const Vec2<T>& a, const Vec2<T>& b)
{
    return a.dot(b);
}
template <typename T> constexpr T dot(const Vec3<T>& a, const Vec3<T>& b)
{
    return a.dot(b);
}
template <typename T> constexpr Vec3<T> cross(const Vec3<T>& a, const Vec3<T>& b)
{
    return a.cross(b);
}

using Vec2i = Vec2<int>;
using Vec2f = Vec2<float>;
using Vec3f = Vec3<float>;

} // namespace mirvo
