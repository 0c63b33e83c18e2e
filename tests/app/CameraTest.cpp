// The window camera's arithmetic and the default window transform built from it: one
// unit per point, origin at the top-left corner, y downward.
#include "app/Camera.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace mirvo;

namespace {

constexpr float kMatrixTolerance = 1e-4f;
constexpr double kPi = 3.14159265358979323846;

// Projection * model-view * the flip the default resize appends, as the GL matrix
// stack composes them.
Matrix44f defaultWindowTransform(const CameraPersp& camera, int height)
{
    Matrix44f flip = Matrix44f::createScale(Vec3f(1.0f, -1.0f, 1.0f));
    flip *= Matrix44f::createTranslation(Vec3f(0.0f, -float(height), 0.0f));
    return camera.getProjectionMatrix() * camera.getModelViewMatrix() * flip;
}

// Normalised device coordinates of a point.
Vec3f project(const Matrix44f& m, const Vec3f& p)
{
    const float x = m.at(0, 0) * p.x + m.at(0, 1) * p.y + m.at(0, 2) * p.z + m.at(0, 3);
    const float y = m.at(1, 0) * p.x + m.at(1, 1) * p.y + m.at(1, 2) * p.z + m.at(1, 3);
    const float z = m.at(2, 0) * p.x + m.at(2, 1) * p.y + m.at(2, 2) * p.z + m.at(2, 3);
    const float w = m.at(3, 0) * p.x + m.at(3, 1) * p.y + m.at(3, 2) * p.z + m.at(3, 3);
    return {x / w, y / w, z / w};
}

} // namespace

TEST(CameraPersp, PlacesTheEyeForA1024By768Window)
{
    const CameraPersp camera(1024, 768, 60.0f);
    const double distance = 384.0 / std::tan(30.0 * kPi / 180.0);
    EXPECT_NEAR(camera.getEyePoint().z, distance, 0.01);
    EXPECT_NEAR(camera.getEyePoint().z, 665.1, 0.05);
    EXPECT_FLOAT_EQ(camera.getEyePoint().x, 512.0f);
    EXPECT_FLOAT_EQ(camera.getEyePoint().y, 384.0f);
    EXPECT_NEAR(camera.getNearClip(), 66.51, 0.01);
    EXPECT_NEAR(camera.getFarClip(), 6651.0, 1.0);
    EXPECT_NEAR(camera.getAspectRatio(), 1.3333, 1e-4);
    EXPECT_FLOAT_EQ(camera.getFov(), 60.0f);
    EXPECT_NEAR(camera.getViewDirection().z, -1.0f, 1e-6f);
}

TEST(CameraPersp, BuildsTheStandardFrustumFromTheNearPlane)
{
    const CameraPersp camera(1024, 768, 60.0f);
    const Matrix44f& p = camera.getProjectionMatrix();
    const float n = camera.getNearClip();
    const float f = camera.getFarClip();
    const float top = n * std::tan(60.0f * 0.008726646f);
    const float right = top * camera.getAspectRatio();
    EXPECT_NEAR(p.at(0, 0), 2.0f * n / (2.0f * right), kMatrixTolerance);
    EXPECT_NEAR(p.at(1, 1), 2.0f * n / (2.0f * top), kMatrixTolerance);
    EXPECT_NEAR(p.at(0, 2), 0.0f, kMatrixTolerance);
    EXPECT_NEAR(p.at(2, 2), -(f + n) / (f - n), kMatrixTolerance);
    EXPECT_NEAR(p.at(2, 3), -2.0f * f * n / (f - n), 1e-2f);
    EXPECT_FLOAT_EQ(p.at(3, 2), -1.0f);
    EXPECT_FLOAT_EQ(p.at(3, 3), 0.0f);

    const Matrix44f identity = p * camera.getInverseProjectionMatrix();
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            EXPECT_NEAR(identity.at(row, column), row == column ? 1.0f : 0.0f, kMatrixTolerance);
        }
    }
}

TEST(CameraPersp, ModelViewLooksDownTheZAxisFromTheEye)
{
    const CameraPersp camera(640, 480, 60.0f);
    const Matrix44f& mv = camera.getModelViewMatrix();
    // The eye goes to the origin, the picture plane's centre straight ahead of it.
    const Vec3f eye = mv.transformPoint(camera.getEyePoint());
    EXPECT_NEAR(eye.x, 0.0f, kMatrixTolerance);
    EXPECT_NEAR(eye.y, 0.0f, kMatrixTolerance);
    EXPECT_NEAR(eye.z, 0.0f, 1e-3f);
    const Vec3f centre = mv.transformPoint(Vec3f(320.0f, 240.0f, 0.0f));
    EXPECT_NEAR(centre.x, 0.0f, kMatrixTolerance);
    EXPECT_NEAR(centre.z, -camera.getEyePoint().z, 1e-3f);

    const Matrix44f identity = mv * camera.getInverseModelViewMatrix();
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            EXPECT_NEAR(identity.at(row, column), row == column ? 1.0f : 0.0f, kMatrixTolerance);
        }
    }
}

TEST(CameraPersp, DefaultWindowTransformPutsTheWindowCornersAtTheViewportCorners)
{
    for (const Vec2i size : {Vec2i(1024, 768), Vec2i(640, 480), Vec2i(333, 517), Vec2i(1920, 1080)}) {
        const CameraPersp camera(size.x, size.y, 60.0f);
        const Matrix44f m = defaultWindowTransform(camera, size.y);
        const float w = float(size.x);
        const float h = float(size.y);
        const Vec3f topLeft = project(m, Vec3f(0.0f, 0.0f, 0.0f));
        const Vec3f bottomRight = project(m, Vec3f(w, h, 0.0f));
        const Vec3f centre = project(m, Vec3f(w / 2.0f, h / 2.0f, 0.0f));
        // GL's normalised y points up, so the top edge is +1.
        EXPECT_NEAR(topLeft.x, -1.0f, kMatrixTolerance) << size.x << "x" << size.y;
        EXPECT_NEAR(topLeft.y, 1.0f, kMatrixTolerance) << size.x << "x" << size.y;
        EXPECT_NEAR(bottomRight.x, 1.0f, kMatrixTolerance) << size.x << "x" << size.y;
        EXPECT_NEAR(bottomRight.y, -1.0f, kMatrixTolerance) << size.x << "x" << size.y;
        EXPECT_NEAR(centre.x, 0.0f, kMatrixTolerance);
        EXPECT_NEAR(centre.y, 0.0f, kMatrixTolerance);

        // Positive z comes toward the viewer and stays inside the clip range until the
        // near plane.
        const Vec3f nearer = project(m, Vec3f(w / 2.0f, h / 2.0f, 100.0f));
        EXPECT_LT(nearer.z, centre.z);
        EXPECT_GT(nearer.z, -1.0f);
    }
}

TEST(Camera, AlignsItsOrientationWithTheViewDirection)
{
    CameraPersp camera(800, 600, 60.0f);
    camera.lookAt(Vec3f(0.0f, 0.0f, 10.0f), Vec3f(10.0f, 0.0f, 10.0f));
    const Vec3f forward = camera.getOrientation() * Vec3f(0.0f, 0.0f, -1.0f);
    EXPECT_NEAR(forward.x, 1.0f, kMatrixTolerance);
    EXPECT_NEAR(forward.y, 0.0f, kMatrixTolerance);
    EXPECT_NEAR(forward.z, 0.0f, kMatrixTolerance);
    // Looking along world up itself falls back to another up axis instead of NaNs.
    camera.lookAt(Vec3f(0.0f, 0.0f, 0.0f), Vec3f(0.0f, 5.0f, 0.0f));
    const Matrix44f& mv = camera.getModelViewMatrix();
    for (int i = 0; i < 16; ++i) {
        EXPECT_FALSE(std::isnan(mv.m[i]));
    }
}
