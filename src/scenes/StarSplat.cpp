// The star sum, eight pixels of a row at a time where the machine has SSE2.
#include "src/scenes/StarSplat.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif
#endif

namespace mirvo {

namespace {

constexpr std::uint32_t kOpaqueBlack = 0xFF000000u; // alpha in the fourth byte on little endian
constexpr float kCoreWhite = 0.6f;

#if !defined(__SSE2__)
std::uint32_t toUnorm8(float v)
{
    return static_cast<std::uint32_t>(std::lrint(std::min(v, 1.0f) * 255.0f));
}

// a * b / 255, rounded: how an 8-bit blend scales a colour by a cover.
std::uint32_t mulUnorm8(std::uint32_t a, std::uint32_t b)
{
    const std::uint32_t x = a * b + 128u;
    return (x + (x >> 8)) >> 8;
}
#endif

} // namespace

void StarSplat::begin(Vec2i size, Order order)
{
    mSize = Vec2i(std::max(0, size.x), std::max(0, size.y));
    mOrder = order;
    const std::size_t pixels = static_cast<std::size_t>(getRowLength()) * static_cast<std::size_t>(mSize.y);
    mRows.resize(pixels * 4);
    // The frame's own clear: black, opaque.
    auto* words = reinterpret_cast<std::uint32_t*>(mRows.data());
    std::fill(words, words + pixels, kOpaqueBlack);
}

std::uint32_t StarSplat::pixelAt(int x, int y) const
{
    std::uint32_t value = 0;
    std::memcpy(&value, mRows.data() + (static_cast<std::size_t>(y) * getRowLength() + x) * 4, 4);
    if (mOrder == Order::RGBA) {
        value = (value & 0xFF00FF00u) | ((value >> 16) & 0xFFu) | ((value & 0xFFu) << 16);
    }
    return value;
}

void StarSplat::add(float x, float y, float diameter, const Vec3f& color)
{
    const float radius = diameter * 0.5f;
    const float width = static_cast<float>(mSize.x);
    const float height = static_cast<float>(mSize.y);
    // Written so that a NaN anywhere adds nothing.
    if (!(radius > 0.0f && x > -radius && x < width + radius && y > -radius && y < height + radius)) {
        return;
    }
    const float radius2 = radius * radius;
    const float invRadius2 = 1.0f / radius2;
    // The rows whose pixel centres lie inside the circle, and in each the columns likewise.
    const int firstRow = std::max(0, static_cast<int>(std::ceil(y - radius - 0.5f)));
    const int lastRow = std::min(mSize.y - 1, static_cast<int>(std::floor(y + radius - 0.5f)));
    const std::size_t rowBytes = static_cast<std::size_t>(getRowLength()) * 4;
    // A row's pixels take the colour's x in their third byte and z in their first: blue first for
    // BGRA; for RGBA red and blue trade places.
    const Vec3f placed = mOrder == Order::BGRA ? color : Vec3f(color.z, color.y, color.x);
    for (int j = firstRow; j <= lastRow; ++j) {
        const float dy = static_cast<float>(j) + 0.5f - y;
        const float dy2 = dy * dy;
        const float room = radius2 - dy2;
        if (room <= 0.0f) {
            continue;
        }
        const float half = std::sqrt(room);
        const int first = std::max(0, static_cast<int>(std::ceil(x - half - 0.5f)));
        const int last = std::min(mSize.x - 1, static_cast<int>(std::floor(x + half - 0.5f)));
        if (first <= last) {
            addRow(mRows.data() + static_cast<std::size_t>(j) * rowBytes, first, last, dy2, x, invRadius2,
                   placed);
        }
    }
}

#if defined(__SSE2__)

namespace {

// Eight pixels' channels and cover, each rounded to 8 bits, as 16-bit lanes.
struct Group {
    __m128i r, g, b, a;
};

// Eight pixels of a row as they were before a star's group is added to them.
struct Pixels {
    __m128i* at;
    __m128i low, high;
};

inline Pixels loadGroup(std::uint8_t* row, int start)
{
    auto* at = reinterpret_cast<__m128i*>(row + static_cast<std::size_t>(start) * 4);
    return Pixels{at, _mm_loadu_si128(at), _mm_loadu_si128(at + 1)};
}

// Whether all eight pixels are white already: a saturating sum takes nothing more there, and where
// loud music piles stars up most of the frame is white early on.
inline bool isWhite(const Pixels& pixels)
{
    const __m128i white = _mm_set1_epi8(static_cast<char>(0xFF));
    return _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(pixels.low, pixels.high), white)) == 0xFFFF;
}

// Channel values times covers over 255, rounded: how an 8-bit blend scales a colour by a cover.
inline __m128i blend(__m128i c, __m128i a)
{
    const __m128i product = _mm_add_epi16(_mm_mullo_epi16(c, a), _mm_set1_epi16(128));
    return _mm_srli_epi16(_mm_add_epi16(product, _mm_srli_epi16(product, 8)), 8);
}

// Adds the group to the eight pixels, with saturation. The group's "red" goes to each pixel's third
// byte, its "blue" to the first.
inline void addGroup(const Pixels& pixels, const Group& group)
{
    const __m128i none = _mm_setzero_si128();
    const __m128i r = blend(group.r, group.a);
    const __m128i g = blend(group.g, group.a);
    const __m128i b = blend(group.b, group.a);
    const __m128i bg = _mm_packus_epi16(b, g);
    const __m128i bgPairs = _mm_unpacklo_epi8(bg, _mm_srli_si128(bg, 8));
    const __m128i rPairs = _mm_unpacklo_epi8(_mm_packus_epi16(r, none), none);
    _mm_storeu_si128(pixels.at, _mm_adds_epu8(pixels.low, _mm_unpacklo_epi16(bgPairs, rPairs)));
    _mm_storeu_si128(pixels.at + 1, _mm_adds_epu8(pixels.high, _mm_unpackhi_epi16(bgPairs, rPairs)));
}

// Four pixels whose centres lie dx across and dy2 (squared) up from the star's: the shader's products
// in the shader's order, then each channel and the cover rounded to 8 bits, as 32-bit lanes.
struct Quad {
    __m128i r, g, b, a;
};

inline Quad shade(__m128 dx, __m128 dy2, __m128 invRadius2, const __m128 (&color)[3])
{
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 unorm = _mm_set1_ps(255.0f);
    const __m128 d2 = _mm_add_ps(_mm_mul_ps(dx, dx), dy2);
    const __m128 t = _mm_max_ps(_mm_sub_ps(one, _mm_mul_ps(d2, invRadius2)), _mm_setzero_ps());
    const __m128 halo = _mm_mul_ps(t, t);
    const __m128 t4 = _mm_mul_ps(halo, halo);
    const __m128 t8 = _mm_mul_ps(t4, t4);
    const __m128 core = _mm_mul_ps(_mm_mul_ps(t8, t8), t8);
    const __m128 white = _mm_mul_ps(core, _mm_set1_ps(kCoreWhite));
    Quad quad{};
    __m128i* channels[3] = {&quad.r, &quad.g, &quad.b};
    for (int c = 0; c < 3; ++c) {
        *channels[c] = _mm_cvtps_epi32(
            _mm_mul_ps(_mm_min_ps(_mm_add_ps(_mm_mul_ps(color[c], halo), white), one), unorm));
    }
    quad.a = _mm_cvtps_epi32(_mm_mul_ps(_mm_min_ps(_mm_add_ps(halo, core), one), unorm));
    return quad;
}

void addRowSse2(std::uint8_t* row, int first, int last, float dy2, float x, float invRadius2,
                const Vec3f& color)
{
    const __m128 dy2s = _mm_set1_ps(dy2);
    const __m128 inv = _mm_set1_ps(invRadius2);
    const __m128 colors[3] = {_mm_set1_ps(color.x), _mm_set1_ps(color.y), _mm_set1_ps(color.z)};
    const __m128 centres = _mm_setr_ps(0.5f, 1.5f, 2.5f, 3.5f);
    // Groups that run past `last` (or past the image, into the padding) add nothing there: those
    // pixels lie outside the circle, so their cover is 0.
    for (int start = first; start <= last; start += 8) {
        const Pixels pixels = loadGroup(row, start);
        if (isWhite(pixels)) {
            continue;
        }
        const __m128 dx = _mm_add_ps(_mm_set1_ps(static_cast<float>(start) - x), centres);
        const Quad low = shade(dx, dy2s, inv, colors);
        const Quad high = shade(_mm_add_ps(dx, _mm_set1_ps(4.0f)), dy2s, inv, colors);
        addGroup(pixels, Group{_mm_packs_epi32(low.r, high.r), _mm_packs_epi32(low.g, high.g),
                               _mm_packs_epi32(low.b, high.b), _mm_packs_epi32(low.a, high.a)});
    }
}

#if defined(__x86_64__) || defined(__i386__)
#define MIRVO_STAR_SPLAT_AVX2 1

// Eight lanes of 32 bits to eight of 16.
__attribute__((target("avx2,fma"))) inline __m128i narrow(__m256i v)
{
    return _mm_packs_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
}

// The same row with eight pixels to an instruction, where the processor has AVX2 (fused
// multiply-adds round once where the shader's products may round twice: within a level).
__attribute__((target("avx2,fma"))) void addRowAvx2(std::uint8_t* row, int first, int last, float dy2,
                                                    float x, float invRadius2, const Vec3f& color)
{
    const __m256 one = _mm256_set1_ps(1.0f);
    const __m256 unorm = _mm256_set1_ps(255.0f);
    const __m256 zero = _mm256_setzero_ps();
    const __m256 coreWhite = _mm256_set1_ps(kCoreWhite);
    const __m256 dy2s = _mm256_set1_ps(dy2);
    const __m256 inv = _mm256_set1_ps(invRadius2);
    const __m256 red = _mm256_set1_ps(color.x);
    const __m256 green = _mm256_set1_ps(color.y);
    const __m256 blue = _mm256_set1_ps(color.z);
    const __m256 centres = _mm256_setr_ps(0.5f, 1.5f, 2.5f, 3.5f, 4.5f, 5.5f, 6.5f, 7.5f);
    for (int start = first; start <= last; start += 8) {
        const Pixels pixels = loadGroup(row, start);
        if (isWhite(pixels)) {
            continue;
        }
        const __m256 dx = _mm256_add_ps(_mm256_set1_ps(static_cast<float>(start) - x), centres);
        const __m256 d2 = _mm256_fmadd_ps(dx, dx, dy2s);
        const __m256 t = _mm256_max_ps(_mm256_fnmadd_ps(d2, inv, one), zero);
        const __m256 halo = _mm256_mul_ps(t, t);
        const __m256 t4 = _mm256_mul_ps(halo, halo);
        const __m256 t8 = _mm256_mul_ps(t4, t4);
        const __m256 core = _mm256_mul_ps(_mm256_mul_ps(t8, t8), t8);
        const __m256 white = _mm256_mul_ps(core, coreWhite);
        const __m256 r = _mm256_min_ps(_mm256_fmadd_ps(red, halo, white), one);
        const __m256 g = _mm256_min_ps(_mm256_fmadd_ps(green, halo, white), one);
        const __m256 b = _mm256_min_ps(_mm256_fmadd_ps(blue, halo, white), one);
        const __m256 a = _mm256_min_ps(_mm256_add_ps(halo, core), one);
        addGroup(pixels, Group{narrow(_mm256_cvtps_epi32(_mm256_mul_ps(r, unorm))),
                               narrow(_mm256_cvtps_epi32(_mm256_mul_ps(g, unorm))),
                               narrow(_mm256_cvtps_epi32(_mm256_mul_ps(b, unorm))),
                               narrow(_mm256_cvtps_epi32(_mm256_mul_ps(a, unorm)))});
    }
}
#endif

} // namespace

void StarSplat::addRow(std::uint8_t* row, int first, int last, float dy2, float x, float invRadius2,
                       const Vec3f& color)
{
#if defined(MIRVO_STAR_SPLAT_AVX2)
    static const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    if (avx2) {
        addRowAvx2(row, first, last, dy2, x, invRadius2, color);
        return;
    }
#endif
    addRowSse2(row, first, last, dy2, x, invRadius2, color);
}

#else

void StarSplat::addRow(std::uint8_t* row, int first, int last, float dy2, float x, float invRadius2,
                       const Vec3f& color)
{
    for (int i = first; i <= last; ++i) {
        const float dx = static_cast<float>(i) + 0.5f - x;
        const float t = std::max(1.0f - (dx * dx + dy2) * invRadius2, 0.0f);
        const float halo = t * t;
        const float t4 = halo * halo;
        const float t8 = t4 * t4;
        const float core = t8 * t8 * t8;
        const float white = core * kCoreWhite;
        const std::uint32_t a = toUnorm8(halo + core);
        const float channels[3] = {color.z, color.y, color.x}; // the first byte, the second, the third
        std::uint8_t* pixel = row + static_cast<std::size_t>(i) * 4;
        for (int c = 0; c < 3; ++c) {
            const std::uint32_t sum = pixel[c] + mulUnorm8(toUnorm8(channels[c] * halo + white), a);
            pixel[c] = static_cast<std::uint8_t>(std::min(sum, 255u));
        }
    }
}

#endif

} // namespace mirvo
