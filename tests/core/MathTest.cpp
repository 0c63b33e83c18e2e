#include "core/Matrix44.h"
#include "core/Quat.h"
#include "core/Vec.h"

#include <gtest/gtest.h>

#include <cmath>

namespace mirvo {
namespace {

constexpr float kTolerance = 1e-5f;
constexpr float kHalfPi = 1.5707964f;

void expectNear(const Vec3f& actual, const Vec3f& expected, float tolerance = kTolerance)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

void expectNear(const Matrix44f& actual, const Matrix44f& expected, float tolerance = kTolerance)
{
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(actual.m[i], expected.m[i], tolerance) << "element " << i;
    }
}

TEST(Vec, CrossFollowsTheRightHandRule)
{
    EXPECT_EQ(Vec3f::xAxis().cross(Vec3f::yAxis()), Vec3f::zAxis());
    EXPECT_EQ(cross(Vec3f::yAxis(), Vec3f::xAxis()), -Vec3f::zAxis());
    EXPECT_EQ(Vec2f(1.f, 0.f).cross(Vec2f(0.f, 1.f)), 1.f);
}

TEST(Vec, NormalisingKeepsDirectionAndLeavesZeroAlone)
{
    const Vec3f v = Vec3f(3.f, 0.f, 4.f).normalized();
    expectNear(v, {0.6f, 0.f, 0.8f});
    EXPECT_EQ(Vec3f().normalized(), Vec3f());
    EXPECT_EQ(Vec2f(0.f, 0.f).normalized(), Vec2f(0.f, 0.f));
}

TEST(Vec, ArithmeticIsComponentWise)
{
    EXPECT_EQ(Vec2i(1, 2) * Vec2i(3, 4), Vec2i(3, 8));
    EXPECT_EQ(Vec3f(1.f, 2.f, 3.f) / 2.f, Vec3f(0.5f, 1.f, 1.5f));
    EXPECT_EQ(2.f * Vec2f(1.f, -1.f), Vec2f(2.f, -2.f));
    EXPECT_EQ(Vec3f(1.f, 2.f, 3.f).dot(Vec3f(4.f, 5.f, 6.f)), 32.f);
}

TEST(Matrix44f, IsStoredColumnMajorWithTranslationInTheLastColumn)
{
    const Matrix44f t = Matrix44f::createTranslation({1.f, 2.f, 3.f});
    EXPECT_EQ(t.m[12], 1.f);
    EXPECT_EQ(t.m[13], 2.f);
    EXPECT_EQ(t.m[14], 3.f);
    expectNear(t.transformPoint({1.f, 1.f, 1.f}), {2.f, 3.f, 4.f});
    expectNear(t.transformVec({1.f, 1.f, 1.f}), {1.f, 1.f, 1.f});
}

TEST(Matrix44f, ComposesLikeTheFixedFunctionStack)
{
    // translate then rotate: the rotation applies to the point first.
    Matrix44f m;
    m.translate({10.f, 0.f, 0.f});
    m.rotate(Vec3f::zAxis(), kHalfPi);
    expectNear(m.transformPoint({1.f, 0.f, 0.f}), {10.f, 1.f, 0.f});
}

TEST(Matrix44f, InverseUndoesAGeneralTransform)
{
    Matrix44f m = Matrix44f::createTranslation({3.f, -2.f, 5.f});
    m.rotate({1.f, 1.f, 0.f}, 0.7f);
    m.scale({2.f, 0.5f, 3.f});
    expectNear(m * m.inverted(), Matrix44f());
    expectNear(m.inverted() * m, Matrix44f());
    const Matrix44f frustum = Matrix44f::createFrustum(-1.f, 1.f, -0.75f, 0.75f, 1.f, 100.f);
    expectNear(frustum.inverted() * frustum, Matrix44f(), 1e-4f);
}

TEST(Matrix44f, SingularMatrixInvertsToIdentityRatherThanInfinities)
{
    EXPECT_EQ(Matrix44f::createScale({1.f, 0.f, 1.f}).inverted(), Matrix44f());
}

TEST(Matrix44f, AlignZAxisWithTargetBuildsAnOrthonormalBasis)
{
    const Matrix44f m = Matrix44f::alignZAxisWithTarget({0.f, 0.f, 5.f}, {0.f, 1.f, 0.f});
    expectNear(m, Matrix44f());
    // Up parallel to the target still gives a valid rotation.
    const Matrix44f parallel = Matrix44f::alignZAxisWithTarget({0.f, 2.f, 0.f}, {0.f, 1.f, 0.f});
    expectNear(parallel.transformVec(Vec3f::zAxis()), Vec3f::yAxis());
    expectNear(parallel * parallel.transposed(), Matrix44f());
    const Matrix44f degenerate = Matrix44f::alignZAxisWithTarget({}, {});
    expectNear(degenerate, Matrix44f());
}

TEST(Quatf, RotatesVectorsLikeItsMatrix)
{
    const Quatf q({0.3f, -1.f, 0.5f}, 1.1f);
    const Matrix44f m = q.toMatrix44();
    const Vec3f v{0.2f, 3.f, -1.f};
    expectNear(q * v, m.transformVec(v));
    expectNear(Quatf(Vec3f::yAxis(), kHalfPi) * Vec3f::xAxis(), -Vec3f::zAxis());
}

TEST(Quatf, RoundTripsThroughARotationMatrixInEveryBranch)
{
    const Vec3f axes[] = {{1.f, 0.f, 0.f}, {0.f, 1.f, 0.f}, {0.f, 0.f, 1.f}, {1.f, 2.f, 3.f}};
    for (const Vec3f& axis : axes) {
        for (float angle : {0.3f, 2.9f, 3.1f}) {
            const Quatf q(axis, angle);
            const Quatf back(q.toMatrix44());
            // q and -q are the same rotation.
            EXPECT_NEAR(std::abs(back.dot(q)), 1.f, kTolerance) << angle;
        }
    }
}

TEST(Quatf, ComposesRightToLeftAndTakesOneDirectionOntoAnother)
{
    const Quatf a(Vec3f::zAxis(), kHalfPi);
    const Quatf b(Vec3f::xAxis(), kHalfPi);
    const Vec3f v{0.f, 1.f, 0.f};
    expectNear((a * b) * v, a * (b * v));
    expectNear(Quatf(Vec3f{1.f, 0.f, 0.f}, Vec3f{0.f, 0.f, 2.f}) * Vec3f::xAxis(), Vec3f::zAxis());
    expectNear(Quatf(Vec3f::xAxis(), -Vec3f::xAxis()) * Vec3f::xAxis(), -Vec3f::xAxis());
}

} // namespace
} // namespace mirvo
