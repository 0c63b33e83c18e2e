// The triangles scene: band loudness spins each triangle and, through a smoothed follower,
// moves its base corners between a narrow and a wide form.
#include "src/scenes/Triangles.h"

#include "gl/Draw.h"
#include "gl/Gl.h"
#include "gl/SmoothTriangle.h"
#include "params/InterfaceGl.h"

namespace mirvo {

Triangles::Triangles(MonitorSpectralNodeRef monitor, std::vector<float>& spectrum)
    : Visualizer(std::move(monitor), spectrum), mNumTriangles(3),
      mNumColors(3), mColors{ColorA(1.0f, 0.0f, 0.0f, 1.0f), ColorA(0.0f, 1.0f, 0.0f, 1.0f),
                             ColorA(0.0f, 0.0f, 1.0f, 1.0f)}
{
    assignDefaults();
}

void Triangles::assignDefaults()
{
    mSize = 215.0f;
    mAngularVelocity = 8000.0f;
    mMinRatio = 0.75f;
    mMaxRatio = 1.8f;
    mRatioMorphSpeed = 7.0f;
}

void Triangles::setup()
{
    assignDefaults();
    if (mParams || !mWithPanels) {
        return;
    }
    mParams = params::InterfaceGl::create("Triangles", Vec2i(225, 200), ColorA(0.3f, 0.3f, 0.3f, 0.4f));
    mParams->addParam("Size", &mSize, false);
    mParams->addParam("Angular Velocity", &mAngularVelocity, false);
    mParams->addParam("Min Triangle Ratio", &mMinRatio, false);
    mParams->addParam("Max Triangle Ratio", &mMaxRatio, false);
    mParams->addParam("Ratio Morph Speed", &mRatioMorphSpeed, false);
}

void Triangles::activate()
{
    gl::enableAdditiveBlending();
    resetTriangles(mNumTriangles);
}

void Triangles::deactivate()
{
    gl::disableAlphaBlending();
}

void Triangles::resetTriangles(std::size_t count)
{
    mAngles.resize(count, 0.0f);
    mRatios.assign(count, 0.8f);
}

void Triangles::update(float dt)
{
    for (std::size_t i = 0; i < mAngles.size(); ++i) {
        float magnitude = 0.0f;
        switch (i % 3) {
        case 0:
            magnitude = avgMagnitudeInRange(mLowStart, mLowEnd);
            break;
        case 1:
            magnitude = avgMagnitudeInRange(mMidStart, mMidEnd);
            break;
        default:
            magnitude = avgMagnitudeInRange(mHighStart, mHighEnd);
            break;
        }
        mAngles[i] += mAngularVelocity * magnitude * dt;
        const float target = (mMaxRatio - mMinRatio) * magnitude + mMinRatio;
        mRatios[i] += (target - mRatios[i]) * (mRatioMorphSpeed * dt);
    }
}

void Triangles::draw()
{
    gl::scale(Vec3f(mSize, mSize, 1.0f));
    for (std::size_t i = 0; i < mAngles.size(); ++i) {
        const float r = mRatios[i];
        gl::pushModelView();
        gl::rotate(Vec3f(0.0f, 0.0f, mAngles[i]));
        const ColorA& color = mColors[i % mNumColors];
        glColor4f(color.r, color.g, color.b, color.a);
        if (mSmoothEdges) {
            mSmoothTriangle.draw(Vec2f(-r, -r), Vec2f(r, -r), Vec2f(0.0f, 1.0f));
        } else {
            gl::drawSolidTriangle(Vec2f(-r, -r), Vec2f(r, -r), Vec2f(0.0f, 1.0f));
        }
        gl::popModelView();
    }
}

} // namespace mirvo
