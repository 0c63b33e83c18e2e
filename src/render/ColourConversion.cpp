#include "src/render/ColourConversion.h"

#include <cassert>
#include <cstddef>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace mirvo::render {

namespace {

// Fixed point with 16 fractional bits: exact enough that no 8-bit value comes out one off from
// the rounded real product.
constexpr int kShift = 16;
constexpr double kOne = 1 << kShift;
constexpr double kKr = 0.2126;
constexpr double kKb = 0.0722;
constexpr double kKg = 1.0 - kKr - kKb;
// Limited range: luma spans 219 steps from 16, chroma 224 around 128.
constexpr double kLumaScale = 219.0 / 255.0;
constexpr double kChromaScale = 224.0 / 255.0;

constexpr int fixed(double value)
{
    return static_cast<int>(value * kOne + (value < 0 ? -0.5 : 0.5));
}

constexpr int kYr = fixed(kKr * kLumaScale);
constexpr int kYg = fixed(kKg * kLumaScale);
constexpr int kYb = fixed(kKb * kLumaScale);
// Chroma from the sum of four pixels: a quarter of each coefficient.
constexpr int kUr = fixed(-kKr / (2.0 * (1.0 - kKb)) * kChromaScale / 4.0);
constexpr int kUg = fixed(-kKg / (2.0 * (1.0 - kKb)) * kChromaScale / 4.0);
constexpr int kUb = fixed(0.5 * kChromaScale / 4.0);
constexpr int kVr = fixed(0.5 * kChromaScale / 4.0);
constexpr int kVg = fixed(-kKg / (2.0 * (1.0 - kKr)) * kChromaScale / 4.0);
constexpr int kVb = fixed(-kKb / (2.0 * (1.0 - kKr)) * kChromaScale / 4.0);
constexpr int kRound = 1 << (kShift - 1);
constexpr int kLumaOffset = (16 << kShift) + kRound;
constexpr int kChromaOffset = (128 << kShift) + kRound;

inline std::uint8_t luma(const std::uint8_t* pixel)
{
    return static_cast<std::uint8_t>((kYr * pixel[0] + kYg * pixel[1] + kYb * pixel[2] + kLumaOffset) >>
                                     kShift);
}

// The pixels of the block row's `columns` from `column` on, the top row's from `top` and the
// bottom row's from `bottom`.
void convertColumns(const std::uint8_t* top, const std::uint8_t* bottom, std::uint8_t* yTop,
                    std::uint8_t* yBottom, std::uint8_t* u, std::uint8_t* v, int column, int columns)
{
    for (; column < columns; column += 2) {
        const std::uint8_t* a = top + column * 4;
        const std::uint8_t* b = bottom + column * 4;
        yTop[column] = luma(a);
        yTop[column + 1] = luma(a + 4);
        yBottom[column] = luma(b);
        yBottom[column + 1] = luma(b + 4);
        const int red = a[0] + a[4] + b[0] + b[4];
        const int green = a[1] + a[5] + b[1] + b[5];
        const int blue = a[2] + a[6] + b[2] + b[6];
        u[column / 2] =
            static_cast<std::uint8_t>((kUr * red + kUg * green + kUb * blue + kChromaOffset) >> kShift);
        v[column / 2] =
            static_cast<std::uint8_t>((kVr * red + kVg * green + kVb * blue + kChromaOffset) >> kShift);
    }
}

#if defined(__SSE2__)

// The same sums sixteen columns at a time, in the same integers, so that the two agree to the
// bit. Every 64-bit x86 has these instructions. The 16-bit multiply-adds take coefficients
// below 2^15; green's luma coefficient is not, so it is split into 2^15, applied as a shift,
// and the rest.
constexpr int kYgShift = 15;
constexpr int kYgRest = kYg - (1 << kYgShift);
static_assert(kYgRest >= 0 && kYgRest < (1 << 15),
              "green's luma coefficient must split into 2^15 and a rest");
constexpr int kColumnsAtOnce = 16;

// Lanes 0 and 1 of each pixel summed: four pixels, two in each of `low` and `high`, whose
// multiply-adds left two partial sums a pixel.
inline __m128i addPairs(__m128i low, __m128i high)
{
    const __m128 a = _mm_castsi128_ps(low);
    const __m128 b = _mm_castsi128_ps(high);
    return _mm_add_epi32(_mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0))),
                         _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))));
}

// The luma of four RGBA pixels, one in each 32-bit lane.
inline __m128i luma4(__m128i pixels)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i coefficients = _mm_setr_epi16(kYr, kYgRest, kYb, 0, kYr, kYgRest, kYb, 0);
    const __m128i sums = addPairs(_mm_madd_epi16(_mm_unpacklo_epi8(pixels, zero), coefficients),
                                  _mm_madd_epi16(_mm_unpackhi_epi8(pixels, zero), coefficients));
    const __m128i green = _mm_and_si128(_mm_srli_epi32(pixels, 8), _mm_set1_epi32(0xff));
    const __m128i total =
        _mm_add_epi32(_mm_add_epi32(sums, _mm_slli_epi32(green, kYgShift)), _mm_set1_epi32(kLumaOffset));
    return _mm_srai_epi32(total, kShift);
}

// Sixteen pixels' luma, from four vectors of four, into 16 bytes at `out`.
inline void storeLuma(const __m128i* pixels, std::uint8_t* out)
{
    const __m128i low = _mm_packs_epi32(luma4(pixels[0]), luma4(pixels[1]));
    const __m128i high = _mm_packs_epi32(luma4(pixels[2]), luma4(pixels[3]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(low, high));
}

// The RGBA sums of two 2x2 blocks, in 16-bit lanes, from four columns of a top and a bottom row.
inline __m128i blockSums(__m128i top, __m128i bottom)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i left = _mm_add_epi16(_mm_unpacklo_epi8(top, zero), _mm_unpacklo_epi8(bottom, zero));
    const __m128i right = _mm_add_epi16(_mm_unpackhi_epi8(top, zero), _mm_unpackhi_epi8(bottom, zero));
    return _mm_add_epi16(_mm_unpacklo_epi64(left, right), _mm_unpackhi_epi64(left, right));
}

// One chroma plane's eight samples from the sums of eight blocks, two a vector.
inline void storeChroma(const __m128i* blocks, __m128i coefficients, std::uint8_t* out)
{
    const __m128i offset = _mm_set1_epi32(kChromaOffset);
    const __m128i first = _mm_srai_epi32(_mm_add_epi32(addPairs(_mm_madd_epi16(blocks[0], coefficients),
                                                                _mm_madd_epi16(blocks[1], coefficients)),
                                                       offset),
                                         kShift);
    const __m128i second = _mm_srai_epi32(_mm_add_epi32(addPairs(_mm_madd_epi16(blocks[2], coefficients),
                                                                 _mm_madd_epi16(blocks[3], coefficients)),
                                                        offset),
                                          kShift);
    const __m128i words = _mm_packs_epi32(first, second);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(words, words));
}

// The whole runs of sixteen columns; returns where the rest starts.
int convertColumnsSse2(const std::uint8_t* top, const std::uint8_t* bottom, std::uint8_t* yTop,
                       std::uint8_t* yBottom, std::uint8_t* u, std::uint8_t* v, int columns)
{
    const __m128i uCoefficients = _mm_setr_epi16(kUr, kUg, kUb, 0, kUr, kUg, kUb, 0);
    const __m128i vCoefficients = _mm_setr_epi16(kVr, kVg, kVb, 0, kVr, kVg, kVb, 0);
    int column = 0;
    for (; column + kColumnsAtOnce <= columns; column += kColumnsAtOnce) {
        __m128i a[4];
        __m128i b[4];
        for (int i = 0; i < 4; ++i) {
            a[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + (column + 4 * i) * 4));
            b[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + (column + 4 * i) * 4));
        }
        storeLuma(a, yTop + column);
        storeLuma(b, yBottom + column);
        const __m128i blocks[4] = {blockSums(a[0], b[0]), blockSums(a[1], b[1]), blockSums(a[2], b[2]),
                                   blockSums(a[3], b[3])};
        storeChroma(blocks, uCoefficients, u + column / 2);
        storeChroma(blocks, vCoefficients, v + column / 2);
    }
    return column;
}

// The same again thirty-two columns at a time where the processor has AVX2: each 128-bit half
// of a register does what one SSE2 register does, and the results are put back in column order
// before they are stored.
constexpr int kColumnsAtOnceAvx2 = 32;

__attribute__((target("avx2"))) inline __m256i addPairs(__m256i low, __m256i high)
{
    const __m256 a = _mm256_castsi256_ps(low);
    const __m256 b = _mm256_castsi256_ps(high);
    return _mm256_add_epi32(_mm256_castps_si256(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0))),
                            _mm256_castps_si256(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))));
}

// The luma of eight RGBA pixels, in order, one in each 32-bit lane.
__attribute__((target("avx2"))) inline __m256i luma8(__m256i pixels)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i coefficients = _mm256_setr_epi16(kYr, kYgRest, kYb, 0, kYr, kYgRest, kYb, 0, kYr, kYgRest,
                                                   kYb, 0, kYr, kYgRest, kYb, 0);
    const __m256i sums = addPairs(_mm256_madd_epi16(_mm256_unpacklo_epi8(pixels, zero), coefficients),
                                  _mm256_madd_epi16(_mm256_unpackhi_epi8(pixels, zero), coefficients));
    const __m256i green = _mm256_and_si256(_mm256_srli_epi32(pixels, 8), _mm256_set1_epi32(0xff));
    const __m256i total = _mm256_add_epi32(_mm256_add_epi32(sums, _mm256_slli_epi32(green, kYgShift)),
                                           _mm256_set1_epi32(kLumaOffset));
    return _mm256_srai_epi32(total, kShift);
}

// Thirty-two pixels' luma, from four vectors of eight, into 32 bytes at `out`. The packs work
// within each half, which leaves runs of four pixels out of order.
__attribute__((target("avx2"))) inline void storeLuma(const __m256i* pixels, std::uint8_t* out)
{
    const __m256i low = _mm256_packs_epi32(luma8(pixels[0]), luma8(pixels[1]));
    const __m256i high = _mm256_packs_epi32(luma8(pixels[2]), luma8(pixels[3]));
    const __m256i bytes = _mm256_packus_epi16(low, high);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                        _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7)));
}

// The RGBA sums of four 2x2 blocks, in order, from eight columns of a top and a bottom row.
__attribute__((target("avx2"))) inline __m256i blockSums(__m256i top, __m256i bottom)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i left =
        _mm256_add_epi16(_mm256_unpacklo_epi8(top, zero), _mm256_unpacklo_epi8(bottom, zero));
    const __m256i right =
        _mm256_add_epi16(_mm256_unpackhi_epi8(top, zero), _mm256_unpackhi_epi8(bottom, zero));
    return _mm256_add_epi16(_mm256_unpacklo_epi64(left, right), _mm256_unpackhi_epi64(left, right));
}

// One chroma plane's sixteen samples from the sums of sixteen blocks, four a vector. Each half
// packs its own pairs of samples; interleaving the halves' pairs puts them in order.
__attribute__((target("avx2"))) inline void storeChroma(const __m256i* blocks, __m256i coefficients,
                                                        std::uint8_t* out)
{
    const __m256i offset = _mm256_set1_epi32(kChromaOffset);
    const __m256i first =
        _mm256_srai_epi32(_mm256_add_epi32(addPairs(_mm256_madd_epi16(blocks[0], coefficients),
                                                    _mm256_madd_epi16(blocks[1], coefficients)),
                                           offset),
                          kShift);
    const __m256i second =
        _mm256_srai_epi32(_mm256_add_epi32(addPairs(_mm256_madd_epi16(blocks[2], coefficients),
                                                    _mm256_madd_epi16(blocks[3], coefficients)),
                                           offset),
                          kShift);
    const __m256i words = _mm256_packs_epi32(first, second);
    const __m256i bytes = _mm256_packus_epi16(words, words);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_unpacklo_epi16(_mm256_castsi256_si128(bytes), _mm256_extracti128_si256(bytes, 1)));
}

__attribute__((target("avx2"))) int convertColumnsAvx2(const std::uint8_t* top, const std::uint8_t* bottom,
                                                       std::uint8_t* yTop, std::uint8_t* yBottom,
                                                       std::uint8_t* u, std::uint8_t* v, int columns)
{
    const __m256i uCoefficients =
        _mm256_setr_epi16(kUr, kUg, kUb, 0, kUr, kUg, kUb, 0, kUr, kUg, kUb, 0, kUr, kUg, kUb, 0);
    const __m256i vCoefficients =
        _mm256_setr_epi16(kVr, kVg, kVb, 0, kVr, kVg, kVb, 0, kVr, kVg, kVb, 0, kVr, kVg, kVb, 0);
    int column = 0;
    for (; column + kColumnsAtOnceAvx2 <= columns; column += kColumnsAtOnceAvx2) {
        __m256i a[4];
        __m256i b[4];
        for (int i = 0; i < 4; ++i) {
            a[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(top + (column + 8 * i) * 4));
            b[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bottom + (column + 8 * i) * 4));
        }
        storeLuma(a, yTop + column);
        storeLuma(b, yBottom + column);
        const __m256i blocks[4] = {blockSums(a[0], b[0]), blockSums(a[1], b[1]), blockSums(a[2], b[2]),
                                   blockSums(a[3], b[3])};
        storeChroma(blocks, uCoefficients, u + column / 2);
        storeChroma(blocks, vCoefficients, v + column / 2);
    }
    return column;
}

// The widest steps the processor has, then sixteen columns at a time; returns where the rest
// starts.
int convertColumnsAtOnce(const std::uint8_t* top, const std::uint8_t* bottom, std::uint8_t* yTop,
                         std::uint8_t* yBottom, std::uint8_t* u, std::uint8_t* v, int columns)
{
    static const bool avx2 = __builtin_cpu_supports("avx2");
    int column = avx2 ? convertColumnsAvx2(top, bottom, yTop, yBottom, u, v, columns) : 0;
    if (column + kColumnsAtOnce <= columns) {
        column += convertColumnsSse2(top + column * 4, bottom + column * 4, yTop + column, yBottom + column,
                                     u + column / 2, v + column / 2, columns - column);
    }
    return column;
}

#else

int convertColumnsAtOnce(const std::uint8_t*, const std::uint8_t*, std::uint8_t*, std::uint8_t*,
                         std::uint8_t*, std::uint8_t*, int)
{
    return 0;
}

#endif

} // namespace

void rgbaToYuv420(const std::uint8_t* rgba, int width, int height, const YuvPlanes& planes)
{
    assert(width % 2 == 0 && height % 2 == 0 && "4:2:0 needs even sides");
    const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(width) * 4;
    for (int row = 0; row < height; row += 2) {
        // The GL's rows start at the bottom.
        const std::uint8_t* top = rgba + (height - 1 - row) * rowBytes;
        const std::uint8_t* bottom = top - rowBytes;
        std::uint8_t* yTop = planes.y + static_cast<std::ptrdiff_t>(row) * planes.yStride;
        std::uint8_t* yBottom = yTop + planes.yStride;
        std::uint8_t* u = planes.u + static_cast<std::ptrdiff_t>(row / 2) * planes.uStride;
        std::uint8_t* v = planes.v + static_cast<std::ptrdiff_t>(row / 2) * planes.vStride;
        const int done = convertColumnsAtOnce(top, bottom, yTop, yBottom, u, v, width);
        convertColumns(top, bottom, yTop, yBottom, u, v, done, width);
    }
}

} // namespace mirvo::render
