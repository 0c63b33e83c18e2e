// The galaxy scene: seeded star generation, the per-frame magnitude stream and the draw.
#include "src/scenes/Galaxy.h"

#include "core/Matrix44.h"
#include "core/Resources.h"
#include "gl/Draw.h"
#include "gl/Gl.h"
#include "gl/GlslProg.h"
#include "gl/SoftwareRenderer.h"
#include "gl/VboMesh.h"
#include "params/InterfaceGl.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <ctime>
#include <string>

namespace mirvo {

namespace {

constexpr uint32_t kSeed = 214;
constexpr std::size_t kMaxStars = 50000;
constexpr std::size_t kHueSlot = 0;
constexpr std::size_t kMagnitudeSlot = 1;
// What adding the stars up on the CPU may take of a frame, in seconds of this thread's time. Over
// it they are added at a smaller size and stretched up, which costs the software renderer a smooth
// pass over every pixel where the full size is a copy: worth it for loud music (50 ms a frame at
// full size), not for the start-up music (2-3 ms), which stays at full size.
constexpr float kCpuStarBudget = 0.006f;

// The text of a shader resource. The program builder skips an empty source, which would leave
// the stars to the fixed-function pipeline without a word; at start-up that is a broken
// installation like a shader that does not compile.
DataSourceRef loadShaderSource(const std::string& name)
{
    DataSourcePathRef source = app::loadResource(name);
    const Buffer text = source->getBuffer();
    const auto* begin = static_cast<const char*>(text.getData());
    const bool blank = std::all_of(begin, begin + text.getDataSize(),
                                   [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; });
    if (blank) {
        throw Exception("the shader '" + source->getFilePath().string() + "' is empty");
    }
    return source;
}

// The vertex shader's colour: hue, saturation and value to RGB.
Vec3f shaderColor(float h, float s, float v)
{
    const auto k = [h](float offset) {
        return std::clamp(std::abs(std::fmod(h * 6.0f + offset, 6.0f) - 3.0f) - 1.0f, 0.0f, 1.0f);
    };
    const auto channel = [s, v](float c) { return v * (1.0f + (c - 1.0f) * s); };
    return Vec3f(channel(k(0.0f)), channel(k(4.0f)), channel(k(2.0f)));
}

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

float mix(float a, float b, float t)
{
    return a + (b - a) * t;
}

} // namespace

Galaxy::Galaxy(MonitorSpectralNodeRef monitor, std::vector<float>& spectrum)
    : Visualizer(std::move(monitor), spectrum), mMaxStars(kMaxStars), mRand(kSeed),
      mRotation(0.0f, 0.0f, 0.0f)
{
    assignDefaults();
}

void Galaxy::assignDefaults()
{
    mStarCount = 10000;
    mMinGalaxyRadius = 200.0f;
    mMaxGalaxyRadius = 15000.0f;
    mMinStarRadius = 5.0f;
    mMaxStarRadius = 75.0f;
    mMinSaturation = 0.0f;
    mMaxSaturation = 0.8f;
    mMinBrightness = 0.25f;
    mMaxBrightness = 0.7f;
    mAngularVelocity = 10.0f;
}

void Galaxy::setup()
{
    const DataSourceRef vertex = loadShaderSource("stars.vert");
    const DataSourceRef fragment = loadShaderSource("stars.frag");
    mShader = gl::GlslProg::create(vertex, fragment);
    assignDefaults();
    if (!mWithPanels) {
        mScale.setFullSizeOnly();
    }
    mScale.setFollowing(mAdaptiveScaleAllowed);

    if (!mParams && mWithPanels) {
        mParams = params::InterfaceGl::create("Stars", Vec2i(225, 200), ColorA(0.3f, 0.3f, 0.3f, 0.4f));
        mParams->addParam("Star Count", &mStarCount, "min=1 max=" + std::to_string(mMaxStars) + " step=1000",
                          false);
        mParams->addParam("Min Galaxy Radius", &mMinGalaxyRadius, "min=10.0 max=100000.0 step=50.0", false);
        mParams->addParam("Max Galaxy Radius", &mMaxGalaxyRadius, "min=10.0 max=100000.0 step=50.0", false);
        mParams->addParam("Minimum Radius", &mMinStarRadius,
                          "min=1.0 max=1000.0 step=1.0 keyIncr=q keyDecr=a", false);
        mParams->addParam("Maximum Radius", &mMaxStarRadius,
                          "min=1.0 max=1000.0 step=1.0 keyIncr=w keyDecr=s", false);
        mParams->addParam("Minimum Saturation", &mMinSaturation,
                          "min=0.0 max=1.0 step=0.05 keyIncr=i keyDecr=k", false);
        mParams->addParam("Maximum Saturation", &mMaxSaturation,
                          "min=0.0 max=1.0 step=0.05 keyIncr=o keyDecr=l", false);
        mParams->addParam("Minimum Brightness", &mMinBrightness,
                          "min=0.0 max=1.0 step=0.05 keyIncr=z keyDecr=h", false);
        mParams->addParam("Maximum Brightness", &mMaxBrightness,
                          "min=0.0 max=1.0 step=0.05 keyIncr=u keyDecr=j", false);
        mParams->addParam("Angular Velcity", &mAngularVelocity, "min=0.0 max=100.0 step=0.05", false);
    }

    buildMesh();
    mStarsOnCpu = gl::isSoftwareRenderer();
    std::array<GLfloat, 2> pointSizes{1.0f, 1.0f};
    glGetFloatv(GL_ALIASED_POINT_SIZE_RANGE, pointSizes.data());
    mMinPointSize = pointSizes[0];
    mMaxPointSize = std::max(pointSizes[0], pointSizes[1]);
}

void Galaxy::buildMesh()
{
    gl::VboMesh::Layout layout;
    layout.setStaticIndices();
    layout.setStaticPositions();
    layout.addDynamicCustomFloat();
    layout.addDynamicCustomFloat();
    mMesh = gl::VboMesh::create(mMaxStars, mMaxStars, layout, GL_POINTS);

    std::vector<uint32_t> indices(mMaxStars);
    for (std::size_t i = 0; i < mMaxStars; ++i) {
        indices[i] = static_cast<uint32_t>(i);
    }

    mShader->bind();
    mMesh->setCustomDynamicLocation(kHueSlot, mShader->getAttribLocation("a_hue"));
    mMesh->setCustomDynamicLocation(kMagnitudeSlot, mShader->getAttribLocation("a_magnitude"));
    gl::GlslProg::unbind();

    mMesh->bufferIndices(indices);

    const std::size_t spectrumSize = mSpectrum->size();
    gl::VboMesh::VertexIter iter = mMesh->mapVertexBuffer();
    mPositions = generateStarPositions(mRand, mMaxStars);
    for (std::size_t i = 0; i < mMaxStars; ++i) {
        // The magnitude is written too: every mapping discards the buffer, and the first
        // frame should not read undefined values.
        iter.setCustomFloat(kHueSlot, starHue(i, spectrumSize));
        iter.setCustomFloat(kMagnitudeSlot, 0.0f);
        ++iter;
    }
    mMesh->bufferPositions(mPositions);
}

std::vector<Vec3f> Galaxy::generateStarPositions(Rand& rand, std::size_t count)
{
    std::vector<Vec3f> positions;
    positions.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const Vec3f direction = rand.randVec3f();
        const float u1 = rand.nextFloat();
        const float u2 = rand.nextFloat();
        positions.push_back(((direction * u1) * u2) * 0.25f);
    }
    return positions;
}

float Galaxy::starHue(std::size_t index, std::size_t spectrumSize)
{
    if (spectrumSize == 0) {
        return 0.0f;
    }
    return static_cast<float>(index % spectrumSize) / static_cast<float>(spectrumSize);
}

void Galaxy::activate()
{
    glEnable(GL_VERTEX_PROGRAM_POINT_SIZE);
    glEnable(GL_POINT_SPRITE);
    gl::enableAdditiveBlending();
}

void Galaxy::deactivate()
{
    glDisable(GL_VERTEX_PROGRAM_POINT_SIZE);
    glDisable(GL_POINT_SPRITE);
    glDisable(GL_BLEND);
}

void Galaxy::update(float dt)
{
    const float low = avgMagnitudeInRange(mLowStart, mLowEnd);
    const float step = (low + dt) * mAngularVelocity;
    mRotation.y += step;
    mRotation.x += step * 0.2f;
    if (mStarsOnCpu) {
        mScale.followCost(dt, mSplatSeconds, kCpuStarBudget);
    } else {
        mScale.follow(dt);
    }
}

std::size_t Galaxy::drawnStars() const
{
    // The panel bounds the count to 1..mMaxStars; clamp anyway so a bad value cannot read past
    // the buffer.
    return static_cast<std::size_t>(std::clamp<int32_t>(mStarCount, 0, static_cast<int32_t>(mMaxStars)));
}

void Galaxy::updateMeshMagnitudes()
{
    const std::vector<float>& spectrum = *mSpectrum;
    if (spectrum.empty()) {
        return;
    }
    const std::size_t n = spectrum.size();
    // Only the stars drawn: the mapping discards the buffer, and the rest are not read.
    const std::size_t count = drawnStars();
    gl::VboMesh::VertexIter iter = mMesh->mapVertexBuffer();
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t bin = i % n;
        iter.setCustomFloat(kHueSlot, starHue(bin, n));
        iter.setCustomFloat(kMagnitudeSlot, spectrum[bin]);
        ++iter;
    }
}

void Galaxy::draw()
{
    if (mStarsOnCpu) {
        drawOnCpu();
    } else {
        drawSprites();
    }
}

void Galaxy::drawSprites()
{
    updateMeshMagnitudes();
    // Cleared to the frame's own colour, so that the scaled-up copy is the frame the stars
    // would have been added to.
    mScale.begin(true);
    if (!mScale.drawsToTarget()) {
        // Drawn straight into the frame: the clear the controller left to this scene.
        gl::clear(ColorA(0.0f, 0.0f, 0.0f, 1.0f), true);
    }
    // A star's radius is in pixels of what it is drawn into.
    const float share = mScale.getDrawnShare();

    gl::pushModelView();
    const float scale = (mMinGalaxyRadius + mMaxGalaxyRadius) * 0.5f;
    gl::scale(Vec3f(scale, scale, scale));
    gl::rotate(mRotation);

    mShader->bind();
    mShader->uniform("u_minStarRadius", mMinStarRadius * share);
    mShader->uniform("u_maxStarRadius", mMaxStarRadius * share);
    mShader->uniform("u_minStarColorSaturation", mMinSaturation);
    mShader->uniform("u_maxStarColorSaturation", mMaxSaturation);
    mShader->uniform("u_minStarColorValue", mMinBrightness);
    mShader->uniform("u_maxStarColorValue", mMaxBrightness);

    mMesh->bindAllData();
    gl::drawArrays(mMesh, 0, static_cast<int32_t>(drawnStars()));

    gl::GlslProg::unbind();
    gl::popModelView();
    mScale.end();
}

void Galaxy::drawOnCpu()
{
    const std::vector<float>& spectrum = *mSpectrum;
    std::array<GLint, 4> viewport{};
    glGetIntegerv(GL_VIEWPORT, viewport.data());
    const Vec2i view(viewport[2], viewport[3]);
    const Vec2i size = mScale.scaledSize(view);
    const float share = static_cast<float>(size.x) / static_cast<float>(std::max(1, view.x));

    // The sprites' own transform, taken from the GL as the vertex shader would see it.
    gl::pushModelView();
    const float scale = (mMinGalaxyRadius + mMaxGalaxyRadius) * 0.5f;
    gl::scale(Vec3f(scale, scale, scale));
    gl::rotate(mRotation);
    Matrix44f modelView;
    Matrix44f projection;
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView.data());
    glGetFloatv(GL_PROJECTION_MATRIX, projection.data());
    gl::popModelView();
    const Matrix44f transform = projection * modelView;

    const std::size_t bins = spectrum.size();
    mBinDiameters.resize(bins);
    mBinColors.resize(bins);
    for (std::size_t bin = 0; bin < bins; ++bin) {
        const float magnitude = std::clamp(spectrum[bin], 0.0f, 1.0f);
        mBinDiameters[bin] = std::clamp(mix(mMinStarRadius * share, mMaxStarRadius * share, magnitude),
                                        mMinPointSize, mMaxPointSize);
        mBinColors[bin] = shaderColor(starHue(bin, bins), mix(mMinSaturation, mMaxSaturation, magnitude),
                                      mix(mMinBrightness, mMaxBrightness, magnitude));
    }

    // A window's pixels are BGRA on this desktop; the program's own targets (a video's frames)
    // are RGBA. In the target's own order the picture is copied in; in another, a software
    // renderer runs a shader over every pixel, which cost more than the stars (4.7 ms a frame).
    GLint target = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &target);
    const StarSplat::Order order = target == 0 ? StarSplat::Order::BGRA : StarSplat::Order::RGBA;
    // The thread's own CPU time: the software renderer's threads still copying the last frame
    // take turns with this one, and the wall clock would count their time as the stars'.
    const double start = threadCpuSeconds();
    mSplat.begin(size, order);
    const std::size_t count = bins == 0 ? 0 : drawnStars();
    const float* m = transform.data();
    const float halfWidth = static_cast<float>(size.x) * 0.5f;
    const float halfHeight = static_cast<float>(size.y) * 0.5f;
    for (std::size_t i = 0; i < count; ++i) {
        const Vec3f& p = mPositions[i];
        const float x = m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12];
        const float y = m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13];
        const float z = m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14];
        const float w = m[3] * p.x + m[7] * p.y + m[11] * p.z + m[15];
        // A point is drawn whole or not at all, as its centre lies inside the view volume or not.
        if (!(std::abs(x) <= w && std::abs(y) <= w && std::abs(z) <= w)) {
            continue;
        }
        const std::size_t bin = i % bins;
        mSplat.add((x / w + 1.0f) * halfWidth, (y / w + 1.0f) * halfHeight, mBinDiameters[bin],
                   mBinColors[bin]);
    }
    mSplatSeconds = static_cast<float>(threadCpuSeconds() - start);
    mImage.show(mSplat.getPixels(), order == StarSplat::Order::BGRA ? GL_BGRA : GL_RGBA, size,
                mSplat.getRowLength());
}

} // namespace mirvo
