// RGB and RGBA colours of floats, nominally 0 to 1, and the HSV conversion the scenes
// use for their palettes. Plain values; no thread rules.
#pragma once

namespace mirvo {

struct Color {
    float r = 0.f;
    float g = 0.f;
    float b = 0.f;

    constexpr Color() = default;
    constexpr Color(float red, float green, float blue) : r(red), g(green), b(blue) {}

    float* ptr() { return &r; }
    const float* ptr() const { return &r; }

    constexpr Color operator+(const Color& o) const { return {r + o.r, g + o.g, b + o.b}; }
    constexpr Color operator-(const Color& o) const { return {r - o.r, g - o.g, b - o.b}; }
    constexpr Color operator*(const Color& o) const { return {r * o.r, g * o.g, b * o.b}; }
    constexpr Color operator*(float s) const { return {r * s, g * s, b * s}; }
    constexpr bool operator==(const Color&) const = default;

    static constexpr Color black() { return {0.f, 0.f, 0.f}; }
    static constexpr Color white() { return {1.f, 1.f, 1.f}; }
};

struct ColorA {
    float r = 0.f;
    float g = 0.f;
    float b = 0.f;
    float a = 1.f;

    constexpr ColorA() = default;
    constexpr ColorA(float red, float green, float blue, float alpha = 1.f)
        : r(red), g(green), b(blue), a(alpha)
    {
    }
    constexpr ColorA(const Color& rgb, float alpha = 1.f) : r(rgb.r), g(rgb.g), b(rgb.b), a(alpha) {}

    float* ptr() { return &r; }
    const float* ptr() const { return &r; }
    constexpr Color rgb() const { return {r, g, b}; }

    constexpr ColorA operator+(const ColorA& o) const { return {r + o.r, g + o.g, b + o.b, a + o.a}; }
    constexpr ColorA operator-(const ColorA& o) const { return {r - o.r, g - o.g, b - o.b, a - o.a}; }
    constexpr ColorA operator*(const ColorA& o) const { return {r * o.r, g * o.g, b * o.b, a * o.a}; }
    constexpr ColorA operator*(float s) const { return {r * s, g * s, b * s, a * s}; }
    constexpr bool operator==(const ColorA&) const = default;

    static constexpr ColorA black() { return {0.f, 0.f, 0.f, 1.f}; }
    static constexpr ColorA white() { return {1.f, 1.f, 1.f, 1.f}; }
};

// Six-sector HSV to RGB. A hue of exactly 1 is the same as 0; a hue outside [0, 1]
// (no sector 0 to 5) gives black rather than an out-of-range colour.
Color hsvToRgb(float h, float s, float v);

} // namespace mirvo
